"""Fractal fields against pyfastnoisesimd, one thread each, side by side.

    python bench/fractal.py [--rounds 3] [--json PATH]

The process is pinned to one core; veldra runs on one worker and
pyfastnoisesimd with numWorkers=1 (32-bit floats, its widest instruction
set). Each case is timed in every round for both libraries in turn and the
median of the rounds' best times is kept. Cases:

- 6-octave fBm tables: 2-D 2049^2 with cells of 128 samples and 2041^2
  with cells of 102, 3-D 126^3 with cells of 25, against pyfastnoisesimd's
  6-octave fBm grid of the same shape and frequency (1 / samples per cell);
- noise_at on 10^6 random 3-D points, Instance([16]*3) against its Perlin
  genFromCoords and a 6-octave Field against its 6-octave fBm;
- Field.grid at an arbitrary start and step against the aligned table of
  the same shape (when the build has Field.grid).

Results go to bench/results/fractal.json unless --json says otherwise.
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


def peer(noise_type, frequency, octaves=OCTAVES):
    if not hasattr(np, "product"):
        np.product = np.prod  # the package still calls numpy's old name
    import pyfastnoisesimd as fns
    generator = fns.Noise(seed=1, numWorkers=1)
    generator.noiseType = getattr(fns.NoiseType, noise_type)
    generator.fractal.fractalType = fns.FractalType.FBM
    generator.fractal.octaves = octaves
    generator.frequency = frequency
    return generator


def table_cases():
    """(name, veldra call, its values, peer call, its values)."""
    cases = []
    for dims, cut in [([16, 16], 128), ([20, 20], 102), ([5, 5, 5], 25)]:
        field = veldra.Field(dims, seed=7, octaves=OCTAVES)
        divisors = [cut] * len(dims)
        shape = field.table_shape(divisors)
        generator = peer("PerlinFractal", 1.0 / cut)
        # Its grids must be whole SIMD registers of floats: one sample less
        # per axis where the count is odd; rates are per value.
        grid = [side - side % 2 for side in shape]
        grid = [1, *grid] if len(grid) == 2 else shape
        name = f"{len(dims)}-D table {'x'.join(map(str, shape))}, cells of {cut}"
        cases.append((name, lambda f=field, d=divisors: f.table(d), int(np.prod(shape)),
                      lambda g=generator, s=grid: g.genAsGrid(shape=s), int(np.prod(grid))))
    return cases


def points_cases(count=1_000_000):
    rng = np.random.default_rng(0)
    points = rng.uniform(0, 16, (count, 3))
    import pyfastnoisesimd as fns
    coords = fns.empty_coords(count)
    coords[:, :count] = points.T.astype(np.float32)
    cases = []
    for name, field, noise_type in [("noise_at, Instance([16]*3) / Perlin", veldra.Instance([16] * 3, seed=7), "Perlin"),
                                    (f"noise_at, {OCTAVES}-octave Field / fBm",
                                     veldra.Field([16] * 3, seed=7, octaves=OCTAVES), "PerlinFractal")]:
        generator = peer(noise_type, 1.0)
        cases.append((name, lambda f=field: f.noise_at(points), count,
                      lambda g=generator: g.genFromCoords(coords), count))
    return cases


def grid_cases():
    field = veldra.Field([16, 16], seed=7, octaves=OCTAVES)
    if not hasattr(field, "grid"):
        return []
    shape = field.table_shape([128, 128])
    return [("Field.grid at start 0.3, step 1/131.3 / aligned table",
             lambda: field.grid([0.3, 0.1], [1 / 131.3, 1 / 131.3], shape),
             int(np.prod(shape)), lambda: field.table([128, 128]), int(np.prod(shape)))]


def measure(cases, rounds):
    rows = []
    for name, ours, count, theirs, their_count in cases:
        mine, peers = [], []
        for _ in range(rounds):
            mine.append(best_of(2, ours)[0])
            peers.append(best_of(2, theirs)[0])
        ours_rate = count / statistics.median(mine) / 1e6
        their_rate = their_count / statistics.median(peers) / 1e6
        rows.append({"case": name, "veldra_M_per_s": ours_rate, "other_M_per_s": their_rate,
                     "ratio": ours_rate / their_rate})
        print(f"{name:58s} {ours_rate:8.1f} M/s {their_rate:8.1f} M/s  {ours_rate / their_rate:5.2f}x",
              flush=True)
    return rows


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--json", default=os.path.join(HERE, "results", "fractal.json"))
    args = parser.parse_args()
    processor = next((line.split(":", 1)[1].strip() for line in open("/proc/cpuinfo")
                      if line.startswith("model name")), platform.processor())
    print(f"{processor}; one core, one worker each; medians of {args.rounds} rounds")
    print(f"{'case':58s} {'veldra':>12s} {'other':>12s}  ratio")
    with workers(1):
        rows = measure(table_cases() + points_cases() + grid_cases(), args.rounds)
    with open(args.json, "w") as out:
        json.dump({"processor": processor, "rows": rows}, out, indent=1)


if __name__ == "__main__":
    main()
