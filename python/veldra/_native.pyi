"""Type information for the extension module veldra._native."""

import os
from collections.abc import Sequence
from types import TracebackType
from typing import ClassVar, Literal, final

from typing_extensions import Buffer

MAX_DIMS: int
MAX_SAMPLES: int

__all__ = [
    "MAX_DIMS",
    "MAX_SAMPLES",
    "Palette",
    "Shape",
    "Relief",
    "Globe",
    "Hair",
    "Instance",
    "Table",
    "Image",
    "Renderer",
]

_Floats = Sequence[float] | bytes | range
_Ints = Sequence[int] | bytes | range
_Points = Buffer | Sequence[_Floats]

@final
class Palette:
    """Maps a noise value to a colour."""

    GRAY: ClassVar[Palette]
    BLUE_RED: ClassVar[Palette]
    HEAT: ClassVar[Palette]
    CRIMSON: ClassVar[Palette]
    AZURE: ClassVar[Palette]
    TERRAIN: ClassVar[Palette]
    __hash__: ClassVar[None]  # type: ignore[assignment]
    def color(self, position: float) -> tuple[int, int, int]: ...
    def __int__(self) -> int: ...
    def __eq__(self, other: object, /) -> bool: ...
    def __ne__(self, other: object, /) -> bool: ...

@final
class Shape:
    """How the noise is shaped into a height map before it is lit."""

    SMOOTH: ClassVar[Shape]
    BILLOW: ClassVar[Shape]
    RIDGED: ClassVar[Shape]
    __hash__: ClassVar[None]  # type: ignore[assignment]
    def __int__(self) -> int: ...
    def __eq__(self, other: object, /) -> bool: ...
    def __ne__(self, other: object, /) -> bool: ...

@final
class Relief:
    """Lighting and colour for a height map."""

    def __new__(
        cls,
        shape: Shape | None = None,
        palette: Palette | None = None,
        light: _Floats | None = None,
        height: float | None = None,
        gamma: float | None = None,
        occlusion: float | None = None,
        ambient: float | None = None,
        diffuse: float | None = None,
        specular: float | None = None,
        gloss: float | None = None,
    ) -> Relief: ...
    @property
    def shape(self) -> Shape: ...
    @shape.setter
    def shape(self, value: Shape) -> None: ...
    @property
    def palette(self) -> Palette: ...
    @palette.setter
    def palette(self, value: Palette) -> None: ...
    @property
    def light(self) -> tuple[float, float, float]: ...
    @light.setter
    def light(self, value: _Floats) -> None: ...
    height: float
    gamma: float
    occlusion: float
    ambient: float
    diffuse: float
    specular: float
    gloss: float

@final
class Globe:
    """Lighting and colour for a sphere carved out of a four dimensional field."""

    def __new__(
        cls,
        surface: Relief | None = None,
        rgb_from_fourth_axis: bool | None = None,
        fill: float | None = None,
        background: _Ints | None = None,
        samples: int | None = None,
    ) -> Globe: ...
    surface: Relief
    rgb_from_fourth_axis: bool
    fill: float
    @property
    def background(self) -> tuple[int, int, int]: ...
    @background.setter
    def background(self, value: _Ints) -> None: ...
    samples: int

@final
class Hair:
    """How a coat of hair is grown from particles in a two dimensional field."""

    def __new__(
        cls,
        count: int | None = None,
        steps: int | None = None,
        step: float | None = None,
        force: float | None = None,
        drag: float | None = None,
        swirl: float | None = None,
        thickness: float | None = None,
        opacity: float | None = None,
        frizz: float | None = None,
        jitter: float | None = None,
        depth: float | None = None,
        taper: float | None = None,
        light: _Floats | None = None,
        ambient: float | None = None,
        diffuse: float | None = None,
        specular: float | None = None,
        gloss: float | None = None,
        color_from_field: bool | None = None,
        surface: Relief | None = None,
        palette: Palette | None = None,
        seed: int | None = None,
    ) -> Hair: ...
    count: int
    steps: int
    step: float
    force: float
    drag: float
    swirl: float
    thickness: float
    opacity: float
    frizz: float
    jitter: float
    depth: float
    taper: float
    @property
    def light(self) -> tuple[float, float]: ...
    @light.setter
    def light(self, value: _Floats) -> None: ...
    ambient: float
    diffuse: float
    specular: float
    gloss: float
    color_from_field: bool
    surface: Relief
    palette: Palette
    seed: int

@final
class Instance:
    """A seeded gradient-noise field on a regular lattice."""

    def __new__(cls, dims: _Ints, seed: int = 1) -> Instance: ...
    @property
    def dims(self) -> list[int]: ...
    @property
    def shape(self) -> list[int]: ...
    @property
    def intersections(self) -> int: ...
    @property
    def seed(self) -> int: ...
    def gradient(self, index: _Ints) -> list[float] | None: ...
    def noise(self, point: _Floats) -> float: ...
    def force(self, point: _Floats) -> list[float]: ...
    def table(self, divisors: _Ints) -> Table: ...
    def table_region(self, divisors: _Ints, start: _Ints, shape: _Ints) -> Table: ...
    def table_shape(self, divisors: _Ints) -> list[int]: ...
    def noise_at(self, points: Buffer | Sequence[_Floats]) -> Table: ...
    def force_at(self, points: Buffer | Sequence[_Floats]) -> Table: ...

@final
class Table:
    """Noise values sampled on a refined lattice, in row-major order.

    Supports the buffer protocol: ``numpy.asarray(table)`` is a read-only
    float64 view of shape ``table.shape``."""

    @property
    def shape(self) -> list[int]: ...
    @property
    def values(self) -> list[float]: ...
    def get(self, index: _Ints) -> float | None: ...
    def __len__(self) -> int: ...
    def __buffer__(self, flags: int, /) -> memoryview: ...

