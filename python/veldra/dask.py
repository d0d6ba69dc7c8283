"""Tables and pictures of veldra fields as dask arrays, for sizes beyond one
process's memory and for clusters of machines.

Every value of a table is a function of its index alone, so a table splits
into regions that are computed independently, each by one
``table_region`` call, on dask's threaded scheduler or on
``dask.distributed`` worker processes (fields pickle by their arguments).
The results are exact: a chunk holds, bit for bit, what the in-memory
table or picture holds there.

Pictures need the value range of the whole image before any pixel is
made: ``grayscale``, ``colored`` and ``relief`` compute it when they are
called (one pass over the table, chunk by chunk, on the current scheduler,
keeping two numbers per chunk), and return arrays whose pixels are
computed lazily, chunk by chunk. A relief chunk samples one extra row and
column on each side for its slopes.

``heightmap`` is ``veldra.heightmap`` of a table, as 16-bit (or 8-bit)
levels, in the same way.

``write_png`` streams a picture into one PNG file row band by row band,
in order, with the bytes ``Image.write_png`` writes for the same pixels,
saying on standard error which band it is at when that is a terminal. The
PNG's blocks of rows are filtered and deflated where their band was
computed; only compressed bytes reach the writing process.

Settings objects (``Relief``) are copied when a picture is made: changing
them afterwards does not change the picture.

Needs the ``dask`` extra: ``pip install "veldra[dask]"``.
"""

from __future__ import annotations

import contextlib
import copy
import os
import pickle
import threading
from collections.abc import Callable, Generator, Sequence
from concurrent.futures import Future, ThreadPoolExecutor
from typing import Any, Union

import numpy as np
import numpy.typing as npt

try:
    import dask.array as da
    import dask.base
    from dask.delayed import delayed
except ImportError as error:  # pragma: no cover - exercised in a child process
    raise ImportError(
        'veldra.dask needs dask; install the extra with: pip install "veldra[dask]"',
        name=error.name,
    ) from error

from veldra import (
    Field,
    Instance,
    Palette,
    PngWriter,
    Relief,
    Shape,
    colored_region,
    grayscale_region,
    relief_region,
    value_range,
)
from veldra._native import _heightmap as heightmap_levels
from veldra._native import _png_block_rows as png_block_rows
from veldra._native import _png_blocks as png_blocks
from veldra._progress import Progress

__all__ = ["table", "grid", "derivative_grid", "grayscale", "colored", "relief", "heightmap", "write_png"]

AnyField = Union[Instance, Field]
Chunks = Any  # what dask.array accepts: "auto", an int, a tuple of ints or of tuples, a dict
Region = tuple[list[int], list[int]]  # the start and shape of a chunk

# Fields that tasks have rebuilt in this process, by their pickles: a task
# carries a field's few hundred bytes of arguments, and each process builds
# the field once rather than once per chunk (a large lattice takes a while).
# dask's threads share it: the lock guards every look at the dict (two
# threads may still build the same field once each).
_FIELDS: dict[bytes, AnyField] = {}
_FIELDS_KEPT = 8
_FIELDS_LOCK = threading.Lock()

# Chunks chosen by "auto" are sized by the float64 table each chunk computes,
# which is what a chunk costs in memory for pictures too.
_SIZING_DTYPE = np.dtype(np.float64)


def table(field: AnyField, divisors: Sequence[int], chunks: Chunks = "auto",
          dtype: npt.DTypeLike = np.float64) -> da.Array:
    """The table of ``field`` for ``divisors`` as a lazy dask array.

    Each chunk is one ``field.table_region`` call. ``dtype`` is float64 (the
    table's values) or float32 (each value rounded once, half the memory).
    """
    _expect_field(field)
    out_dtype = np.dtype(dtype)
    if out_dtype not in (np.dtype(np.float64), np.dtype(np.float32)):
        raise ValueError(f"dtype must be float64 or float32, got {out_dtype}")
    shape = tuple(field.table_shape(divisors))
    normalized = _normalize_chunks(chunks, shape, out_dtype)
    return _chunked(_table_block, (_recipe(field), list(divisors), out_dtype), normalized, out_dtype)


def grid(field: AnyField, start: Sequence[float], step: Sequence[float], shape: Sequence[int],
         chunks: Chunks = "auto", dtype: npt.DTypeLike = np.float64) -> da.Array:
    """``field.grid(start, step, shape)`` as a lazy dask array.

    Each chunk is one ``field.grid(start, step, chunk_shape, first=chunk_start)``
    call, so it holds, bit for bit, that part of the whole grid. An Instance
    is taken as the Field of its dims and seed, which it is. ``dtype`` as
    for :func:`table`. The arguments are checked at once, with
    ``Field.grid``'s errors.
    """
    return _grid_array(field, start, step, shape, chunks, dtype, derivative=False)


