"""PNG encoding under two builds of veldra, side by side.

    python bench/png.py BEFORE_DIR AFTER_DIR [--size 4097] [--rounds 3]

Each directory holds an importable `veldra` package (BEFORE: the
single-stream writer; AFTER: blocks deflated on the worker threads). The
pictures are rendered once (a relief of a 6-octave Field, and the gallery's
flat pictures) and written by each build in alternating child processes,
on one worker and on two (CPU affinity). Prints the best times, the
speed-up of two workers over one, and the file sizes after / before.
"""

import argparse
import json
import os
import subprocess
import sys
import tempfile

CHILD = r"""
import json, os, sys, time
sys.path.insert(0, sys.argv[1])
import veldra
pictures, rounds = json.loads(sys.argv[2]), int(sys.argv[3])
cpus = sorted(os.sched_getaffinity(0))
out = {}
for name, (path, width, height, channels) in pictures.items():
    image = veldra.image_from_bytes(width, height, channels, open(path, "rb").read())
    target = path + ".png"
    times = {}
    for workers in (1, 2):
        os.sched_setaffinity(0, set(cpus[:workers]))
        best = float("inf")
        for _ in range(rounds):
            start = time.perf_counter()
            image.write_png(target)
            best = min(best, time.perf_counter() - start)
        times[workers] = best
    os.sched_setaffinity(0, set(cpus))
    out[name] = {"times": times, "size": os.path.getsize(target)}
print(json.dumps(out))
"""


def render(size, folder):
    import veldra as v
    n = (size - 1) // 8
    terrain = v.Renderer(v.Field([8, 8], seed=7, octaves=6))
    flat = v.Renderer(v.Instance([8, 8], seed=7))
    cube = v.Renderer(v.Instance([8, 8, 2], seed=7))
    images = {
        "relief 6 octaves": terrain.relief([n, n]),
        "grayscale": flat.grayscale([n, n]),
        "palette": flat.colored([n, n], v.Palette.TERRAIN),
        "rgb": cube.rgb_channels([n, n, 4]),
    }
    pictures = {}
    for name, image in images.items():
        path = os.path.join(folder, name.replace(" ", "-") + ".raw")
        with open(path, "wb") as file:
            file.write(image.pixels)
        pictures[name] = (path, image.width, image.height, image.channels)
    return pictures


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("before")
    parser.add_argument("after")
    parser.add_argument("--size", type=int, default=4097)
    parser.add_argument("--rounds", type=int, default=3)
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as folder:
        sys.path.insert(0, args.after)
        pictures = render(args.size, folder)
        results = {}
        for build in ("before", "after"):
            ran = subprocess.run([sys.executable, "-c", CHILD, getattr(args, build), json.dumps(pictures),
                                  str(args.rounds)], capture_output=True, text=True, check=True)
            results[build] = json.loads(ran.stdout)
    print(f"{'picture':18} {'before 1':>9} {'before 2':>9} {'after 1':>9} {'after 2':>9} "
          f"{'2 vs 1':>7} {'size after/before':>18}")
    for name in pictures:
        b, a = results["before"][name], results["after"][name]
        print(f"{name:18} {b['times']['1']:9.2f} {b['times']['2']:9.2f} {a['times']['1']:9.2f} "
              f"{a['times']['2']:9.2f} {a['times']['1'] / a['times']['2']:6.2f}x "
              f"{a['size'] / b['size']:17.4f}")
    print(json.dumps(results))


if __name__ == "__main__":
    main()
