"""veldra against the Python noise packages, and every veldra rendering.

    python bench/peers.py [--no-install] [--quick] [--json PATH]

Installs the peer packages with pip (a package that fails to install is
reported as such), builds veldra into build/bench-py when it cannot be
imported, and prints two tables:

- values per second of a 2-D grid of 4.2 million values, a 3-D grid of
  2.1 million and a 4-D grid of 2.8 million, for veldra's tables and each
  peer's fastest grid or array path, on one thread and on all, with the
  ratio of veldra's rate to the peer's;
- the time of every veldra rendering at a realistic size, on one worker and
  on all.

The results are also written as JSON (bench/results/peers.json unless
--json says otherwise), with the processor model.
"""

import argparse
import importlib
import json
import os
import platform
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, HERE)

from common import workers  # noqa: E402

# pip name, import name. numba makes opensimplex's array functions compiled.
PACKAGES = [
    ("noise", "noise"),
    ("opensimplex", "opensimplex"),
    ("numba", "numba"),
    ("pyfastnoiselite", "pyfastnoiselite"),
    ("pyfastnoisesimd", "pyfastnoisesimd"),
    ("perlin-numpy", "perlin_numpy"),
    ("vnoise", "vnoise"),
    ("pythonperlin", "pythonperlin"),
]

# Grids: veldra's dims and divisors, and the peers' side per axis and cell
# size in samples (their frequency is 1 / cell).
GRIDS = {
    2: {"dims": [16, 16], "divisors": [128, 128], "side": 2049, "cell": 128},
    3: {"dims": [4, 4, 4], "divisors": [32, 32, 32], "side": 129, "cell": 32},
    4: {"dims": [2, 2, 2, 2], "divisors": [20, 20, 20, 20], "side": 41, "cell": 20},
}

# The slowest packages (a Python call per point, or pure numpy with a
# Python loop per cell) are timed on these smaller grids: 512^2, 64^3, 20^4.
SMALL_GRIDS = {
    2: {"dims": [4, 4], "divisors": [128, 128], "side": 513, "cell": 128},
    3: {"dims": [2, 2, 2], "divisors": [32, 32, 32], "side": 65, "cell": 32},
    4: {"dims": [1, 1, 1, 1], "divisors": [20, 20, 20, 20], "side": 21, "cell": 20},
}


def install(packages):
    """Installs each package with pip; returns {pip name: None or the failure}."""
    outcome = {}
    for name, module in packages:
        try:
            importlib.import_module(module)
            outcome[name] = None
            continue
        except ImportError:
            pass
        print(f"installing {name} ...", flush=True)
        run = subprocess.run([sys.executable, "-m", "pip", "install", "--quiet", name],
                             capture_output=True, text=True)
        if run.returncode != 0:
            lines = (run.stderr or run.stdout).strip().splitlines()
            outcome[name] = lines[-1] if lines else f"pip exited with {run.returncode}"
        else:
            importlib.invalidate_caches()
            outcome[name] = None
    return outcome


