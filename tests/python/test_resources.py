"""Requests whose memory cannot be had raise MemoryError at once, on one CPU
as on all of them, and running out of memory halfway never ends the
process."""

import os
import subprocess
import sys
import textwrap
import time

import pytest

from veldra import Globe, Hair, Instance, Palette, Renderer

FLAT = Renderer(Instance([1, 1]))
COLOUR = Renderer(Instance([1, 1, 1]))
SPHERE = Renderer(Instance([1, 1, 1, 1]))
HUGE = 2**31

# Each needs far more memory than any machine has (the sizes still fit in
# 64 bits, so they are no overflow errors but memory requests).
IMPOSSIBLE = {
    "field of 2^40 cells": lambda: Instance([2**40]),
    "field of 2^63 intersections": lambda: Instance([2**21 - 1] * 3),
    "table of 2^62 values": lambda: Instance([1, 1]).table([HUGE, HUGE]),
    "greyscale": lambda: FLAT.grayscale([HUGE, HUGE]),
    "palette image": lambda: FLAT.colored([HUGE, HUGE], Palette.HEAT),
    "relief": lambda: FLAT.relief([HUGE, HUGE]),
    "three slices": lambda: COLOUR.rgb_channels([2**20, 2**20, 2]),
    "chosen slices": lambda: COLOUR.rgb_channels_at([2**20, 2**20, 2], (0, 1, 2)),
    "one slice": lambda: COLOUR.rgb_palette([2**20, 2**20, 2], 0, Palette.HEAT),
    "globe of 2^64 pixels": lambda: SPHERE.globe(2**32, 2**32),
    "globe of 2^44 pixels": lambda: SPHERE.globe(2**44, 1, Globe(samples=1)),
    "hair canvas": lambda: FLAT.hair(2**32, 2**31, Hair(count=0)),
    "hair canvas of one row": lambda: FLAT.hair(2**44, 1, Hair(count=0)),
    "2^62 strands": lambda: FLAT.hair(8, 8, Hair(count=2**62)),
    "2^62 points on one strand": lambda: FLAT.hair(8, 8, Hair(count=1, steps=2**62, jitter=0)),
    "2^62 points on strands grown by workers": lambda: FLAT.hair(8, 8, Hair(count=64, steps=2**62, jitter=0)),
    "every point of 2^64 - 1 steps": lambda: FLAT.hair(8, 8, Hair(count=1, steps=2**64 - 1, jitter=0)),
    "colour map": lambda: FLAT.hair(2**31, 2**30, Hair(count=0, color_from_field=True)),
}

# Generous enough for a slow, sanitized build; an attempt to fill the
# memory would take far longer (or end the process).
PROMPT_SECONDS = 10


@pytest.mark.parametrize("pinned", [False, True], ids=["all CPUs", "one CPU"])
@pytest.mark.parametrize("attempt", list(IMPOSSIBLE.values()), ids=list(IMPOSSIBLE))
def test_an_impossible_attemptraises_memory_error_promptly(attempt, pinned, one_cpu):
    start = time.monotonic()
    if pinned:
        with one_cpu():
            with pytest.raises(MemoryError):
                attempt()
    else:
        with pytest.raises(MemoryError):
            attempt()
    assert time.monotonic() - start < PROMPT_SECONDS


def test_a_table_shape_of_an_impossible_table_costs_nothing():
    assert Instance([1, 1]).table_shape([HUGE, HUGE]) == [HUGE + 1, HUGE + 1]


# Under AddressSanitizer the address space is reserved up front, so an
# address-space limit cannot be set; those runs skip the limited cases.
sanitized = "libasan" in os.environ.get("LD_PRELOAD", "")

LIMITED = {
    "a long point": "big.noise(range(10**8))",
    "a long list of divisors": "big.table_shape(range(1, 2 * 10**7))",
    "a table": "big.table([2, 2])",
    "a relief": "wrapped.relief([2, 2])",
    "a globe": "Renderer(Instance([1, 1, 1, 1])).globe(5000, 5000)",
    "hair strands": "Renderer(Instance([4, 4])).hair(64, 64, Hair(count=3 * 10**6, steps=0))",
    "hair points": "Renderer(Instance([4, 4])).hair(64, 64, Hair(count=2, steps=10**8, jitter=0, force=0))",
}


@pytest.mark.skipif(sanitized, reason="an address-space limit does not work under AddressSanitizer")
@pytest.mark.parametrize("pinned", [False, True], ids=["all CPUs", "one CPU"])
@pytest.mark.parametrize("statement", list(LIMITED.values()), ids=list(LIMITED))
def test_running_out_of_memory_raises_memory_error_and_the_process_goes_on(statement, pinned):
    """With 8 MB of address space left, each statement runs out of memory
    halfway; the process must raise MemoryError and carry on."""
    script = textwrap.dedent(f"""
        import os, resource
        from veldra import Hair, Instance, Renderer
        big = Instance([1000, 1000])
        wrapped = Renderer(big)
        if {pinned}:
            os.sched_setaffinity(0, {{min(os.sched_getaffinity(0))}})
        with open("/proc/self/status") as status:
            size = next(int(line.split()[1]) for line in status if line.startswith("VmSize"))
        resource.setrlimit(resource.RLIMIT_AS, (size * 1024 + (8 << 20), resource.RLIM_INFINITY))
        try:
            {statement}
        except MemoryError:
            print("MemoryError")
        print(Instance([2, 2]).noise([0.5, 0.5]) == Instance([2, 2]).noise([0.5, 0.5]))
    """)
    run = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=120)
    assert run.returncode == 0, run.stderr
    assert run.stdout.split() == ["MemoryError", "True"]
