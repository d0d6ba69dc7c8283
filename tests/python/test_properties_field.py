"""Property tests of Instance and Table: for any arguments, each call either
returns a result with the promised invariants or raises the promised
exception with the promised message."""

import math

from hypothesis import assume, given
from hypothesis import strategies as st

from contract import (Refusal, expect_field, expect_floats, expect_layout, expect_u64,
                      expect_u64s, memory_class, outcome, plain_float)
from values import EDGE_FLOATS, any_floats, bounded, sequence_or_junk, u64_or_junk
from veldra import Instance

cells = st.integers(1, 4)
small_dims = st.lists(cells, min_size=1, max_size=4)
dims_args = st.one_of(small_dims, small_dims, sequence_or_junk(u64_or_junk(cells), max_size=18))
seed_args = u64_or_junk(st.integers(0, 2**64 - 1))


def corners_cost(count, n):
    """Evaluations of `count` points in n dimensions visit 2^n corners each."""
    return count << n


def built(dims, seed):
    """The field for (dims, seed) as the model sees it, or a Refusal."""
    converted = expect_u64s(dims, "dims")
    seed = expect_u64(seed, "seed")
    intersections = expect_field(converted)
    size = memory_class(intersections * len(converted), 8)
    assume(size != "costly")
    if size == "impossible":
        raise Refusal(MemoryError)
    return converted, seed


@bounded
@given(dims=dims_args, seed=seed_args)
def test_construction_returns_the_promised_field_or_refuses(dims, seed):
    result = outcome(lambda: built(dims, seed), Instance, dims, seed)
    if result is None:
        return
    (converted, seed), field = result
    assert field.dims == converted
    assert field.shape == [d + 1 for d in converted]
    assert field.intersections == math.prod(d + 1 for d in converted)
    assert field.seed == seed
    assert repr(field) == f"Instance(dims={converted}, seed={seed})"
    again = Instance(converted, seed)
    corner = [0] * len(converted)
    assert field.gradient(corner) == again.gradient(corner)


def a_field():
    return st.builds(Instance, small_dims, st.integers(0, 2**64 - 1))


coordinates = st.one_of(st.floats(0, 4), st.integers(0, 4), st.sampled_from(EDGE_FLOATS), any_floats)


@bounded
@given(field=a_field(), point=sequence_or_junk(coordinates))
def test_noise_and_force_stay_within_their_bounds(field, point):
    n = len(field.dims)

    def model():
        converted = expect_floats(point, "point")
        if len(converted) != n:
            raise Refusal(ValueError, f"Expected {n} coordinates, got {len(converted)}")
        for i, (x, d) in enumerate(zip(converted, field.dims)):
            if not 0 <= x <= d:
                raise Refusal(ValueError, f"Coordinate {i} is {plain_float(x)}, outside the boundary [0, {d}]")
        return converted

    noise = outcome(model, field.noise, point)
    force = outcome(model, field.force, point)
    assert (noise is None) == (force is None)
    if noise is None:
        return
    converted, value = noise
    assert isinstance(value, float) and abs(value) <= math.sqrt(n)
    assert field.noise(converted) == value  # the same point gives the same bits
    pull = force[1]
    assert len(pull) == n and math.hypot(*pull) <= 1 + 1e-12
    if all(float(x).is_integer() for x in converted):
        assert value == 0.0
        assert pull == field.gradient([int(x) for x in converted])


indices = st.one_of(st.integers(0, 5), st.sampled_from([2**63, 2**64 - 1]))


@bounded
@given(field=a_field(), index=sequence_or_junk(u64_or_junk(indices)))
def test_gradient_is_a_unit_vector_or_none(field, index):
    def model():
        converted = expect_u64s(index, "index")
        inside = len(converted) == len(field.dims) and all(i <= d for i, d in zip(converted, field.dims))
        return inside

    result = outcome(model, field.gradient, index)
    if result is None:
        return
    inside, gradient = result
    if not inside:
        assert gradient is None
        return
    assert len(gradient) == len(field.dims)
    assert math.isclose(math.hypot(*gradient), 1.0, rel_tol=1e-12)


divisor_values = st.one_of(st.integers(1, 4), st.sampled_from([2**8, 2**32, 2**63, 2**64 - 1]))
divisors_args = st.one_of(st.lists(st.integers(1, 4), min_size=1, max_size=4),
                          sequence_or_junk(u64_or_junk(divisor_values)))


def table_model(field, divisors, values=True):
    converted = expect_u64s(divisors, "divisors")
    shape = expect_layout(field.dims, converted)
    count = math.prod(shape)
    if values:
        size = memory_class(count, 8)
        assume(size != "costly" and corners_cost(count, len(shape)) <= 1 << 20)
        if size == "impossible":
            raise Refusal(MemoryError)
    return converted, shape


@bounded
@given(field=a_field(), divisors=divisors_args)
def test_table_shape_and_values_follow_the_divisors(field, divisors):
    shape = outcome(lambda: table_model(field, divisors, values=False), field.table_shape, divisors)
    result = outcome(lambda: table_model(field, divisors), field.table, divisors)
    if result is None:
        return
    (converted, expected_shape), table = result
    assert shape[1] == expected_shape
    assert table.shape == expected_shape
    assert len(table) == math.prod(expected_shape)
    assert repr(table) == f"Table(shape={expected_shape})"
    values = table.values
    n = len(expected_shape)
    assert len(values) == len(table) and all(abs(v) <= math.sqrt(n) for v in values)
    last = [e - 1 for e in expected_shape]
    assert table.get(last) == values[-1]
    assert table.get([0] * n) == values[0] == 0.0
    assert table.get(expected_shape) is None and table.get(last + [0]) is None
    if all(k & (k - 1) == 0 for k in converted):
        # Power-of-two divisors place every sample exactly where noise() looks.
        point = [e // 2 / k for e, k in zip(expected_shape, converted)]
        middle = [e // 2 for e in expected_shape]
        assert table.get(middle) == field.noise(point)


@bounded
@given(field=a_field(), index=sequence_or_junk(u64_or_junk(indices)))
def test_table_get_is_a_value_or_none(field, index):
    table = field.table([2] * len(field.dims))

    def model():
        converted = expect_u64s(index, "index")
        if len(converted) != len(table.shape) or any(i >= e for i, e in zip(converted, table.shape)):
            return None
        flat = 0
        for i, e in zip(converted, table.shape):
            flat = flat * e + i
        return flat

    result = outcome(model, table.get, index)
    if result is not None:
        flat, value = result
        assert value == (None if flat is None else table.values[flat])