def import_veldra():
    """Imports veldra, building the extension into build/bench-py if needed."""
    try:
        return importlib.import_module("veldra")
    except ImportError:
        pass
    build = os.path.join(ROOT, "build", "bench-py")
    print(f"building veldra into {build} ...", flush=True)
    subprocess.run(["cmake", "-S", ROOT, "-B", build, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release",
                    "-DVELDRA_BUILD_PYTHON=ON", f"-DPython_EXECUTABLE={sys.executable}"],
                   check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", build, "-j", "2"], check=True, stdout=subprocess.DEVNULL)
    package = os.path.join(build, "pkg", "veldra")
    os.makedirs(package, exist_ok=True)
    for name in os.listdir(build):
        if name.startswith("_native") and name.endswith(".so"):
            subprocess.run(["cp", os.path.join(build, name), package], check=True)
    subprocess.run(["cp", os.path.join(ROOT, "python", "veldra", "__init__.py"), package], check=True)
    sys.path.insert(0, os.path.dirname(package))
    return importlib.import_module("veldra")


def timed(function, repeats, budget):
    """Best wall time of up to `repeats` runs, stopping early once `budget`
    seconds have gone by; returns (seconds, last result)."""
    best, result, spent = float("inf"), None, 0.0
    for _ in range(repeats):
        start = time.perf_counter()
        result = function()
        seconds = time.perf_counter() - start
        best, spent = min(best, seconds), spent + seconds
        if spent > budget:
            break
    return best, result


def cpu_model():
    model, flags = platform.processor() or "unknown", ""
    try:
        with open("/proc/cpuinfo") as info:
            for line in info:
                key, _, value = line.partition(":")
                if key.strip() == "model name" and model in ("unknown", "", platform.machine()):
                    model = value.strip()
                if key.strip() == "flags" and not flags:
                    flags = value
    except OSError:
        pass
    wide = [f for f in ("avx512f", "avx2", "fma") if f in flags.split()]
    return model, wide


# --- the contestants ------------------------------------------------------
# Each maker takes (dims count, grid, thread count) and returns a function
# computing the whole grid, and the number of values it computes, or raises
# when the package has no such path.

def veldra_table(veldra):
    def make(n, grid, threads):
        field = veldra.Instance(grid["dims"], seed=1)
        count = 1
        for extent in field.table_shape(grid["divisors"]):
            count *= extent
        return (lambda: field.table(grid["divisors"])), count
    return make


def peer_noise(n, grid, threads):
    import noise
    grid = SMALL_GRIDS[n]
    side = grid["side"] - 1
    step = 1.0 / grid["cell"]
    points = [i * step for i in range(side)]
    if n == 2:
        f = noise.pnoise2
        return (lambda: [f(x, y) for x in points for y in points]), side ** 2
    if n == 3:
        f = noise.pnoise3
        return (lambda: [f(x, y, z) for x in points for y in points for z in points]), side ** 3
    f = noise.snoise4  # no 4-D Perlin; simplex is the 4-D path
    return (lambda: [f(x, y, z, w) for x in points for y in points for z in points
                     for w in points]), side ** 4


def peer_opensimplex(n, grid, threads):
    import numpy as np
    import opensimplex
    opensimplex.seed(1)
    axis = np.arange(grid["side"], dtype=np.float64) / grid["cell"]
    f = {2: opensimplex.noise2array, 3: opensimplex.noise3array, 4: opensimplex.noise4array}[n]
    return (lambda: f(*([axis] * n))), grid["side"] ** n


def peer_pyfastnoiselite(n, grid, threads):
    import numpy as np
    from pyfastnoiselite.pyfastnoiselite import FastNoiseLite, NoiseType
    if n == 4:
        raise LookupError("no 4-D noise")
    generator = FastNoiseLite(1)
    generator.noise_type = NoiseType.NoiseType_Perlin
    generator.frequency = 1.0 / grid["cell"]
    axis = np.arange(grid["side"], dtype=np.float32)
    coords = np.ascontiguousarray(
        np.stack([c.ravel() for c in np.meshgrid(*([axis] * n), indexing="ij")]), dtype=np.float32)
    return (lambda: generator.gen_from_coords(coords)), coords.shape[1]


def peer_pyfastnoisesimd(n, grid, threads):
    import numpy as np
    if not hasattr(np, "product"):
        np.product = np.prod  # the package still calls numpy's old name
    import pyfastnoisesimd as fns
    if n == 4:
        raise LookupError("no 4-D noise")
    generator = fns.Noise(seed=1, numWorkers=threads)
    generator.noiseType = fns.NoiseType.Perlin
    generator.frequency = 1.0 / grid["cell"]
    # Its grids must be a whole number of SIMD registers: side - 1 per axis.
    side = grid["side"] - 1
    shape = [1, side, side] if n == 2 else [side] * 3
    return (lambda: generator.genAsGrid(shape=shape)), side ** n


def peer_perlin_numpy(n, grid, threads):
    import numpy as np
    from perlin_numpy import generate_perlin_noise_2d, generate_perlin_noise_3d
    if n == 4:
        raise LookupError("no 4-D noise")
    # The grid must be a whole number of cells: side - 1 samples per axis.
    cells = grid["dims"]
    shape = tuple((grid["side"] - 1,) * n)
    rng = np.random.default_rng(1)
    f = generate_perlin_noise_2d if n == 2 else generate_perlin_noise_3d
    return (lambda: f(shape, tuple(cells), rng=rng)), (grid["side"] - 1) ** n


def peer_vnoise(n, grid, threads):
    import numpy as np
    import vnoise
    if n == 4:
        raise LookupError("no 4-D noise")
    generator = vnoise.Noise(1)
    axis = np.arange(grid["side"], dtype=np.float64) / grid["cell"]
    f = generator.noise2 if n == 2 else generator.noise3
    return (lambda: f(*([axis] * n), grid_mode=True)), grid["side"] ** n


def peer_pythonperlin(n, grid, threads):
    from pythonperlin import perlin
    grid = SMALL_GRIDS[n]
    shape = tuple(grid["dims"])
    return (lambda: perlin(shape, dens=grid["cell"], seed=1)), (
        (grid["side"] - 1) ** n)


PEERS = [
    ("noise", "noise", peer_noise),
    ("opensimplex", "opensimplex", peer_opensimplex),
    ("pyfastnoiselite", "pyfastnoiselite", peer_pyfastnoiselite),
    ("pyfastnoisesimd", "pyfastnoisesimd", peer_pyfastnoisesimd),
    ("perlin-numpy", "perlin_numpy", peer_perlin_numpy),
    ("vnoise", "vnoise", peer_vnoise),
    ("pythonperlin", "pythonperlin", peer_pythonperlin),
]


def measure_tables(veldra, installed, counts, repeats):
    rows = []
    contestants = [("veldra", None, veldra_table(veldra))] + PEERS
    for n in (2, 3, 4):
        grid = GRIDS[n]
        for threads in counts:
            ours = None
            for name, pip_name, make in contestants:
                row = {"dims": n, "package": name, "threads": threads}
                if pip_name and installed.get(pip_name):
                    row["error"] = "not installed: " + installed[pip_name]
                    rows.append(row)
                    continue
                try:
                    with workers(threads):
                        function, values = make(n, grid, threads)
                        function()  # warm-up: imports, compilation, caches
                        seconds, _ = timed(function, repeats, budget=10.0)
                except LookupError as missing:
                    row["error"] = str(missing)
                    rows.append(row)
                    continue
                except Exception as failure:  # a peer's own failure is reported, not fatal
                    row["error"] = f"{type(failure).__name__}: {failure}"
                    rows.append(row)
                    continue
                row.update(values=values, seconds=seconds, per_second=values / seconds)
                if name == "veldra":
                    ours = row["per_second"]
                row["veldra_ratio"] = ours / row["per_second"] if ours else None
                rows.append(row)
                print(f"  {n}-D {name:16} threads {threads}: {row['per_second'] / 1e6:9.2f} M/s",
                      flush=True)
    return rows


def measure_renderings(veldra, counts, repeats):
    Instance, Renderer = veldra.Instance, veldra.Renderer
    flat = Renderer(Instance([8, 8], seed=1))
    colour = Renderer(Instance([8, 8, 2], seed=1))
    height = Renderer(Instance([32, 32], seed=1))
    sphere = Renderer(Instance([4, 4, 4, 4], seed=1))
    cases = [
        ("grayscale 2049x2049", lambda: flat.grayscale([256, 256])),
        ("colored 2049x2049", lambda: flat.colored([256, 256], veldra.Palette.TERRAIN)),
        ("rgb_channels 1025x1025x5", lambda: colour.rgb_channels([128, 128, 2])),
        ("rgb_palette 1025x1025x5", lambda: colour.rgb_palette([128, 128, 2], 2,
                                                               veldra.Palette.HEAT)),
        ("relief 1025x1025", lambda: height.relief([32, 32])),
        ("globe 1024x1024 samples=2", lambda: sphere.globe(1024, 1024, veldra.Globe(samples=2))),
        ("hair 1024x1024 default", lambda: flat.hair(1024, 1024)),
    ]
    rows = []
    for name, render in cases:
        single = None
        for threads in counts:
            with workers(threads):
                seconds, image = timed(render, repeats, budget=20.0)
            single = single or seconds
            rows.append({"rendering": name, "threads": threads, "seconds": seconds,
                         "pixels": image.width * image.height, "speedup": single / seconds})
            print(f"  {name:28} threads {threads}: {seconds:8.3f} s", flush=True)
    return rows


def print_tables(rows, counts):
    print()
    print(f"{'grid':5} {'package':16} " + " ".join(
        f"{f'{t} thr M/s':>12} {'veldra x':>9}" for t in counts))
    for n in (2, 3, 4):
        for name in ["veldra"] + [p[0] for p in PEERS]:
            cells = []
            for threads in counts:
                row = next(r for r in rows if r["dims"] == n and r["package"] == name
                           and r["threads"] == threads)
                if "error" in row:
                    cells.append(f"{'-':>12} {'-':>9}")
                else:
                    ratio = row["veldra_ratio"]
                    cells.append(f"{row['per_second'] / 1e6:12.2f} "
                                 f"{(f'{ratio:.1f}' if ratio else '-'):>9}")
            print(f"{n}-D   {name:16} " + " ".join(cells))
    errors = {(r["package"], r["dims"]): r["error"] for r in rows if "error" in r}
    for (name, n), error in sorted(errors.items()):
        print(f"  {name} {n}-D: {error}")


def print_renderings(rows):
    print()
    print(f"{'rendering':28} {'threads':>7} {'seconds':>8} {'ns/pixel':>9} {'speed-up':>8}")
    for row in rows:
        print(f"{row['rendering']:28} {row['threads']:7} {row['seconds']:8.3f} "
              f"{row['seconds'] / row['pixels'] * 1e9:9.1f} {row['speedup']:8.2f}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--no-install", action="store_true", help="do not run pip")
    parser.add_argument("--quick", action="store_true", help="one run per measurement")
    parser.add_argument("--json", default=os.path.join(HERE, "results", "peers.json"))
    args = parser.parse_args()

    installed = ({pip_name: None for pip_name, _ in PACKAGES} if args.no_install
                 else install(PACKAGES))
    for pip_name, module in PACKAGES:
        if installed.get(pip_name) is None:
            try:
                importlib.import_module(module)
            except Exception as failure:
                installed[pip_name] = f"cannot import: {failure}"
    veldra = import_veldra()
    available = len(os.sched_getaffinity(0))
    counts = [1] if available == 1 else [1, available]
    repeats = 1 if args.quick else 5
    model, wide = cpu_model()
    print(f"{model}, {available} processors, {' '.join(wide) or 'no AVX2'}; "
          f"Python {platform.python_version()}")

    print("tables:")
    tables = measure_tables(veldra, installed, counts, repeats)
    print("renderings:")
    renderings = measure_renderings(veldra, counts, min(repeats, 3))
    print_tables(tables, counts)
    print_renderings(renderings)

    os.makedirs(os.path.dirname(os.path.abspath(args.json)), exist_ok=True)
    with open(args.json, "w") as out:
        json.dump({"cpu": model, "vector_extensions": wide, "processors": available,
                   "python": platform.python_version(), "date": time.strftime("%Y-%m-%d"),
                   "grids": GRIDS, "small_grids": SMALL_GRIDS,
                   "installed": installed, "tables": tables, "renderings": renderings},
                  out, indent=1)
    print(f"\nwritten {args.json}")


if __name__ == "__main__":
    main()