def derivative_grid(field: AnyField, start: Sequence[float], step: Sequence[float],
                    shape: Sequence[int], chunks: Chunks = "auto",
                    dtype: npt.DTypeLike = np.float64) -> da.Array:
    """``field.derivative_grid(start, step, shape)`` as a lazy dask array of
    shape ``(*shape, n)``.

    ``chunks`` chunks the grid's axes (the last axis, the ``n`` components,
    is never cut); each chunk is one ``field.derivative_grid(start, step,
    chunk_shape, first=chunk_start)`` call, bit for bit that part of the
    whole. Otherwise as :func:`grid`.
    """
    return _grid_array(field, start, step, shape, chunks, dtype, derivative=True)


def _grid_array(field: AnyField, start: Sequence[float], step: Sequence[float], shape: Sequence[int],
                chunks: Chunks, dtype: npt.DTypeLike, derivative: bool) -> da.Array:
    _expect_field(field)
    if isinstance(field, Instance):
        field = Field(field.dims, field.seed)
    out_dtype = np.dtype(dtype)
    if out_dtype not in (np.dtype(np.float64), np.dtype(np.float32)):
        raise ValueError(f"dtype must be float64 or float32, got {out_dtype}")
    start, step, extents = list(start), list(step), [int(e) for e in shape]
    method = field.derivative_grid if derivative else field.grid
    if len(extents) != len(field.dims) or 0 in extents:
        method(start, step, extents)  # refused before any value is computed
    # The first and the last sample: each axis's coordinates lie between.
    field.grid(start, step, [1] * len(extents))
    field.grid(start, step, [1] * len(extents), first=[e - 1 for e in extents])
    if not derivative:
        normalized = _normalize_chunks(chunks, tuple(extents), out_dtype)
        return _chunked(_grid_block, (_recipe(field), start, step, out_dtype), normalized, out_dtype)
    n = len(extents)
    per_axis = list(chunks) if isinstance(chunks, (list, tuple)) else [chunks] * n
    if len(per_axis) != n:
        raise ValueError(f"chunks must give {n} axes, got {len(per_axis)}")
    normalized = _normalize_chunks(tuple(per_axis) + (n,), (*extents, n), out_dtype)
    return _chunked(_derivative_block, (_recipe(field), start, step, out_dtype), normalized, out_dtype)


def grayscale(field: AnyField, divisors: Sequence[int], chunks: Chunks = "auto") -> da.Array:
    """``Renderer(field).grayscale(divisors)`` as a (height, width) uint8 dask array."""
    return _picture(field, divisors, chunks, None, 1, grayscale_region, ())


def colored(field: AnyField, divisors: Sequence[int], palette: Palette,
            chunks: Chunks = "auto") -> da.Array:
    """``Renderer(field).colored(divisors, palette)`` as a (height, width, 3) uint8 dask array."""
    return _picture(field, divisors, chunks, None, 3, colored_region, (palette,))


def relief(field: AnyField, divisors: Sequence[int], relief: Relief | None = None,
           chunks: Chunks = "auto") -> da.Array:
    """``Renderer(field).relief(divisors, relief)`` as a (height, width, 3) uint8 dask array.

    The array keeps a copy of ``relief``: changing it later does not change the picture.
    """
    settings = Relief() if relief is None else copy.deepcopy(relief)
    return _picture(field, divisors, chunks, settings.shape, 3, relief_region, (settings,))


def heightmap(field: AnyField, divisors: Sequence[int], chunks: Chunks = "auto",
              bits: int = 16) -> da.Array:
    """``veldra.heightmap(field.table(divisors), bits)`` as a (height, width)
    uint16 (uint8 for ``bits=8``) dask array, for ``write_png``.

    Like the pictures, it computes the value range of the whole table when
    called; the levels then stay lazy, chunk by chunk.
    """
    if bits not in (8, 16):
        raise ValueError(f"bits must be 8 or 16, got {bits}")
    _expect_field(field)
    divisors = list(divisors)
    value_range(field, divisors, [0, 0], [1, 1], None)
    normalized = _normalize_chunks(chunks, tuple(field.table_shape(divisors)), _SIZING_DTYPE)
    recipe = _recipe(field)
    lo, hi = _whole_range(recipe, divisors, None, normalized)
    dtype = np.dtype(np.uint16 if bits == 16 else np.uint8)
    return _chunked(_heightmap_block, (recipe, divisors, bits, lo, hi), normalized, dtype)


