"""Derivatives and fields without walls against the calls they extend, side
by side on one core.

    python bench/unbounded.py [--rounds 3] [--json PATH]

The process is pinned to one core and veldra runs on one worker. Each pair
is timed in every round in turn and the median of the rounds' best times is
kept; the ratio is the time of the first call over the second's, with the
target it must stay under:

- derivative_at / noise_at on 10^6 random points of a 6-octave field, 2-D
  and 3-D (target 2.5);
- derivative_grid / grid on the same grid at an arbitrary start and step,
  2-D 1025^2 and 3-D 97^3 (target 2.5);
- an unbounded field's table and grid / those of the same field with walls,
  same shape and octaves (target 1.2).

Results go to bench/results/unbounded.json unless --json says otherwise.
"""

import argparse
import json
import os
import platform
import statistics
import sys

# numpy's BLAS threads would spin beside the measured thread on its core.
os.environ.setdefault("OPENBLAS_NUM_THREADS", "1")
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

from common import best_of, workers  # noqa: E402

import numpy as np  # noqa: E402

import veldra  # noqa: E402

OCTAVES = 6


def cases():
    """(name, call, baseline call, target ratio)."""
    rows = []
    for n, cells, cut, side in [(2, 16, 64, 1025), (3, 5, 19, 97)]:
        field = veldra.Field([cells] * n, seed=7, octaves=OCTAVES)
        unbounded = veldra.Field([cells] * n, seed=7, octaves=OCTAVES, unbounded=True)
        points = np.random.default_rng(0).uniform(0, cells, (1_000_000, n))
        start, step, shape = [0.3] * n, [(cells - 0.5) / (side * 1.013)] * n, [side] * n
        rows += [
            (f"{n}-D derivative_at / noise_at, 10^6 points",
             lambda f=field, p=points: f.derivative_at(p), lambda f=field, p=points: f.noise_at(p), 2.5),
            (f"{n}-D derivative_grid / grid, {side}^{n}",
             lambda f=field, a=(start, step, shape): f.derivative_grid(*a),
             lambda f=field, a=(start, step, shape): f.grid(*a), 2.5),
            (f"{n}-D unbounded / bounded table, cells of {cut}",
             lambda f=unbounded, d=[cut] * n: f.table(d), lambda f=field, d=[cut] * n: f.table(d), 1.2),
            (f"{n}-D unbounded / bounded grid, {side}^{n}",
             lambda f=unbounded, a=(start, step, shape): f.grid(*a),
             lambda f=field, a=(start, step, shape): f.grid(*a), 1.2),
        ]
    return rows


def measure(rows, rounds):
    results = []
    for name, ours, base, target in rows:
        mine, theirs = [], []
        for _ in range(rounds):
            mine.append(best_of(2, ours)[0])
            theirs.append(best_of(2, base)[0])
        ratio = statistics.median(mine) / statistics.median(theirs)
        results.append({"case": name, "seconds": statistics.median(mine),
                        "baseline_seconds": statistics.median(theirs), "ratio": ratio, "target": target})
        verdict = "met" if ratio <= target else "MISSED"
        print(f"{name:48s} {statistics.median(mine) * 1e3:8.1f} ms {statistics.median(theirs) * 1e3:8.1f} ms"
              f"  {ratio:5.2f}x (target {target}, {verdict})", flush=True)
    return results


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--json", default=os.path.join(HERE, "results", "unbounded.json"))
    args = parser.parse_args()
    processor = next((line.split(":", 1)[1].strip() for line in open("/proc/cpuinfo")
                      if line.startswith("model name")), platform.processor())
    print(f"{processor}; one core, one worker; medians of {args.rounds} rounds")
    with workers(1):
        rows = measure(cases(), args.rounds)
    with open(args.json, "w") as out:
        json.dump({"processor": processor, "rows": rows}, out, indent=1)


if __name__ == "__main__":
    main()
