"""A lit fractal world map of any size, larger than memory if need be,
rendered chunk by chunk with dask and streamed into one PNG file.

    python -m veldra.world --size 32769 --out world.png            # threads of this process
    python -m veldra.world --size 131073 --workers 2 --out big.png  # a local two-process cluster
    python -m veldra.world --size 32769 --scheduler tcp://host:8786  # a running cluster

Every argument is checked before any work starts. On a terminal, standard
error shows the estimated time before the work starts, then the progress of
each phase (--quiet silences it, --progress shows it anywhere).

Needs the dask extra: pip install "veldra[dask]".
"""

from __future__ import annotations

import argparse
import contextlib
import math
import os
import sys
import tempfile
import time
from collections.abc import Iterator, Sequence
from typing import Any

from veldra import Field, Palette, PngWriter, Relief, Shape, relief_region, value_range
from veldra._progress import Progress, duration
from veldra.gallery import OneLineParser

CELLS = 8  # lattice cells per side of octave 0: a few continents
MIN_CHUNK = 64
MAX_CHUNKS = 100_000  # tasks beyond this swamp dask's scheduler
SAMPLE = 256  # pixels per side of the region timed for the estimate
SETTINGS = Relief(shape=Shape.SMOOTH, palette=Palette.TERRAIN, height=0.05, gamma=1.0)


def _arguments(argv: Sequence[str] | None) -> tuple[argparse.Namespace, Field, int]:
    """The options, the field and the divisor, or a one-line error and exit status 2."""
    parser = OneLineParser(prog="python -m veldra.world", description=__doc__.split("\n\n")[0])
    parser.add_argument("--size", type=int, default=16385,
                        help="pixels per side; sizes of 8 * k + 1 use the whole lattice (16385)")
    parser.add_argument("--seed", type=int, default=7,
                        help="any integer, taken modulo 2**64 as Field takes seeds (7)")
    parser.add_argument("--octaves", type=int, default=10, help="1 to 32 (10)")
    parser.add_argument("--chunk", type=int, default=2048,
                        help=f"pixels per chunk side, at least {MIN_CHUNK} (2048)")
    parser.add_argument("--workers", type=int, default=0,
                        help="worker processes of a local cluster; 0 computes in this process (0)")
    parser.add_argument("--scheduler", help="address of a running dask.distributed scheduler")
    parser.add_argument("--out", default="world.png")
    shown = parser.add_mutually_exclusive_group()
    shown.add_argument("--quiet", action="store_true", help="no progress on standard error")
    shown.add_argument("--progress", action="store_true",
                       help="progress on standard error even when it is not a terminal")
    options = parser.parse_args(argv)
    if options.size < CELLS + 1:
        parser.error(f"--size must be at least {CELLS + 1}, got {options.size}")
    if options.workers < 0:
        parser.error(f"--workers must not be negative, got {options.workers}")
    if not 1 <= options.octaves <= 32:
        parser.error(f"--octaves must be 1 to 32, got {options.octaves}")
    divisor = (options.size - 1) // CELLS
    side = CELLS * divisor + 1
    if options.chunk < MIN_CHUNK:
        parser.error(f"--chunk must be at least {MIN_CHUNK}, got {options.chunk}")
    chunks = math.ceil(side / options.chunk) ** 2
    if chunks > MAX_CHUNKS:
        least = math.ceil(side / math.isqrt(MAX_CHUNKS))
        parser.error(f"--chunk {options.chunk} cuts the map into {chunks} chunks, more than "
                     f"{MAX_CHUNKS}; use --chunk {least} or more")
    try:
        field = Field([CELLS, CELLS], seed=options.seed % 2**64, octaves=options.octaves)
        field.table_shape([divisor, divisor])
    except (ValueError, OverflowError, MemoryError) as error:
        parser.error(str(error))
    problem = _unwritable(options.out)
    if problem:
        parser.error(f"cannot write --out {options.out}: {problem}")
    return options, field, divisor


def _unwritable(path: str) -> str | None:
    """Why ``path`` cannot be written as a new file, or None: the picture
    is written beside it under a temporary name first."""
    if os.path.isdir(path):
        return "it is a folder"
    folder = os.path.dirname(path) or "."
    try:
        with tempfile.TemporaryFile(dir=folder):
            return None
    except OSError as error:
        return f"{error.strerror or error} (the folder {folder})"


def _estimate(field: Field, divisor: int, side: int) -> float:
    """Seconds the map should take, from one sample region timed in this process:
    the value range pass, then rendering and the PNG encoding, which overlap."""
    start = [(side - SAMPLE) // 2] * 2 if side > SAMPLE else [0, 0]
    shape = [min(SAMPLE, side)] * 2
    began = time.perf_counter()
    lo, hi = value_range(field, [divisor, divisor], start, shape, SETTINGS.shape)
    ranged = time.perf_counter()
    image = relief_region(field, [divisor, divisor], SETTINGS, start, shape, lo, hi)
    rendered = time.perf_counter()
    with tempfile.TemporaryDirectory() as folder, \
            PngWriter(os.path.join(folder, "sample.png"), shape[1], shape[0], 3) as writer:
        writer.write_rows(image.pixels)
    encoded = time.perf_counter()
    scale = side * side / (shape[0] * shape[1])
    return scale * (ranged - began + max(rendered - ranged, encoded - rendered))


@contextlib.contextmanager
def _scheduler(workers: int, address: str | None) -> Iterator[Any]:
    """A dask.distributed client when asked for one; otherwise dask's threads."""
    if address is None and workers == 0:
        yield None
        return
    from distributed import Client, LocalCluster

    if address is not None:
        with Client(address) as client:
            yield client
        return
    with LocalCluster(n_workers=workers, threads_per_worker=1, dashboard_address=None) as cluster, \
            Client(cluster) as client:
        yield client


def _range_progress(shown: Progress, client: Any) -> contextlib.AbstractContextManager[Any]:
    """dask's own progress bar for the value range pass on dask's threads;
    on a cluster (whose tasks it does not see) one line saying what runs."""
    if not shown.shown:
        return contextlib.nullcontext()
    if client is None:
        from dask.diagnostics.progress import ProgressBar

        shown.say("value range of the whole map:")
        return ProgressBar(out=shown.stream)
    shown.say("value range of the whole map, on the cluster")
    return contextlib.nullcontext()


def main(argv: Sequence[str] | None = None) -> int:
    options, field, divisor = _arguments(argv)
    try:
        import veldra.dask as vd
    except ImportError as error:
        print(error, file=sys.stderr)
        return 2
    shown = Progress(False if options.quiet else True if options.progress else None)
    side = CELLS * divisor + 1
    if not options.quiet:
        # Said before a run of minutes even when standard error is no terminal.
        seconds = _estimate(field, divisor, side)
        if shown.shown or seconds >= 60:
            print(f"about {duration(seconds)} for {side} x {side} pixels (estimated from a sample)",
                  file=shown.stream, flush=True)
    started = time.perf_counter()
    with _scheduler(options.workers, options.scheduler) as client:
        with _range_progress(shown, client):
            picture = vd.relief(field, [divisor, divisor], SETTINGS, chunks=options.chunk)
        vd.write_png(picture, options.out, progress=shown.shown)
    print(f"{side} x {side} pixels in {time.perf_counter() - started:.1f} s: {options.out}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