def write_png(array: Any, path: str | os.PathLike[str], band_rows: int | None = None,
              progress: bool | None = None) -> None:
    """Writes a picture of uint8 or uint16 samples, (height, width) or (height,
    width, 1 or 3), to ``path`` as an 8- or 16-bit PNG.

    ``array`` is a dask array (or anything numpy can read). It is computed
    one band of rows at a time, in order, the next band while the current
    one is written. A band is one row of the array's chunks, or
    ``band_rows`` rows when given. The PNG's rows are filtered and deflated
    in blocks of a fixed number of rows, set by the width (about 1 MiB of
    filtered bytes each); each block is compressed where its band was
    computed (a worker of a ``dask.distributed`` cluster), from the band and
    the few rows before it, and only the compressed bytes and a 4-byte
    checksum come back to be written in order. Memory holds about two bands
    and a block. The file gets the bytes ``Image.write_png`` gives the same
    pixels, whatever the bands and chunks; it is written under a temporary
    name and takes ``path``'s place only when complete, so a failure or an
    interruption leaves ``path`` as it was; Ctrl-C stops it at once,
    without waiting for the band being computed ahead.

    ``progress`` says which band is being written, with the elapsed and the
    estimated remaining time, on standard error: ``None`` (the default) when
    standard error is a terminal, ``True`` always, ``False`` never.
    """
    pictured = array if isinstance(array, da.Array) else da.asarray(array)
    height, width, channels, bits = _picture_shape(pictured)
    if band_rows is not None and band_rows < 1:
        raise ValueError(f"band_rows must be at least 1, got {band_rows}")
    rows = pictured.chunks[0] if band_rows is None else _band_split(height, band_rows)
    bands = pictured.rechunk((rows,) + tuple((-1,) * (pictured.ndim - 1)))
    blocks = _Blocks(width, height, channels, bits)
    shown = Progress(progress)
    with PngWriter(os.fspath(path), width, height, channels, bits) as writer, shown, \
            contextlib.closing(_deflated_in_turn(bands, rows, blocks)) as deflated:
        for done, (data, adler32, count) in enumerate(deflated):
            shown.step(f"writing {os.fspath(path)}: band", done, len(rows))
            if count:
                writer.write_deflated(data, adler32, count)


def _picture(field: AnyField, divisors: Sequence[int], chunks: Chunks, fold: Shape | None,
             channels: int, render: Callable[..., Any], settings: tuple[Any, ...]) -> da.Array:
    """A picture of ``channels`` bytes per pixel whose chunks ``render`` makes:
    ``render(field, divisors, *settings, start, shape, lo, hi)`` is the Image
    of one region, given the value range of the whole picture, with the
    values shaped by ``fold`` for the range."""
    _expect_field(field)
    divisors = list(divisors)
    # One sample checks the field's dimensions and the divisors, with the
    # renderings' own messages, before anything is computed.
    value_range(field, divisors, [0, 0], [1, 1], fold)
    shape = tuple(field.table_shape(divisors))
    normalized = _normalize_chunks(chunks, shape, _SIZING_DTYPE)
    recipe = _recipe(field)
    lo, hi = _whole_range(recipe, divisors, fold, normalized)
    extra = () if channels == 1 else ((channels,),)
    return _chunked(_picture_block, (render, recipe, divisors, settings, lo, hi),
                    normalized + extra, np.dtype(np.uint8))


def _whole_range(recipe: bytes, divisors: list[int], fold: Shape | None,
                 normalized: tuple[tuple[int, ...], ...]) -> tuple[float, float]:
    """The value range of the whole table, from two numbers per chunk, computed now."""
    ranges = da.map_blocks(_range_block, recipe, divisors, fold, normalized,
                           chunks=tuple((1,) * len(sizes) for sizes in normalized) + ((2,),),
                           dtype=np.float64, meta=np.empty((0,) * (len(normalized) + 1)))
    lo, hi = dask.base.compute(ranges[..., 0].min(), ranges[..., 1].max())
    return float(lo), float(hi)


def _recipe(field: AnyField) -> bytes:
    """What a task carries of ``field``; ``_field_of`` turns it back into the field."""
    recipe = pickle.dumps(field)
    _keep(recipe, field)
    return recipe


def _field_of(recipe: bytes) -> AnyField:
    with _FIELDS_LOCK:
        field = _FIELDS.get(recipe)
    # Built outside the lock: a large lattice takes a while.
    return _keep(recipe, pickle.loads(recipe)) if field is None else field


