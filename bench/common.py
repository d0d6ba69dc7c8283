"""Timing helpers shared by the benchmarks."""

import contextlib
import os
import time


@contextlib.contextmanager
def workers(count):
    """Limits this thread (and the workers it starts) to `count` CPUs."""
    allowed = sorted(os.sched_getaffinity(0))
    os.sched_setaffinity(0, set(allowed[:count]))
    try:
        yield
    finally:
        os.sched_setaffinity(0, set(allowed))


def best_of(repeats, function):
    """The fastest of `repeats` runs, in seconds, and the last result."""
    best, result = float("inf"), None
    for _ in range(repeats):
        start = time.perf_counter()
        result = function()
        best = min(best, time.perf_counter() - start)
    return best, result


def worker_counts():
    available = len(os.sched_getaffinity(0))
    return [1] if available == 1 else [1, available]
