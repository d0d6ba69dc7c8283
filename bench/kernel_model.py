"""Cycles per table value of the fill's cell kernels on processor models.

    python bench/kernel_model.py [--cpu znver4 --cpu znver1 ...]

Compiles src/table/table_fill_{sse2,avx2,avx512}.cpp to assembly with the project's flags, finds
the hot loop of every cell kernel (one per instruction set, number of corner
prefixes and way of forming the corner weights), and has llvm-mca simulate
it on each processor model named (by default Zen 4, which has AVX-512, and
Zen 1, the development machine). It prints the cycles each loop iteration
takes and the cycles per value: an iteration computes two registers of
values (4, 8 or 16 values for SSE2, AVX2 and AVX-512). The model assumes
every load hits the L1 cache and leaves out the walk between cells, so a
real fill takes longer; it tells how close the kernel comes to the
processor's arithmetic peak on machines that are not at hand.

llvm-mca comes with Debian's llvm packages (llvm-mca-19 with clang-19).
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# Instruction set of a kernel struct, the doubles per register, and the
# models that can run it.
KERNELS = {
    "CellsSse2": ("sse2", 2),
    "CellsAvx2": ("avx2", 4),
    "CellsAvx512": ("avx512", 8),
}
BLOCKS = 2  # registers per iteration
AVX512_MODELS = {"znver4", "znver5", "skylake-avx512", "icelake-server", "sapphirerapids"}

# A corner-prefix count is the number of corners on one side of the last
# axis: 2 for 2-D tables, 4 for 3-D, 8 for 4-D.
DIMS_OF_PREFIXES = {1: "1-D", 2: "2-D", 4: "3-D", 8: "4-D"}


def find_tool(names):
    for name in names:
        if shutil.which(name):
            return name
    return None


def assembly(compiler, source):
    with tempfile.TemporaryDirectory() as scratch:
        out = os.path.join(scratch, "fill.s")
        subprocess.run([compiler, "-O3", "-DNDEBUG", "-std=c++23", "-ffp-contract=off",
                        "-fno-fast-math", "-I", os.path.join(ROOT, "src"), "-S", source,
                        "-o", out], check=True)
        with open(out) as text:
            return text.read().splitlines()


def demangle(symbols):
    run = subprocess.run(["c++filt"], input="\n".join(symbols), capture_output=True, text=True,
                         check=True)
    return run.stdout.splitlines()


def kernel_loops(lines):
    """Yields (struct, prefixes, weighted, loop lines) for each cell kernel:
    the first loop of the function that jumps back, without directives."""
    starts = [i for i, line in enumerate(lines)
              if line.startswith("_Z") and line.endswith(":") and "Cells" in line]
    names = demangle([lines[i][:-1] for i in starts])
    for start, name in zip(starts, names):
        found = re.search(r"(Cells\w+)::fill<(\d+)ul, (true|false)>", name)
        if not found:
            continue
        end = next(i for i in range(start + 1, len(lines)) if lines[i].strip().startswith(".size"))
        labels = {}
        for i in range(start, end):
            label = re.match(r"^(\.L\d+):", lines[i])
            if label:
                labels[label.group(1)] = i
        for i in range(start, end):
            jump = re.match(r"^\s+j\w+\s+(\.L\d+)$", lines[i])
            if jump and labels.get(jump.group(1), end) < i:
                body = [line for line in lines[labels[jump.group(1)] + 1:i + 1]
                        if not line.lstrip().startswith((".", "#")) and not line.startswith(".L")]
                yield found.group(1), int(found.group(2)), found.group(3) == "true", body
                break


def simulate(mca, cpu, body, iterations=500):
    with tempfile.NamedTemporaryFile("w", suffix=".s") as loop:
        loop.write("\n".join(body) + "\n")
        loop.flush()
        run = subprocess.run([mca, f"-mcpu={cpu}", f"-iterations={iterations}", loop.name],
                             capture_output=True, text=True)
    total = re.search(r"Total Cycles:\s+(\d+)", run.stdout)
    return int(total.group(1)) / iterations if total else None


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--cpu", action="append", help="llvm-mca processor model (repeatable)")
    parser.add_argument("--cxx", default=os.environ.get("CXX", "g++"))
    args = parser.parse_args()
    cpus = args.cpu or ["znver4", "znver1"]
    # The newest first: older releases lack the Zen 4 model.
    mca = find_tool([f"llvm-mca-{v}" for v in range(22, 15, -1)] + ["llvm-mca"])
    if not mca:
        sys.exit("llvm-mca not found: apt-get install llvm (or llvm-19)")
    lines = []
    for simd in ("sse2", "avx2", "avx512"):
        lines += assembly(args.cxx, os.path.join(ROOT, "src", "table", f"table_fill_{simd}.cpp"))
    rows = []
    for struct, prefixes, weighted, body in kernel_loops(lines):
        if prefixes == 0:
            continue  # the general kernel's loop runs per corner, not per value
        simd, lanes = KERNELS[struct]
        for cpu in cpus:
            if simd == "avx512" and cpu not in AVX512_MODELS:
                continue
            cycles = simulate(mca, cpu, body)
            if cycles is not None:
                rows.append((cpus.index(cpu), lanes, prefixes, weighted, cpu, simd, len(body),
                             cycles, cycles / (BLOCKS * lanes)))
    print(f"{'model':8} {'simd':7} {'table':6} {'weights':8} {'insns':>6} "
          f"{'cycles/iter':>12} {'cycles/value':>13}")
    for *_, prefixes, weighted, cpu, simd, insns, cycles, per_value in sorted(rows):
        print(f"{cpu:8} {simd:7} {DIMS_OF_PREFIXES[prefixes]:6} "
              f"{'formed' if weighted else 'in-lane':8} {insns:6} {cycles:12.1f} {per_value:13.2f}")

if __name__ == "__main__":
    main()