def _keep(recipe: bytes, field: AnyField) -> AnyField:
    """Remembers ``field`` unless the recipe is known, forgetting the oldest
    beyond a few; returns the field remembered for the recipe."""
    with _FIELDS_LOCK:
        kept = _FIELDS.get(recipe)
        if kept is not None:
            return kept
        while len(_FIELDS) >= _FIELDS_KEPT:
            del _FIELDS[next(iter(_FIELDS))]
        _FIELDS[recipe] = field
        return field


def _table_block(recipe: bytes, divisors: list[int], dtype: np.dtype[Any],
                 block_info: dict[Any, Any]) -> npt.NDArray[Any]:
    start, shape = _region_of(block_info, len(divisors))
    values = np.asarray(_field_of(recipe).table_region(divisors, start, shape))
    return values if dtype == values.dtype else values.astype(dtype)


def _grid_block(recipe: bytes, start: list[float], step: list[float], dtype: np.dtype[Any],
                block_info: dict[Any, Any]) -> npt.NDArray[Any]:
    first, shape = _region_of(block_info, len(start))
    field = _field_of(recipe)
    assert isinstance(field, Field)  # grid() made every Instance a Field
    values = np.asarray(field.grid(start, step, shape, first=first))
    return values if dtype == values.dtype else values.astype(dtype)


def _derivative_block(recipe: bytes, start: list[float], step: list[float], dtype: np.dtype[Any],
                      block_info: dict[Any, Any]) -> npt.NDArray[Any]:
    first, shape = _region_of(block_info, len(start))
    field = _field_of(recipe)
    assert isinstance(field, Field)  # _grid_array made every Instance a Field
    values = np.asarray(field.derivative_grid(start, step, shape, first=first))
    return values if dtype == values.dtype else values.astype(dtype)


def _range_block(recipe: bytes, divisors: list[int], fold: Shape | None,
                 chunks: tuple[tuple[int, ...], ...],
                 block_id: tuple[int, ...]) -> npt.NDArray[np.float64]:
    """(lo, hi) of the values of the chunk numbered ``block_id`` of ``chunks``."""
    start = [sum(sizes[:k]) for sizes, k in zip(chunks, block_id)]
    shape = [sizes[k] for sizes, k in zip(chunks, block_id)]
    lo, hi = value_range(_field_of(recipe), divisors, start, shape, fold)
    return np.array([lo, hi]).reshape((1,) * len(chunks) + (2,))


def _picture_block(render: Callable[..., Any], recipe: bytes, divisors: list[int],
                   settings: tuple[Any, ...], lo: float, hi: float,
                   block_info: dict[Any, Any]) -> npt.NDArray[np.uint8]:
    start, shape = _region_of(block_info, 2)
    # An Image's array is (height, width), or (height, width, 3) in colour.
    return np.asarray(render(_field_of(recipe), divisors, *settings, start, shape, lo, hi))


def _heightmap_block(recipe: bytes, divisors: list[int], bits: int, lo: float, hi: float,
                     block_info: dict[Any, Any]) -> npt.NDArray[Any]:
    start, shape = _region_of(block_info, 2)
    values = _field_of(recipe).table_region(divisors, start, shape)
    levels = np.frombuffer(heightmap_levels(values, bits, lo, hi), np.uint16 if bits == 16 else np.uint8)
    return levels.reshape(shape)


def _region_of(block_info: dict[Any, Any], axes: int) -> Region:
    """The (start, shape) on the first ``axes`` axes of the chunk that map_blocks is making."""
    location = block_info[None]["array-location"][:axes]
    return [begin for begin, _ in location], [end - begin for begin, end in location]


def _chunked(function: Callable[..., Any], arguments: tuple[Any, ...],
             chunks: tuple[tuple[int, ...], ...], dtype: np.dtype[Any]) -> da.Array:
    """The array of ``chunks`` whose every chunk is ``function(*arguments, block_info=...)``."""
    array: da.Array = da.map_blocks(function, *arguments, chunks=chunks, dtype=dtype,
                                    meta=np.empty((0,) * len(chunks), dtype=dtype))
    return array


def _expect_field(field: object) -> None:
    if not isinstance(field, (Instance, Field)):
        raise TypeError(f"field must be a veldra Instance or Field, got {type(field).__name__}")


