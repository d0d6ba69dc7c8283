"""veldra.dask beyond one process's memory.

    python bench/dask_scale.py [--side 65537] [--relief 32769] [--json PATH]

Two measurements, each side by side in this run:

1. reduction: the 2-D table of Field([1024, 1024], octaves=8) cut [64, 64]
   times (65537 x 65537 float64 values, 34 GB) reduced to its min, max,
   mean and a 64-bin histogram, (a) in this process, one table_region call
   per 4096 x 4096 chunk and numpy's reductions, and (b) with vd.table on a
   two-process LocalCluster (one thread each). It reports values per second
   of both, their ratio, and the peak resident memory (the kernel's
   high-water mark) of this process and of each worker process. The two results must agree: min, max and
   histogram exactly, the mean to rounding.
2. relief: vd.write_png(vd.relief(...)) of a 32769 x 32769 map on dask's
   threads, against Renderer.relief + Image.write_png of a size that fits
   in memory here with room to spare (16385 x 16385), and against the
   streamed writer at that same size; each in a process of its own, whose
   peak resident memory (the kernel's high-water mark) is reported.
3. cluster (with --before DIR): vd.write_png(vd.relief(...)) of the 16385 x
   16385 map on a two-process LocalCluster (one thread each), under the
   build staged in DIR and under this one (or --after DIR), in alternating
   child processes (--rounds times each). It reports the wall time, the
   client process's CPU time (it also runs the scheduler) and the workers',
   and, for the bound, the time of rendering the bands alone on the cluster
   (the value range and every band's pixels, none sent to the client).

--side, --relief and --cluster shrink the sizes for a quick run; 0 skips a
part. The results are merged into the JSON file, part by part.
"""

import argparse
import functools
import json
import os
import platform
import resource
import subprocess
import sys
import tempfile
import time

import numpy as np

import dask
import dask.array as da
from distributed import Client, LocalCluster

import veldra
import veldra.dask as vd

HERE = os.path.dirname(os.path.abspath(__file__))
BINS, RANGE = 64, (-1.0, 1.0)
GIB = 2.0**30


def reduce_in_process(field, divisors, chunk):
    """min, max, mean and histogram of the table, chunk by chunk in this process."""
    side = field.table_shape(divisors)[0]
    lo, hi, total, counts = np.inf, -np.inf, 0.0, np.zeros(BINS, np.int64)
    for row in range(0, side, chunk):
        for col in range(0, side, chunk):
            shape = [min(chunk, side - row), min(chunk, side - col)]
            values = np.asarray(field.table_region(divisors, [row, col], shape))
            lo, hi = min(lo, values.min()), max(hi, values.max())
            total += values.sum()
            counts += np.histogram(values, bins=BINS, range=RANGE)[0]
    return float(lo), float(hi), total / side**2, counts


def reduce_on_cluster(field, divisors, chunk):
    heights = vd.table(field, divisors, chunks=chunk)
    lo, hi, mean, counts = dask.compute(heights.min(), heights.max(), heights.mean(),
                                        da.histogram(heights, bins=BINS, range=RANGE)[0])
    return float(lo), float(hi), float(mean), counts


def reduction(side, chunk):
    field = veldra.Field([1024, 1024], seed=7, octaves=8)
    divisor = (side - 1) // 1024
    divisors = [divisor, divisor]
    values = field.table_shape(divisors)[0] * field.table_shape(divisors)[1]
    print(f"reduction of a {field.table_shape(divisors)} float64 table "
          f"({values * 8 / GIB:.1f} GiB), chunks of {chunk}")

    started = time.perf_counter()
    local = reduce_in_process(field, divisors, chunk)
    local_seconds = time.perf_counter() - started
    own_peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024 / GIB
    print(f"  in process: {local_seconds:.1f} s, {values / local_seconds / 1e6:.0f} M values/s, "
          f"peak {own_peak:.2f} GiB")

    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True, host="127.0.0.1",
                      dashboard_address=None, memory_limit="4GiB") as cluster, \
            Client(cluster) as client:
        started = time.perf_counter()
        spread = reduce_on_cluster(field, divisors, chunk)
        cluster_seconds = time.perf_counter() - started
        # The kernel's high-water mark of each worker process, which lived for this run only.
        high_water = client.run(lambda: resource.getrusage(resource.RUSAGE_SELF).ru_maxrss)
    peaks = [kib * 1024 / GIB for kib in high_water.values()]
    print(f"  2-process cluster: {cluster_seconds:.1f} s, "
          f"{values / cluster_seconds / 1e6:.0f} M values/s, "
          f"peak per worker {', '.join(f'{p:.2f}' for p in peaks)} GiB")
    ratio = local_seconds / cluster_seconds
    print(f"  throughput cluster / in process: {ratio:.2f}")
    agree = bool(local[0] == spread[0] and local[1] == spread[1]
             and np.array_equal(local[3], spread[3]) and abs(local[2] - spread[2]) < 1e-12)
    print(f"  results agree: {agree} (min {spread[0]:.6f}, max {spread[1]:.6f}, mean {spread[2]:.3e})")
    return {"side": side, "chunk": chunk, "in_process_s": local_seconds,
            "cluster_s": cluster_seconds, "throughput_ratio": ratio,
            "worker_peak_gib": peaks, "in_process_peak_gib": own_peak,
            "results_agree": agree}


