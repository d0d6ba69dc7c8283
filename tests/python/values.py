"""Hypothesis strategies for arguments: mostly values a parameter accepts,
often values at and beyond its edges, and values of every wrong type."""

import os
import pathlib

from hypothesis import HealthCheck, settings
from hypothesis import strategies as st

# Every property test runs a fixed number of examples, derandomized, so a CI
# run is the same as the one before it and cannot flake. VELDRA_EXAMPLES asks
# for more in a deeper run by hand.
bounded = settings(
    max_examples=int(os.environ.get("VELDRA_EXAMPLES", "60")),
    deadline=None,
    derandomize=True,
    database=None,
    suppress_health_check=[HealthCheck.too_slow, HealthCheck.filter_too_much, HealthCheck.data_too_large],
)

EDGE_INTS = [-(2**64), -(2**63), -1, 2**31, 2**32, 2**63 - 1, 2**63, 2**64 - 1, 2**64, 2**100]
EDGE_FLOATS = [0.0, -0.0, 5e-324, -5e-324, 2.2250738585072014e-308, 1e-5, 0.5, 1.0, 1e16, 1e308,
               -1e308, float("inf"), float("-inf"), float("nan")]


class Indexable:
    """Not an int, but an integer through __index__ (and a float through it)."""

    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value

    def __repr__(self):
        return f"Indexable({self.value})"


class FloatLike:
    def __init__(self, value):
        self.value = value

    def __float__(self):
        return self.value

    def __repr__(self):
        return f"FloatLike({self.value})"


class LyingLength:
    """A sequence whose __len__ fails or lies; only iteration counts."""

    def __init__(self, items, length):
        self.items = items
        self.length = length

    def __len__(self):
        if self.length is None:
            raise RuntimeError("no length")
        return self.length

    def __getitem__(self, i):
        return self.items[i]

    def __repr__(self):
        return f"LyingLength({self.items}, {self.length})"


junk = st.one_of(
    st.none(),
    st.text(max_size=3),
    st.sets(st.integers(0, 3), max_size=2),
    st.dictionaries(st.integers(0, 3), st.integers(0, 3), max_size=2),
    st.complex_numbers(max_magnitude=4),
    st.just(object()),
    st.just(pathlib.Path("x")),
    st.builds(FloatLike, st.floats(allow_nan=True)),
)

small_ints = st.integers(0, 6)
any_ints = st.one_of(st.integers(-5, 300), st.integers(-(2**70), 2**70), st.sampled_from(EDGE_INTS), st.booleans())
any_floats = st.one_of(st.floats(allow_nan=True, allow_infinity=True, allow_subnormal=True),
                       st.sampled_from(EDGE_FLOATS))

# Anything at all for a single parameter.
anything = st.one_of(any_ints, any_floats, junk, st.builds(Indexable, st.integers(-2, 2**65)))


def sequences_of(items, max_size=5):
    """A list, tuple or lying sequence of `items`; for integers also range
    and bytes forms."""
    lists = st.lists(items, max_size=max_size)
    return st.one_of(
        lists,
        lists.map(tuple),
        st.builds(LyingLength, lists, st.one_of(st.none(), st.integers(0, 2**62))),
    )


def sequence_or_junk(items, max_size=5):
    return st.one_of(sequences_of(items, max_size), sequences_of(anything, max_size), anything)


def u64_or_junk(valid=small_ints):
    return st.one_of(valid, valid, any_ints, anything)
