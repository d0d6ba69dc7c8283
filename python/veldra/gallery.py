"""A gallery of every kind of picture veldra makes, written as PNG files."""

from __future__ import annotations

import argparse
import os
import sys
import time
from collections.abc import Callable, Sequence
from dataclasses import dataclass
from typing import NoReturn

from veldra import Field, Globe, Hair, Image, Instance, Palette, Relief, Renderer, Shape, heightmap, image_from_bytes
from veldra._progress import Progress, duration

DEFAULT_OUT = "veldra-gallery"
DEFAULT_SEED = 7
DEFAULT_SIZE = 512
MAX_SIZE = 16384  # a 16384 x 16384 field already takes 2 GB of samples
CELLS = 8  # lattice cells per axis of the flat pictures
SAMPLE_SIZE = 128  # the size timed for the estimate of a large gallery
ESTIMATED_FROM = 1024  # sizes above this are estimated before they start


@dataclass(frozen=True)
class Picture:
    kind: str
    name: str
    render: Callable[[int, int], Image]  # (seed, size) -> image


def _divisor(size: int, cells: int) -> int:
    """Pieces per cell so that `cells` cells span at least `size` pixels."""
    return max(1, -(-(size - 1) // cells))


def _cropped(image: Image, size: int) -> Image:
    """The top left `size` x `size` pixels of `image`."""
    if image.width == image.height == size:
        return image
    row, kept = image.width * image.channels, size * image.channels
    pixels = image.pixels
    return image_from_bytes(size, size, image.channels,
                            b"".join(pixels[r * row:r * row + kept] for r in range(size)))


def _fitted(cells: int, render: Callable[[int, int], Image]) -> Callable[[int, int], Image]:
    """A picture of exactly size x size pixels from `render(seed, divisor)`, whose
    `cells` lattice cells per side make `cells * divisor + 1` pixels: the
    smallest such picture that is large enough, cropped."""
    def fitted(seed: int, size: int) -> Image:
        return _cropped(render(seed, _divisor(size, cells)), size)

    return fitted


def _flat(seed: int) -> Renderer:
    return Renderer(Instance([CELLS, CELLS], seed=seed))


def _relief(shape: Shape, palette: Palette) -> Callable[[int, int], Image]:
    def render(seed: int, divisor: int) -> Image:
        return _flat(seed).relief([divisor, divisor], Relief(shape=shape, palette=palette))

    return _fitted(CELLS, render)


def _grayscale(seed: int, divisor: int) -> Image:
    return _flat(seed).grayscale([divisor, divisor])


def _palette(seed: int, divisor: int) -> Image:
    return _flat(seed).colored([divisor, divisor], Palette.TERRAIN)


def _rgb(seed: int, divisor: int) -> Image:
    return Renderer(Instance([4, 4, 2], seed=seed)).rgb_channels([divisor, divisor, 4])


def _globe(seed: int, size: int) -> Image:
    return Renderer(Instance([4, 4, 4, 4], seed=seed)).globe(size, size, Globe(samples=2))


def _hair(color_from_field: bool) -> Callable[[int, int], Image]:
    def render(seed: int, size: int) -> Image:
        # The default coat is tuned for about a megapixel; keep the density.
        count = max(1, 45000 * size * size // (1024 * 1024))
        settings = Hair(count=count, color_from_field=color_from_field, seed=seed)
        return Renderer(Instance([6, 6], seed=seed)).hair(size, size, settings)

    return render


def _terrain(seed: int, divisor: int) -> Image:
    # Six octaves, each twice as fine and half as strong: hills with crags.
    field = Field([CELLS, CELLS], seed=seed, octaves=6)
    return Renderer(field).relief([divisor, divisor], Relief(palette=Palette.TERRAIN))


def _unaligned(seed: int, size: int) -> Image:
    """Six ridged octaves through Field.grid, at an offset and a frequency
    that fall on no lattice: 5.3 cells across, from (0.37, 1.61)."""
    field = Field([CELLS, CELLS], seed=seed, octaves=6, octave_shape=Shape.RIDGED)
    step = 5.3 / max(size - 1, 1)
    levels = heightmap(field.grid([0.37, 1.61], [step, step], [size, size]), bits=8)
    return image_from_bytes(size, size, 1, levels.tobytes())


def _colors(levels: bytes, palette: Palette) -> bytes:
    """Bytes 0 to 255 through `palette`, as RGB: one table of 256 colours, one channel at a time."""
    ramp = [palette.color(level / 255) for level in range(256)]
    colors = bytearray(3 * len(levels))
    for channel in range(3):
        colors[channel::3] = levels.translate(bytes(color[channel] for color in ramp))
    return bytes(colors)


def _normals(seed: int, size: int) -> Image:
    """Ridged terrain lit by its exact normals, from Field.derivative_grid:
    six octaves at lacunarity 1.93, whose lattices share no lines, over
    4 x 4 cells from (2.2, 3.7)."""
    import numpy as np

    field = Field([CELLS, CELLS], seed=seed, octaves=6, lacunarity=1.93, gain=0.4, octave_shape=Shape.RIDGED)
    start, step, shape = [2.2, 3.7], [4 / max(size - 1, 1)] * 2, [size, size]
    levels = heightmap(field.grid(start, step, shape), bits=8).tobytes()
    # The surface (x, y, steep * height) has the normal (-steep * dh/dx, -steep * dh/dy, 1), normalised.
    steep = 0.7
    normals = np.concatenate([-steep * np.asarray(field.derivative_grid(start, step, shape)),
                              np.ones((size, size, 1))], axis=2)
    normals /= np.linalg.norm(normals, axis=2, keepdims=True)
    light = np.array([-0.55, -0.55, 0.63])  # from the top left, as Relief's
    light /= np.linalg.norm(light)
    halfway = light + [0.0, 0.0, 1.0]  # between the light and the eye above
    halfway /= np.linalg.norm(halfway)
    shade = 0.25 + 0.75 * np.clip(normals @ light, 0.0, None)  # ambient + Lambert
    shine = 70.0 * np.clip(normals @ halfway, 0.0, None) ** 40  # a little Blinn-Phong highlight
    base = np.frombuffer(_colors(levels, Palette.TERRAIN), np.uint8).reshape(size, size, 3)
    lit = base * shade[..., None] + shine[..., None]
    return image_from_bytes(size, size, 3, np.clip(np.rint(lit), 0, 255).astype(np.uint8).tobytes())


def _far_chunk(seed: int, size: int) -> Image:
    """A chunk of a world without walls, a million million cells from the
    origin on a negative coordinate: 8 x 8 cells (one pixel per 1/64 of a
    cell at 512 pixels), as fine as near the origin."""
    world = Field([1, 1], seed=seed, octaves=8, unbounded=True)
    step = 8 / size
    heights = world.grid([-1e12 + 0.25, 3.5e9 + 0.5], [step, step], [size, size])
    return image_from_bytes(size, size, 3, _colors(heightmap(heights, bits=8).tobytes(), Palette.TERRAIN))


def _tiles(seed: int, size: int) -> Image:
    """A periodic texture of half the size, laid 2 x 2: the seams cannot be seen."""
    cells = 4
    divisor = _divisor(-(-size // 2) + 1, cells)
    field = Field([cells, cells], seed=seed, octaves=5, periodic=True)
    tile = Renderer(field).colored([divisor, divisor], Palette.HEAT)
    # The last row and column repeat the first: a tile ends one sample short.
    side, row = tile.width - 1, tile.width * 3
    rows = [tile.pixels[r * row:r * row + side * 3] * 2 for r in range(side)]
    return _cropped(image_from_bytes(2 * side, 2 * side, 3, b"".join(rows) * 2), size)


try:  # the lighting is numpy's arithmetic: without numpy the gallery leaves it out
    import numpy  # noqa: F401

    _LIT = [Picture("fractal", "normals", _normals)]
except ImportError:
    _LIT = []

PICTURES = [
    Picture("grayscale", "grayscale", _fitted(CELLS, _grayscale)),
    Picture("palette", "palette-terrain", _fitted(CELLS, _palette)),
    Picture("rgb", "rgb-channels", _fitted(4, _rgb)),
    Picture("relief", "relief-smooth", _relief(Shape.SMOOTH, Palette.TERRAIN)),
    Picture("relief", "relief-billow", _relief(Shape.BILLOW, Palette.CRIMSON)),
    Picture("relief", "relief-ridged", _relief(Shape.RIDGED, Palette.AZURE)),
    Picture("globe", "globe", _globe),
    Picture("hair", "hair-palette", _hair(False)),
    Picture("hair", "hair-field", _hair(True)),
    Picture("fractal", "fractal-terrain", _fitted(CELLS, _terrain)),
    Picture("fractal", "tileable-2x2", _tiles),
    Picture("fractal", "fractal-unaligned", _unaligned),
    *_LIT,
    Picture("fractal", "far-chunk", _far_chunk),
]
KINDS = sorted({picture.kind for picture in PICTURES})


class OneLineParser(argparse.ArgumentParser):
    """Reports a mistake on one line with exit status 2, as the commands' other errors are."""

    def error(self, message: str) -> NoReturn:
        self.exit(2, f"{self.prog}: error: {message}\n")


def _parser() -> argparse.ArgumentParser:
    parser = OneLineParser(
        prog="python -m veldra",
        description="Render a gallery of every kind of veldra picture as PNG files.",
    )
    parser.add_argument("--out", default=DEFAULT_OUT, help=f"folder to write into (default: {DEFAULT_OUT}/)")
    parser.add_argument("--seed", type=int, default=DEFAULT_SEED,
                        help=f"seed of every field, 0 to 2**64 - 1 (default: {DEFAULT_SEED})")
    parser.add_argument("--size", type=int, default=DEFAULT_SIZE,
                        help=f"picture size in pixels, 2 to {MAX_SIZE} (default: {DEFAULT_SIZE})")
    parser.add_argument("--only", choices=KINDS, metavar="KIND",
                        help="render one kind only: " + ", ".join(KINDS))
    shown = parser.add_mutually_exclusive_group()
    shown.add_argument("--quiet", action="store_true", help="no progress on standard error")
    shown.add_argument("--progress", action="store_true",
                       help="progress on standard error even when it is not a terminal")
    return parser


def _estimate(pictures: list[Picture], seed: int, size: int) -> float:
    """Seconds the pictures should take at `size`, from their time at a small size."""
    began = time.perf_counter()
    for picture in pictures:
        picture.render(seed, SAMPLE_SIZE)
    return (time.perf_counter() - began) * (size / SAMPLE_SIZE) ** 2


def render_gallery(out: str, seed: int, size: int, only: str | None = None,
                   report: Callable[[str], None] = print, progress: bool | None = None) -> list[str]:
    """Renders the gallery into `out` and returns the paths written.

    `progress` says on standard error which picture is being rendered and,
    before a large gallery, how long it should take: None when standard
    error is a terminal, True always, False never.
    """
    os.makedirs(out, exist_ok=True)
    pictures = [picture for picture in PICTURES if only is None or picture.kind == only]
    shown = Progress(progress)
    if progress is not False and size > ESTIMATED_FROM:
        # Said before a run of minutes even when standard error is no terminal.
        seconds = _estimate(pictures, seed, size)
        if shown.shown or seconds >= 60:
            print(f"about {duration(seconds)} for {_count(len(pictures), 'picture')} of {size} x "
                  f"{size} pixels (estimated from small ones)", file=shown.stream, flush=True)
    written = []
    started = time.perf_counter()
    with shown:
        for done, picture in enumerate(pictures):
            shown.step(f"rendering {picture.name}: picture", done, len(pictures))
            begin = time.perf_counter()
            image = picture.render(seed, size)
            path = os.path.join(out, picture.name + ".png")
            image.write_png(path)
            seconds = time.perf_counter() - begin
            written.append(path)
            shown.clear()
            report(f"{picture.name:17} {image.width:5} x {image.height:<5} {seconds:7.2f} s  {path}")
    total = sum(os.path.getsize(path) for path in written)
    report(f"wrote {_count(len(written), 'file')}, {total / 1e6:.1f} MB, to {out}/ in "
           f"{time.perf_counter() - started:.2f} s")
    return written


def _count(number: int, thing: str) -> str:
    return f"{number} {thing}" + ("" if number == 1 else "s")


def _mistake(message: str) -> int:
    print(message, file=sys.stderr)
    return 2


def main(argv: Sequence[str] | None = None) -> int:
    arguments = _parser().parse_args(argv)
    if arguments.size < 2:
        return _mistake("--size must be at least 2")
    if arguments.size > MAX_SIZE:
        return _mistake(f"--size must be at most {MAX_SIZE}")
    if not 0 <= arguments.seed < 2**64:
        return _mistake(f"--seed must be 0 to 2**64 - 1, got {arguments.seed}")
    progress = False if arguments.quiet else True if arguments.progress else None
    try:
        render_gallery(arguments.out, arguments.seed, arguments.size, arguments.only, progress=progress)
    except OSError as error:
        # An --out that names a file, or a place the user may not write to.
        return _mistake(f"cannot write the gallery into {arguments.out}: {error.strerror or error}")
    except MemoryError:
        return _mistake(f"not enough memory for pictures of --size {arguments.size}")
    return 0
