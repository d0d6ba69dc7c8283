import contextlib
import os

import pytest


@contextlib.contextmanager
def pinned_to_one_cpu():
    """Runs the block with this thread allowed on a single CPU, so every
    worker count the library derives from the affinity becomes 1."""
    allowed = os.sched_getaffinity(0)
    os.sched_setaffinity(0, {min(allowed)})
    try:
        yield
    finally:
        os.sched_setaffinity(0, allowed)


@pytest.fixture
def one_cpu():
    return pinned_to_one_cpu


@pytest.fixture(scope="session")
def many_cpus():
    if len(os.sched_getaffinity(0)) < 2:
        pytest.skip("needs at least two CPUs to compare with one")