def _normalize_chunks(chunks: Chunks, shape: tuple[int, ...],
                      dtype: np.dtype[Any]) -> tuple[tuple[int, ...], ...]:
    """dask's chunks for ``shape``, or a ValueError that names the bad chunks."""
    try:
        normalized = da.core.normalize_chunks(chunks, shape, dtype=dtype)
    except ZeroDivisionError:
        raise ValueError(f"Bad chunks {chunks!r} for shape {list(shape)}: "
                         "a chunk size cannot be 0") from None
    except (ValueError, TypeError) as error:
        raise ValueError(f"Bad chunks {chunks!r} for shape {list(shape)}: {error}") from None
    if any(size < 1 for sizes in normalized for size in sizes):
        raise ValueError(f"Bad chunks {chunks!r} for shape {list(shape)}: every chunk "
                         "needs at least one value on every axis")
    return tuple(tuple(int(size) for size in sizes) for sizes in normalized)


def _picture_shape(array: da.Array) -> tuple[int, int, int, int]:
    """(height, width, channels, bits) of a picture array, or a ValueError."""
    if array.dtype not in (np.uint8, np.uint16):
        raise ValueError(f"A PNG needs uint8 or uint16 pixels, got {array.dtype}")
    bits = 8 * array.dtype.itemsize
    if array.ndim == 2:
        return int(array.shape[0]), int(array.shape[1]), 1, bits
    if array.ndim == 3 and array.shape[2] in (1, 3):
        return int(array.shape[0]), int(array.shape[1]), int(array.shape[2]), bits
    raise ValueError("A PNG needs an array of shape (height, width) or (height, width, 1 or 3), "
                     f"got {tuple(array.shape)}")


def _band_split(height: int, band_rows: int) -> tuple[int, ...]:
    full, rest = divmod(height, band_rows)
    return (band_rows,) * full + ((rest,) if rest else ())


class _Blocks:
    """How a PNG's rows are cut into blocks: ``rows`` per block, and the
    ``context`` rows before a block that its compression reads."""

    def __init__(self, width: int, height: int, channels: int, bits: int) -> None:
        self.width, self.height, self.channels, self.bits = width, height, channels, bits
        self.rows, self.context = png_block_rows(width, channels, bits)

    def end_before(self, row: int) -> int:
        """The end of the last block that ends at or before ``row``."""
        return row if row == self.height else row - row % self.rows

    def deflate(self, pixels: npt.NDArray[Any], first: int) -> tuple[bytes, int]:
        """The blocks from row ``first``, given the rows before them that they read."""
        return png_blocks(np.ascontiguousarray(pixels).data, self.width, self.channels, self.bits,
                          first, self.height)


def _deflated_in_turn(bands: da.Array, rows: Sequence[int],
                      blocks: _Blocks) -> Generator[tuple[bytes, int, int], None, None]:
    """For each band, ``(deflated, adler32, rows)`` of the blocks that end in
    it (none: ``rows`` 0), the next band already computing while this one is
    written.

    Each band is persisted where it is computed and kept until the blocks
    that read it are deflated; the blocks are deflated by a task beside it
    from the band and the rows before them. When the caller stops early (an
    error, Ctrl-C), the band computing ahead is abandoned rather than waited
    for."""
    starts = [sum(rows[:k]) for k in range(len(rows))]
    kept: list[tuple[int, int, da.Array]] = []  # (first row, end, band) of the bands still read
    persisted: dict[int, da.Array] = {}
    deflated_to = 0

    def band(k: int) -> da.Array:
        if k not in persisted:
            persisted[k] = bands.blocks[k].persist()
        return persisted[k]

    def deflate(k: int) -> tuple[bytes, int, int]:
        nonlocal deflated_to
        kept.append((starts[k], starts[k] + rows[k], band(k)))
        if k + 1 < len(rows):
            band(k + 1)  # on a cluster, computed meanwhile
        del persisted[k]
        first, end = deflated_to, blocks.end_before(starts[k] + rows[k])
        if end <= first:
            return b"", 1, 0
        lead = first - min(first, blocks.context)
        parts = [part[max(lead - start, 0):min(end, stop) - start]
                 for start, stop, part in kept if stop > lead and start < end]
        read = parts[0] if len(parts) == 1 else da.concatenate(parts)
        data, adler32 = delayed(blocks.deflate)(read, first).compute()
        deflated_to = end
        after = end - min(end, blocks.context)
        kept[:] = [(start, stop, part) for start, stop, part in kept if stop > after]
        return data, adler32, end - first

    pool = ThreadPoolExecutor(max_workers=1)
    try:
        ahead: Future[tuple[bytes, int, int]] | None = None
        for k in range(len(rows)):
            current, ahead = ahead, pool.submit(deflate, k)
            if current is not None:
                yield current.result()
        if ahead is not None:
            yield ahead.result()
    finally:
        pool.shutdown(wait=False, cancel_futures=True)
