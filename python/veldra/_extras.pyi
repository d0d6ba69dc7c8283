import os
from collections.abc import Sequence
from types import TracebackType
from typing import Literal, final

from typing_extensions import Buffer

from veldra._native import Image, Instance, Palette, Relief, Shape, Table

__all__ = [
    "table_from_bytes",
    "image_from_bytes",
    "Field",
    "value_range",
    "grayscale_region",
    "colored_region",
    "relief_region",
    "PngWriter",
]

_Floats = Sequence[float] | bytes | range
_Ints = Sequence[int] | bytes | range
_Points = Buffer | Sequence[_Floats]

def table_from_bytes(shape: Sequence[int], data: Buffer) -> Table: ...
def image_from_bytes(width: int, height: int, channels: int, pixels: Buffer) -> Image: ...
@final
class Field:
    """A fractal sum of gradient-noise octaves, optionally wrapping on every axis."""

    def __new__(
        cls,
        dims: _Ints,
        seed: int = 1,
        *,
        octaves: int = 1,
        lacunarity: int = 2,
        gain: float = 0.5,
        octave_shape: Shape | None = None,
        periodic: bool = False,
    ) -> Field: ...
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
    def lacunarity(self) -> int: ...
    @property
    def gain(self) -> float: ...
    @property
    def octave_shape(self) -> Shape: ...
    @property
    def periodic(self) -> bool: ...
    def noise(self, point: _Floats) -> float: ...
    def force(self, point: _Floats) -> list[float]: ...
    def table(self, divisors: _Ints) -> Table: ...
    def table_region(self, divisors: _Ints, start: _Ints, shape: _Ints) -> Table: ...
    def table_shape(self, divisors: _Ints) -> list[int]: ...
    def noise_at(self, points: _Points) -> Table: ...
    def force_at(self, points: _Points) -> Table: ...

def value_range(
    field: Instance | Field, divisors: _Ints, start: _Ints, shape: _Ints, fold: Shape | None = None
) -> tuple[float, float]: ...
def grayscale_region(
    field: Instance | Field, divisors: _Ints, start: _Ints, shape: _Ints, lo: float, hi: float
) -> Image: ...
def colored_region(
    field: Instance | Field,
    divisors: _Ints,
    palette: Palette,
    start: _Ints,
    shape: _Ints,
    lo: float,
    hi: float,
) -> Image: ...
def relief_region(
    field: Instance | Field,
    divisors: _Ints,
    relief: Relief,
    start: _Ints,
    shape: _Ints,
    lo: float,
    hi: float,
) -> Image: ...
@final
class PngWriter:
    """An 8-bit PNG of ``width`` x ``height`` pixels of ``channels`` bytes written a band of rows at a time."""

    def __new__(cls, path: str | os.PathLike[str], width: int, height: int, channels: int) -> PngWriter: ...
    def write_rows(self, pixels: Buffer) -> None: ...
    def close(self) -> None: ...
    def abort(self) -> None: ...
    def __enter__(self) -> PngWriter: ...
    def __exit__(
        self,
        exc_type: type[BaseException] | None,
        exc_value: BaseException | None,
        traceback: TracebackType | None,
    ) -> Literal[False]: ...
