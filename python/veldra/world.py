"""A lit fractal world map of any size, larger than memory if need be,
rendered chunk by chunk with dask and streamed into one PNG file.

    python -m veldra.world --size 32769 --out world.png            # threads of this process
    python -m veldra.world --size 131073 --workers 2 --out big.png  # a local two-process cluster
    python -m veldra.world --size 32769 --scheduler tcp://host:8786  # a running cluster

Needs the dask extra: pip install "veldra[dask]".
"""

from __future__ import annotations

import argparse
import contextlib
import sys
import time
from collections.abc import Iterator, Sequence
from typing import Any

from veldra._extras import Field
from veldra._native import Palette, Relief, Shape

CELLS = 8  # lattice cells per side of octave 0: a few continents


def _arguments(argv: Sequence[str] | None) -> argparse.Namespace:
    parser = argparse.ArgumentParser(prog="python -m veldra.world", description=__doc__.split("\n\n")[0])
    parser.add_argument("--size", type=int, default=16385,
                        help="pixels per side; sizes of 8 * k + 1 use the whole lattice (16385)")
    parser.add_argument("--seed", type=int, default=7)
    parser.add_argument("--octaves", type=int, default=10)
    parser.add_argument("--chunk", type=int, default=2048, help="pixels per chunk side (2048)")
    parser.add_argument("--workers", type=int, default=0,
                        help="worker processes of a local cluster; 0 computes in this process (0)")
    parser.add_argument("--scheduler", help="address of a running dask.distributed scheduler")
    parser.add_argument("--out", default="world.png")
    options = parser.parse_args(argv)
    if options.size < CELLS + 1:
        parser.error(f"--size must be at least {CELLS + 1}, got {options.size}")
    if options.chunk < 1 or options.workers < 0:
        parser.error("--chunk must be positive and --workers not negative")
    return options


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


def main(argv: Sequence[str] | None = None) -> int:
    options = _arguments(argv)
    try:
        import veldra.dask as vd
    except ImportError as error:
        print(error, file=sys.stderr)
        return 2
    # The lattice is cut so that the map has about --size pixels per side.
    divisor = max(1, (options.size - 1) // CELLS)
    field = Field([CELLS, CELLS], seed=options.seed, octaves=options.octaves)
    settings = Relief(shape=Shape.SMOOTH, palette=Palette.TERRAIN, height=0.05, gamma=1.0)
    started = time.perf_counter()
    with _scheduler(options.workers, options.scheduler):
        picture = vd.relief(field, [divisor, divisor], settings, chunks=options.chunk)
        vd.write_png(picture, options.out)
    height, width = picture.shape[:2]
    print(f"{width} x {height} pixels in {time.perf_counter() - started:.1f} s: {options.out}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
