"""PNG files of arrays, and heightmaps of tables: ``veldra.write_png`` and
``veldra.heightmap``."""

from __future__ import annotations

import os
import sys
from typing import Any

from veldra._native import Table, _heightmap
from veldra._native import _PngWriter as PngWriter

# A buffer's format for each sample size this writer takes: 8 bits, and
# 16 bits in the machine's byte order or either named one.
_NATIVE = "<" if sys.byteorder == "little" else ">"
_FORMATS = {"B": 8, "=B": 8, "<B": 8, ">B": 8, "@B": 8,
            "H": 16, "=H": 16, "@H": 16, _NATIVE + "H": 16}
_SWAPPED = ">H" if _NATIVE == "<" else "<H"


def write_png(array: Any, path: str | os.PathLike[str]) -> None:
    """Writes ``array``, uint8 or uint16 samples of shape (height, width) or
    (height, width, 3), to ``path`` as a greyscale or RGB PNG of 8 or 16 bits.

    ``array`` is any object with the buffer protocol (a numpy array, a
    memoryview, ...), in any layout: a strided or Fortran-ordered one is
    copied once. The file is written as :meth:`Image.write_png` writes it,
    and for uint8 pixels with its very bytes.
    """
    view = memoryview(array)
    if view.format == _SWAPPED:
        bits, swap = 16, True
    elif view.format in _FORMATS:
        bits, swap = _FORMATS[view.format], False
    else:
        raise ValueError(f"A PNG needs uint8 or uint16 samples, got format {view.format!r}")
    shape = view.shape or ()
    if len(shape) not in (2, 3) or (len(shape) == 3 and shape[2] != 3):
        raise ValueError(f"A PNG needs an array of shape (height, width) or (height, width, 3), "
                         f"got {tuple(shape)}")
    height, width = shape[0], shape[1]
    channels = 3 if len(shape) == 3 else 1
    data: Any = view if view.c_contiguous and not swap else view.tobytes()
    if swap:
        swapped = bytearray(data)
        swapped[0::2], swapped[1::2] = data[1::2], data[0::2]
        data = swapped
    with PngWriter(os.fspath(path), width, height, channels, bits) as writer:
        writer.write_rows(data)


def heightmap(table: Table, bits: int = 16) -> memoryview:
    """The heights of a two-axis ``table`` as a (rows, columns) array of
    ``bits`` (8 or 16) per sample, for :func:`write_png`.

    The range of the table's values, found as the greyscale picture finds
    it (NaN ignored), maps linearly onto 0 ... 2**bits - 1: level =
    ``(v - lo) / (hi - lo) * (2**bits - 1)``, rounded half away from zero
    (NaN gives 0), so ``lo`` gives 0 and ``hi`` the top level. A flat table
    gives ``2**(bits - 1)`` everywhere (32768; 128 at 8 bits, the greyscale
    picture's grey). At 8 bits the levels are the greyscale picture's bytes.
    Returns a read-only memoryview of format "H" (or "B"), which
    ``numpy.asarray`` takes without a copy.
    """
    if not isinstance(table, Table):
        raise TypeError(f"table must be a veldra Table, got {type(table).__name__}")
    if len(table.shape) != 2:
        raise ValueError(f"A heightmap needs a table of 2 axes, got shape {table.shape}")
    levels = _heightmap(table, bits)
    return memoryview(levels).cast("H" if bits == 16 else "B", table.shape)
