"""Property tests of Instance, Field and Table: for any arguments, each call either
returns a result with the promised invariants or raises the promised
exception with the promised message."""

import math

from hypothesis import assume, given
from hypothesis import strategies as st

from contract import (Refusal, affordable, expect_field, expect_floats, expect_layout, expect_u64,
                      expect_u64s, outcome, plain_float)
from values import EDGE_FLOATS, any_floats, bounded, sequence_or_junk, u64_or_junk
from veldra import Field, Instance, Shape

cells = st.integers(1, 4)
small_dims = st.lists(cells, min_size=1, max_size=4)
fields = st.builds(Instance, small_dims, st.integers(0, 2**64 - 1))


@bounded
@given(dims=st.one_of(small_dims, sequence_or_junk(u64_or_junk(cells), max_size=18)),
       seed=u64_or_junk(st.integers(0, 2**64 - 1)))
def test_construction_returns_the_promised_field_or_refuses(dims, seed):
    def model():
        converted, s = expect_u64s(dims, "dims"), expect_u64(seed, "seed")
        affordable(expect_field(converted) * len(converted), 8)
        return converted, s

    result = outcome(model, Instance, dims, seed)
    if result is None:
        return
    (converted, seed), field = result
    assert (field.dims, field.shape, field.seed) == (converted, [d + 1 for d in converted], seed)
    assert field.intersections == math.prod(d + 1 for d in converted)
    assert repr(field) == f"Instance(dims={converted}, seed={seed})"
    # The gradients are unit vectors drawn from the seed alone; none lies beyond the lattice.
    gradient = field.gradient(converted)
    assert gradient == Instance(converted, seed).gradient(converted)
    assert len(gradient) == len(converted) and math.isclose(math.hypot(*gradient), 1.0, rel_tol=1e-12)
    assert field.gradient([d + 1 for d in converted]) is None and field.gradient(converted + [0]) is None


coordinates = st.one_of(st.floats(0, 4), st.integers(0, 4), st.sampled_from(EDGE_FLOATS), any_floats)


@bounded
@given(field=fields, point=sequence_or_junk(coordinates))
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


divisor_values = st.one_of(st.integers(1, 4), st.sampled_from([2**8, 2**32, 2**63, 2**64 - 1]))
indices = st.one_of(st.integers(0, 9), st.sampled_from([2**63, 2**64 - 1]))


@bounded
@given(field=fields, divisors=st.one_of(st.lists(st.integers(1, 4), min_size=1, max_size=4),
                                        sequence_or_junk(u64_or_junk(divisor_values))),
       index=sequence_or_junk(u64_or_junk(indices)))
def test_table_shape_values_and_get_follow_the_divisors(field, divisors, index):
    def model(values=True):
        converted = expect_u64s(divisors, "divisors")
        shape = expect_layout(field.dims, converted)
        if values:
            # Each value visits 2^n corners.
            assume(math.prod(shape) << len(shape) <= 1 << 20)
            affordable(math.prod(shape), 8)
        return converted, shape

    shape = outcome(lambda: model(values=False), field.table_shape, divisors)
    result = outcome(model, field.table, divisors)
    if result is None:
        return
    (converted, expected_shape), table = result
    assert shape[1] == table.shape == expected_shape
    assert repr(table) == f"Table(shape={expected_shape})"
    values = table.values
    assert len(values) == len(table) == math.prod(expected_shape)
    assert all(abs(v) <= math.sqrt(len(expected_shape)) for v in values) and values[0] == 0.0
    assert table.get(expected_shape) is None and table.get([e - 1 for e in expected_shape]) == values[-1]

    def at():
        wanted = expect_u64s(index, "index")
        if len(wanted) != len(expected_shape) or any(i >= e for i, e in zip(wanted, expected_shape)):
            return None
        return values[sum(i * math.prod(expected_shape[k + 1:]) for k, i in enumerate(wanted))]

    got = outcome(at, table.get, index)
    if got is not None:
        assert got[1] == got[0]
    if all(k & (k - 1) == 0 for k in converted):
        # Power-of-two divisors place every sample exactly where noise() looks.
        point = [e // 2 / k for e, k in zip(expected_shape, converted)]
        assert table.get([e // 2 for e in expected_shape]) == field.noise(point)


@st.composite
def edge_batches(draw):
    """A field of small cells with octave settings, and points many of whose
    coordinates lie exactly on 0, on dims[i] or on a cell edge."""
    dims = draw(small_dims)
    periodic = draw(st.one_of(st.booleans(), st.lists(st.booleans(), min_size=len(dims), max_size=len(dims))))
    # A wrapped axis needs a whole lacunarity; an unbounded field's points may lie far below 0.
    whole = st.integers(2, 3)
    lacunarity = draw(whole if periodic is True or periodic and any(periodic) else st.one_of(whole, st.floats(1.1, 3.5)))
    unbounded = draw(st.booleans())
    offset = draw(st.sampled_from([0.0, -3.0, -1e9])) if unbounded else 0.0
    field = Field(dims, draw(st.integers(0, 2**64 - 1)), octaves=draw(st.integers(1, 4)),
                  lacunarity=lacunarity, gain=draw(st.floats(0.1, 2)),
                  octave_shape=draw(st.sampled_from([Shape.SMOOTH, Shape.BILLOW, Shape.RIDGED])),
                  periodic=periodic, unbounded=unbounded)
    axes = [st.one_of(st.sampled_from([0.0, float(d)]), st.integers(0, d).map(float), st.floats(0, d))
            .map(lambda x: x + offset) for d in dims]
    return field, draw(st.lists(st.tuples(*axes).map(list), min_size=1, max_size=40))


@bounded
@given(batch=edge_batches())
def test_values_at_points_on_the_edges_are_the_single_point_values(batch):
    field, points = batch
    n = len(field.dims)
    # The octave-0 Instance too: its points go through the SIMD lanes, which screen them as well.
    inside = all(0 <= x <= d for p in points for x, d in zip(p, field.dims))
    for each in (field, Instance(field.dims, field.seed)) if inside else (field,):
        noise, force = each.noise_at(points).values, each.force_at(points).values
        assert noise == [each.noise(p) for p in points]  # bit for bit, every entry written
        assert force == [x for p in points for x in each.force(p)]
        assert all(abs(v) <= math.sqrt(n) for v in noise)
        assert all(math.hypot(*force[i:i + n]) <= 1 + 1e-12 for i in range(0, len(force), n))
    slopes = field.derivative_at(points).values
    assert slopes == [x for p in points for x in field.derivative(p)] and all(map(math.isfinite, slopes))