def relief_child(kind, size, chunk, path):
    """One relief in this process: its time, peak memory and file size."""
    field = veldra.Field([64, 64], seed=7, octaves=8)
    settings = veldra.Relief(shape=veldra.Shape.SMOOTH, palette=veldra.Palette.TERRAIN)
    divisor = (size - 1) // 64
    started = time.perf_counter()
    if kind == "in memory":
        veldra.Renderer(field).relief([divisor, divisor], settings).write_png(path)
    else:
        with dask.config.set(scheduler="threads"):
            vd.write_png(vd.relief(field, [divisor, divisor], settings, chunks=chunk), path)
    seconds = time.perf_counter() - started
    pixels = (64 * divisor + 1) ** 2
    return {"kind": kind, "side": 64 * divisor + 1, "seconds": seconds,
            "ns_per_pixel": seconds / pixels * 1e9,
            "peak_gib": resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024 / GIB,
            "png_bytes": os.path.getsize(path)}


def relief(side, chunk, in_memory_side):
    rows, paths = [], []
    folder = tempfile.mkdtemp(prefix="veldra-bench-")
    for kind, size in [("in memory", in_memory_side), ("streamed", in_memory_side),
                       ("streamed", side)]:
        if size == 0:
            continue
        path = os.path.join(folder, f"{kind}-{size}.png".replace(" ", "-"))
        out = subprocess.run([sys.executable, __file__, "--child", kind, str(size), str(chunk), path],
                             check=True, capture_output=True, text=True).stdout
        row = json.loads(out.splitlines()[-1])
        rows.append(row)
        paths.append(path)
        print(f"relief {kind} {row['side']}^2: {row['seconds']:.1f} s "
              f"({row['ns_per_pixel']:.1f} ns/pixel), peak {row['peak_gib']:.2f} GiB, "
              f"{row['png_bytes'] / 2**20:.0f} MiB of PNG")
        if kind == "streamed" and size == in_memory_side and rows[0]["kind"] == "in memory":
            with open(path, "rb") as streamed, open(paths[0], "rb") as whole:
                row["same_bytes_as_in_memory"] = streamed.read() == whole.read()
            print(f"  same bytes as the in-memory file: {row['same_bytes_as_in_memory']}")
    for path in paths:
        os.remove(path)
    os.rmdir(folder)
    return rows


def cpu_seconds():
    usage = resource.getrusage(resource.RUSAGE_SELF)
    return usage.ru_utime + usage.ru_stime


def cluster_child(size, chunk, path):
    """One relief written on a two-process cluster: wall time, the client's
    CPU time against the workers', and the time of rendering it alone."""
    field = veldra.Field([64, 64], seed=7, octaves=8)
    settings = veldra.Relief(shape=veldra.Shape.SMOOTH, palette=veldra.Palette.TERRAIN)
    divisor = (size - 1) // 64
    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True, host="127.0.0.1",
                      dashboard_address=None, memory_limit="6GiB") as cluster, \
            Client(cluster) as client:
        workers_before, client_before = client.run(cpu_seconds), cpu_seconds()
        started = time.perf_counter()
        vd.write_png(vd.relief(field, [divisor, divisor], settings, chunks=chunk), path)
        seconds = time.perf_counter() - started
        client_cpu = cpu_seconds() - client_before
        workers_cpu = sum(client.run(cpu_seconds).values()) - sum(workers_before.values())
        workers_before, started = client.run(cpu_seconds), time.perf_counter()
        pixels = vd.relief(field, [divisor, divisor], settings, chunks=chunk)
        pixels[::chunk, ::chunk].compute()  # each chunk rendered on a worker, one pixel sent
        render_seconds = time.perf_counter() - started
        render_cpu = sum(client.run(cpu_seconds).values()) - sum(workers_before.values())
    return {"side": 64 * divisor + 1, "seconds": seconds, "client_cpu_s": client_cpu,
            "workers_cpu_s": workers_cpu, "client_share": client_cpu / (client_cpu + workers_cpu),
            "render_alone_s": render_seconds, "render_alone_cpu_s": render_cpu, "png_bytes": os.path.getsize(path),
            "package": os.path.dirname(veldra.__file__)}


