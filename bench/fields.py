"""veldra.Field: octave tables and noise at many points, on one worker.

    python bench/fields.py [--quick] [--json PATH] [--before PKG_DIR]

Prints, each measured side by side in this run:

- noise_at on a million random 2-D points, in points per second, against
  a Python loop over noise() (timed on a smaller sample), for an Instance
  and for a 6-octave Field;
- the 6-octave 2-D table of 2049 x 2049 values against the one-octave
  table of the same shape, and against the fractal (fBm) grids of
  pyfastnoisesimd and pyfastnoiselite of the same size and octaves when
  they are installed (pip install pyfastnoisesimd pyfastnoiselite).

With --before (a folder holding another build's importable veldra, such
as a staged package), the noise_at rates are also measured under that
build in a child process, before and after this build's in turn, and the
best of each side is compared.

Results go to bench/results/fields.json unless --json says otherwise.
"""

import argparse
import json
import os
import platform
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

from common import best_of, workers  # noqa: E402

import numpy as np  # noqa: E402

import veldra  # noqa: E402

OCTAVES = 6
SIDE = 2049  # the table's side: dims 8 cut 256 times


def points_rates(points, loop_points, repeats):
    rows = []
    for name, field in [("Instance", veldra.Instance([8, 8], seed=7)),
                        ("Field, 6 octaves", veldra.Field([8, 8], seed=7, octaves=OCTAVES))]:
        fast, _ = best_of(repeats, lambda: field.noise_at(points))
        listed = loop_points.tolist()
        slow, _ = best_of(1, lambda: [field.noise(p) for p in listed])
        fast_rate, slow_rate = len(points) / fast, len(listed) / slow
        rows.append({"field": name, "noise_at_per_s": fast_rate, "loop_per_s": slow_rate,
                     "ratio": fast_rate / slow_rate})
    return rows


def measured_points(repeats):
    rng = np.random.default_rng(0)
    points = rng.uniform(0, 8, (1_000_000, 2))
    with workers(1):
        return points_rates(points, points[:50_000], repeats)


def before_points(package_dir, repeats):
    """measured_points under the veldra of `package_dir`, in a child process."""
    code = f"import json, sys; sys.path.insert(0, {HERE!r}); import fields; " \
           f"print(json.dumps(fields.measured_points({repeats})))"
    env = dict(os.environ, PYTHONPATH=package_dir)
    return json.loads(subprocess.run([sys.executable, "-c", code], env=env, check=True,
                                     capture_output=True, text=True).stdout)


def peer_grids():
    """Callables making a SIDE x SIDE fBm grid of OCTAVES octaves, per peer."""
    grids = {}
    try:
        if not hasattr(np, "product"):
            np.product = np.prod  # the package still calls numpy's old name
        import pyfastnoisesimd as fns
        generator = fns.Noise(seed=1, numWorkers=1)
        generator.noiseType = fns.NoiseType.PerlinFractal
        generator.fractal.fractalType = fns.FractalType.FBM
        generator.fractal.octaves = OCTAVES
        generator.frequency = 1.0 / 256
        # Its grids must be a whole number of SIMD registers: SIDE - 1.
        grids["pyfastnoisesimd"] = (lambda: generator.genAsGrid(shape=[1, SIDE - 1, SIDE - 1]),
                                    (SIDE - 1) ** 2)
    except ImportError:
        pass
    try:
        from pyfastnoiselite.pyfastnoiselite import FastNoiseLite, FractalType, NoiseType
        lite = FastNoiseLite(1)
        lite.noise_type = NoiseType.NoiseType_Perlin
        lite.fractal_type = FractalType.FractalType_FBm
        lite.fractal_octaves = OCTAVES
        lite.frequency = 1.0 / 256
        axis = np.arange(SIDE, dtype=np.float32)
        coords = np.ascontiguousarray(
            np.stack([c.ravel() for c in np.meshgrid(axis, axis, indexing="ij")]), dtype=np.float32)
        grids["pyfastnoiselite"] = (lambda: lite.gen_from_coords(coords), SIDE * SIDE)
    except ImportError:
        pass
    return grids


def table_times(repeats):
    one = veldra.Instance([8, 8], seed=7)
    many = veldra.Field([8, 8], seed=7, octaves=OCTAVES)
    single, _ = best_of(repeats, lambda: one.table([256, 256]))
    fractal, _ = best_of(repeats, lambda: many.table([256, 256]))
    rows = [{"name": "veldra, 1 octave", "seconds": single, "values_per_s": SIDE * SIDE / single},
            {"name": f"veldra, {OCTAVES} octaves", "seconds": fractal,
             "values_per_s": SIDE * SIDE / fractal}]
    for name, (make, count) in peer_grids().items():
        seconds, _ = best_of(repeats, make)
        rows.append({"name": f"{name}, {OCTAVES} octaves", "seconds": seconds,
                     "values_per_s": count / seconds})
    return rows, fractal / single


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--quick", action="store_true")
    parser.add_argument("--json", default=os.path.join(HERE, "results", "fields.json"))
    parser.add_argument("--before")
    args = parser.parse_args()
    repeats = 2 if args.quick else 5
    rates = measured_points(repeats)
    if args.before:
        sides = [before_points(args.before, repeats), measured_points(repeats),
                 before_points(args.before, repeats)]
        for k, row in enumerate(rates):
            after = max(row["noise_at_per_s"], sides[1][k]["noise_at_per_s"])
            before = max(side[k]["noise_at_per_s"] for side in sides[::2])
            row.update(noise_at_per_s=after, ratio=after / row["loop_per_s"], before_noise_at_per_s=before,
                       before_ratio=before / row["loop_per_s"], after_over_before=after / before)
    with workers(1):
        tables, ratio = table_times(repeats)
    print("noise_at, 2-D points, one worker")
    for row in rates:
        print(f"  {row['field']:<18} {row['noise_at_per_s'] / 1e6:8.1f} M/s   loop over noise(): "
              f"{row['loop_per_s'] / 1e6:6.2f} M/s   ratio {row['ratio']:6.1f}x")
        if "before_noise_at_per_s" in row:
            print(f"  {'':<18} before: {row['before_noise_at_per_s'] / 1e6:8.1f} M/s (ratio "
                  f"{row['before_ratio']:.1f}x); after / before {row['after_over_before']:.2f}x")
    print(f"tables of {SIDE} x {SIDE}, one worker")
    for row in tables:
        print(f"  {row['name']:<28} {row['seconds'] * 1e3:8.1f} ms  {row['values_per_s'] / 1e6:8.1f} M values/s")
    print(f"  {OCTAVES} octaves / 1 octave: {ratio:.2f}x")
    os.makedirs(os.path.dirname(args.json), exist_ok=True)
    with open(args.json, "w") as out:
        json.dump({"processor": platform.processor() or platform.machine(), "points": rates,
                   "tables": tables, "octave_ratio": ratio}, out, indent=2)


if __name__ == "__main__":
    main()
