"""Single-octave tables against FastNoise2's uniform grids, one core, side by side.

    python bench/anchor.py PATH/TO/bench_grid [--rounds 3]

bench_grid is the anchor built by the shared anchor script (FastNoise2 and
FastSIMD from their sources): single-threaded Perlin grids of 2049^2 (64
cells of 32 samples per axis), 129^3 (8 cells of 16) and 41^4 (4 cells of
10). veldra fills the Instance tables of the same shapes on one worker.
Both run pinned to the same core, in turn, round after round; each round
keeps each side's best time, and the median of the rounds is reported.
"""

import argparse
import os
import re
import statistics
import subprocess
import sys

os.environ.setdefault("OPENBLAS_NUM_THREADS", "1")
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

from common import best_of, workers  # noqa: E402

import veldra  # noqa: E402

# (dims, lattice, divisors) shaped as bench_grid's grids.
CASES = {2: ([64, 64], [32, 32]), 3: ([8, 8, 8], [16, 16, 16]), 4: ([4] * 4, [10] * 4)}


def anchor_rates(binary, core):
    out = subprocess.run(["taskset", "-c", str(core), binary, "5", "perlin"], capture_output=True, text=True,
                         check=True).stdout
    rates = {}
    for line in out.splitlines():
        found = re.match(r"RESULT perlin (\d)d \S+ best_ms=([\d.]+)", line)
        if found:
            rates[int(found.group(1))] = float(found.group(2)) / 1e3
    return rates


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("binary")
    parser.add_argument("--rounds", type=int, default=3)
    args = parser.parse_args()
    core = sorted(os.sched_getaffinity(0))[-1]
    ours, theirs = {n: [] for n in CASES}, {n: [] for n in CASES}
    for _ in range(args.rounds):
        for n, seconds in anchor_rates(args.binary, core).items():
            theirs[n].append(seconds)
        with workers(1):
            os.sched_setaffinity(0, {core})
            for n, (dims, divisors) in CASES.items():
                field = veldra.Instance(dims, seed=7)
                ours[n].append(best_of(5, lambda: field.table(divisors))[0])
    processor = next((line.split(":", 1)[1].strip() for line in open("/proc/cpuinfo")
                      if line.startswith("model name")), "unknown")
    print(f"{processor}; core {core}; medians of {args.rounds} rounds of best times")
    print(f"{'table':10s} {'veldra':>10s} {'FastNoise2':>11s}  ratio")
    for n, (dims, divisors) in CASES.items():
        mine, peer = statistics.median(ours[n]), statistics.median(theirs[n])
        shape = "x".join(str(d * k + 1) for d, k in zip(dims, divisors))
        print(f"{shape:10s} {mine * 1e3:8.2f}ms {peer * 1e3:9.2f}ms  {peer / mine:5.2f}x", flush=True)


if __name__ == "__main__":
    main()
