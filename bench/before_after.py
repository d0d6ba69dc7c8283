"""Times every table and rendering under two builds of veldra, side by side.

    python bench/before_after.py BEFORE_DIR AFTER_DIR [--rounds 5]

Each directory holds an importable `veldra` package (for example a build
folder's staged package). The two builds run in alternating child
processes, round after round, so that both see the same machine; each case
reports the best time of each build on one worker and on all, and the ratio
after / before. A ratio above 1 means the after build is slower.
"""

import argparse
import json
import os
import subprocess
import sys

CASES = {
    "table 2-D 2049^2": "f = v.Instance([32, 32], 7); run = lambda: f.table([64, 64])",
    "table 3-D 129^3": "f = v.Instance([4, 4, 4], 7); run = lambda: f.table([32, 32, 32])",
    "table 4-D 41^4": "f = v.Instance([4, 4, 4, 4], 7); run = lambda: f.table([10, 10, 10, 10])",
    "grayscale 2049^2": "r = v.Renderer(v.Instance([32, 32], 7)); run = lambda: r.grayscale([64, 64])",
    "colored 2049^2": "r = v.Renderer(v.Instance([32, 32], 7)); "
                      "run = lambda: r.colored([64, 64], v.Palette.TERRAIN)",
    "rgb_channels 1025^2x5": "r = v.Renderer(v.Instance([16, 16, 4], 7)); "
                             "run = lambda: r.rgb_channels([64, 64, 1])",
    "relief 1025^2": "r = v.Renderer(v.Instance([16, 16], 7)); run = lambda: r.relief([64, 64])",
    "globe 512^2 samples 2": "r = v.Renderer(v.Instance([4, 4, 4, 4], 7)); "
                             "run = lambda: r.globe(512, 512, v.Globe(samples=2))",
    "hair 512^2": "r = v.Renderer(v.Instance([6, 6], 3)); "
                  "run = lambda: r.hair(512, 512, v.Hair(count=20000))",
    "Field 6 oct 2049^2": "f = v.Field([16, 16], 7, octaves=6); run = lambda: f.table([128, 128])",
    "Field 6 oct 2041^2": "f = v.Field([20, 20], 7, octaves=6); run = lambda: f.table([102, 102])",
    "Field region 1024^2": "f = v.Field([16, 16], 7, octaves=6); "
                           "run = lambda: f.table_region([128, 128], [512, 512], [1024, 1024])",
    "Field relief 1025^2": "r = v.Renderer(v.Field([8, 8], 7, octaves=6)); run = lambda: r.relief([128, 128])",
    "Field 6 oct 3-D 126^3": "f = v.Field([5, 5, 5], 7, octaves=6); run = lambda: f.table([25, 25, 25])",
    "Field 4 oct 4-D 41^4": "f = v.Field([4, 4, 4, 4], 7, octaves=4); run = lambda: f.table([10, 10, 10, 10])",
    "Field 6 oct 3-D 51x51x1001": "f = v.Field([2, 2, 40], 7, octaves=6); run = lambda: f.table([25, 25, 25])",
    "Field 6 oct 1-D 2^20": "f = v.Field([8192], 7, octaves=6); run = lambda: f.table([128])",
    "Field grid 2049^2": "f = v.Field([16, 16], 7, octaves=6); "
                         "run = lambda: f.grid([0.3, 0.1], [1 / 131.3, 1 / 131.3], [2049, 2049])",
    "noise_at 1e6 3-D 6 oct": "import random; random.seed(1); f = v.Field([16, 16, 16], 7, octaves=6); "
                              "p = [[random.uniform(0, 16) for _ in range(3)] for _ in range(1000000)]; "
                              "t = f.noise_at(p); run = lambda: f.noise_at(p)",
}

CHILD = """
import json, os, sys, time
import veldra as v
cpus = sorted(os.sched_getaffinity(0))
setup, repeats = sys.argv[1], int(sys.argv[2])
env = {"v": v}
exec(setup, env)
out = {}
for workers in (1, len(cpus)):
    os.sched_setaffinity(0, set(cpus[:workers]))
    best = float("inf")
    for _ in range(repeats):
        start = time.perf_counter()
        env["run"]()
        best = min(best, time.perf_counter() - start)
    out[workers] = best
print(json.dumps(out))
"""


def measure(package_dir, setup, repeats):
    env = dict(os.environ, PYTHONPATH=package_dir)
    text = subprocess.run([sys.executable, "-c", CHILD, setup, str(repeats)], env=env,
                          check=True, capture_output=True, text=True).stdout
    return {int(k): t for k, t in json.loads(text).items()}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("before")
    parser.add_argument("after")
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--repeats", type=int, default=3)
    args = parser.parse_args()
    print(f"{'case':24} {'workers':>7} {'before s':>9} {'after s':>9} {'after/before':>12}")
    for name, setup in CASES.items():
        best = {"before": {}, "after": {}}
        for _ in range(args.rounds):
            for side in ("before", "after"):
                for workers, t in measure(getattr(args, side), setup, args.repeats).items():
                    best[side][workers] = min(best[side].get(workers, t), t)
        for workers in sorted(best["before"]):
            b, a = best["before"][workers], best["after"][workers]
            print(f"{name:24} {workers:>7} {b:>9.4f} {a:>9.4f} {a / b:>12.3f}", flush=True)


if __name__ == "__main__":
    main()