def cluster(size, chunk, builds, rounds):
    """The cluster relief under each build in turn, ``rounds`` times."""
    rows = {name: [] for name in builds}
    folder = tempfile.mkdtemp(prefix="veldra-bench-")
    path = os.path.join(folder, "cluster.png")
    for _ in range(rounds):
        for name, package in builds.items():
            environment = dict(os.environ)
            if package:
                environment["PYTHONPATH"] = os.pathsep.join(
                    [os.path.abspath(package)] + environment.get("PYTHONPATH", "").split(os.pathsep))
            out = subprocess.run([sys.executable, __file__, "--child", "cluster", str(size),
                                  str(chunk), path], check=True, capture_output=True, text=True,
                                 env=environment).stdout
            row = json.loads(out.splitlines()[-1])
            rows[name].append(row)
            print(f"cluster relief {row['side']}^2, {name}: {row['seconds']:.1f} s, CPU client "
                  f"{row['client_cpu_s']:.1f} s / workers {row['workers_cpu_s']:.1f} s "
                  f"(client {row['client_share']:.1%}); rendering alone "
                  f"{row['render_alone_s']:.1f} s, workers CPU {row['render_alone_cpu_s']:.1f} s; {row['png_bytes'] / 2**20:.0f} MiB", flush=True)
            os.remove(path)
    os.rmdir(folder)
    best = {name: min(row["seconds"] for row in runs) for name, runs in rows.items()}
    if "before" in best:
        print(f"  after / before speed: {best['before'] / best['after']:.2f}x (best of {rounds})")
    return rows


def processor():
    try:
        with open("/proc/cpuinfo") as info:
            return next(line.split(":", 1)[1].strip() for line in info if line.startswith("model name"))
    except (OSError, StopIteration):
        return platform.processor() or platform.machine()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--side", type=int, default=65537)
    parser.add_argument("--chunk", type=int, default=4096)
    parser.add_argument("--relief", type=int, default=32769)
    parser.add_argument("--relief-chunk", type=int, default=2048)
    parser.add_argument("--in-memory", type=int, default=16385)
    parser.add_argument("--cluster", type=int, default=16385)
    parser.add_argument("--before", help="a staged package of the build to compare with")
    parser.add_argument("--after", help="a staged package (default: the veldra imported here)")
    parser.add_argument("--rounds", type=int, default=1)
    parser.add_argument("--json", default=os.path.join(HERE, "results", "dask_scale.json"))
    parser.add_argument("--child", nargs=4, help=argparse.SUPPRESS)  # kind size chunk path
    options = parser.parse_args()
    if options.child:
        kind, size, chunk, path = options.child
        child = cluster_child if kind == "cluster" else functools.partial(relief_child, kind)
        print(json.dumps(child(int(size), int(chunk), path)))
        return 0
    result = {}
    if os.path.exists(options.json):
        with open(options.json) as previous:
            result = json.load(previous)
    result.update({"processor": processor(),
                   "cpus": len(os.sched_getaffinity(0))})
    if options.side:
        result["reduction"] = reduction(options.side, options.chunk)
    if options.relief or options.in_memory:
        result["relief"] = relief(options.relief, options.relief_chunk, options.in_memory)
    if options.cluster and options.before:
        result["cluster"] = cluster(options.cluster, options.relief_chunk,
                                    {"before": options.before, "after": options.after},
                                    options.rounds)
    with open(options.json, "w") as out:
        json.dump(result, out, indent=2)
    return 0


if __name__ == "__main__":
    sys.exit(main())