@final
class Image:
    """An 8-bit image, rows top to bottom, ``channels`` bytes per pixel.

    Supports the buffer protocol: ``numpy.asarray(image)`` is a read-only
    uint8 view of shape (height, width) or (height, width, 3)."""

    @property
    def width(self) -> int: ...
    @property
    def height(self) -> int: ...
    @property
    def channels(self) -> int: ...
    @property
    def pixels(self) -> bytes: ...
    def pixel(self, x: int, y: int) -> bytes | None: ...
    def write_png(self, path: str | os.PathLike[str]) -> None: ...
    def __buffer__(self, flags: int, /) -> memoryview: ...

@final
class Renderer:
    """Samples a noise field into pixels."""

    def __new__(cls, noise: Instance | _Field) -> Renderer: ...
    def instance(self) -> Instance | _Field: ...
    def grayscale(self, divisors: _Ints) -> Image: ...
    def colored(self, divisors: _Ints, palette: Palette) -> Image: ...
    def rgb_channels(self, divisors: _Ints) -> Image: ...
    def rgb_channels_at(self, divisors: _Ints, slices: tuple[int, int, int]) -> Image: ...
    def rgb_palette(self, divisors: _Ints, slice: int, palette: Palette) -> Image: ...
    def relief(self, divisors: _Ints, relief: Relief | None = None) -> Image: ...
    def globe(self, width: int, height: int, globe: Globe | None = None) -> Image: ...
    def hair(self, width: int, height: int, hair: Hair | None = None) -> Image: ...

# The package exports these under their names without the underscore.
def _table_from_bytes(shape: Sequence[int], data: Buffer) -> Table: ...
def _image_from_bytes(width: int, height: int, channels: int, pixels: Buffer) -> Image: ...
@final
class _Field:
    """A fractal sum of gradient-noise octaves, with walls, wrapping or unbounded."""

    def __new__(
        cls,
        dims: _Ints,
        seed: int = 1,
        *,
        octaves: int = 1,
        lacunarity: float = 2,
        gain: float = 0.5,
        octave_shape: Shape | None = None,
        periodic: bool | Sequence[bool] = False,
        unbounded: bool = False,
    ) -> _Field: ...
    def __eq__(self, value: object, /) -> bool: ...
    __hash__: None  # type: ignore[assignment]
    @property
    def dims(self) -> list[int]: ...
    @property
    def shape(self) -> list[int]: ...
    @property
    def seed(self) -> int: ...
    @property
    def octaves(self) -> int: ...
    @property
    def lacunarity(self) -> int | float: ...
    @property
    def gain(self) -> float: ...
    @property
    def octave_shape(self) -> Shape: ...
    @property
    def periodic(self) -> bool | tuple[bool, ...]: ...
    @property
    def unbounded(self) -> bool: ...
    def noise(self, point: _Floats) -> float: ...
    def force(self, point: _Floats) -> list[float]: ...
    def derivative(self, point: _Floats) -> list[float]: ...
    def table(self, divisors: _Ints) -> Table: ...
    def table_region(self, divisors: _Ints, start: _Ints, shape: _Ints) -> Table: ...
    def grid(self, start: _Floats, step: _Floats, shape: _Ints, *, first: _Ints | None = None) -> Table: ...
    def derivative_grid(
        self, start: _Floats, step: _Floats, shape: _Ints, *, first: _Ints | None = None
    ) -> Table: ...
    def table_shape(self, divisors: _Ints) -> list[int]: ...
    def noise_at(self, points: _Points) -> Table: ...
    def force_at(self, points: _Points) -> Table: ...
    def derivative_at(self, points: _Points) -> Table: ...

def _value_range(
    field: Instance | _Field, divisors: _Ints, start: _Ints, shape: _Ints, fold: Shape | None = None
) -> tuple[float, float]: ...
def _grayscale_region(
    field: Instance | _Field, divisors: _Ints, start: _Ints, shape: _Ints, lo: float, hi: float
) -> Image: ...
def _colored_region(
    field: Instance | _Field,
    divisors: _Ints,
    palette: Palette,
    start: _Ints,
    shape: _Ints,
    lo: float,
    hi: float,
) -> Image: ...
def _relief_region(
    field: Instance | _Field,
    divisors: _Ints,
    relief: Relief,
    start: _Ints,
    shape: _Ints,
    lo: float,
    hi: float,
) -> Image: ...
@final
class _PngWriter:
    """A PNG of ``width`` x ``height`` pixels of ``channels`` samples of ``bits`` written a band of rows at a time."""

    def __new__(
        cls, path: str | os.PathLike[str], width: int, height: int, channels: int, bits: int = 8
    ) -> _PngWriter: ...
    def write_rows(self, pixels: Buffer) -> None: ...
    def write_deflated(self, deflated: Buffer, adler32: int, rows: int) -> None: ...
    def close(self) -> None: ...
    def abort(self) -> None: ...
    def __enter__(self) -> _PngWriter: ...
    def __exit__(
        self,
        exc_type: type[BaseException] | None,
        exc_value: BaseException | None,
        traceback: TracebackType | None,
    ) -> Literal[False]: ...

def _png_block_rows(width: int, channels: int, bits: int = 8) -> tuple[int, int]: ...
def _png_blocks(pixels: Buffer, width: int, channels: int, bits: int, first: int, height: int) -> tuple[bytes, int]: ...
def _heightmap(values: Buffer, bits: int = 16, lo: float | None = None, hi: float | None = None) -> bytes: ...
