"""Instance: construction, sampling, force and gradients."""

import math

import pytest

from veldra import Instance


def test_geometry_and_repr():
    field = Instance([3, 1, 2])
    assert field.dims == [3, 1, 2]
    assert field.shape == [4, 2, 3]
    assert field.intersections == 24
    assert field.seed == 1
    assert repr(field) == "Instance(dims=[3, 1, 2], seed=1)"


def test_lists_returned_are_copies():
    field = Instance([2, 2])
    field.dims.append(5)
    field.shape.append(5)
    assert field.dims == [2, 2] and field.shape == [3, 3]


@pytest.mark.parametrize("seed", [0, 1, 2**64 - 1])
def test_any_64_bit_seed_is_valid(seed):
    assert Instance((4, 4), seed=seed).seed == seed


@pytest.mark.parametrize(
    "dims, message",
    [
        ([], "At least one dimension is required"),
        ([1] * 17, "At most 16 dimensions are supported"),
        ([0] * 17, "At most 16 dimensions are supported"),
        ([3, 0], "Dimension cannot be 0"),
        ([2**64 - 1], "Grid size overflows usize"),
        ([2**32, 2**32], "Grid size overflows usize"),
    ],
)
def test_invalid_dims(dims, message):
    with pytest.raises(ValueError) as caught:
        Instance(dims)
    assert str(caught.value) == message


@pytest.mark.parametrize("dims", [[2**31, 2**31], [2**40, 2**20]])
def test_grid_beyond_memory_raises_memory_error(dims):
    with pytest.raises(MemoryError):
        Instance(dims)


def test_one_dimensional_reference_values():
    field = Instance([1], seed=1)
    assert field.noise([0.25]) == -0.146484375
    assert field.noise([0.5]) == 0.0
    assert field.force([0.25]) == [-1.0]
    assert field.gradient([0]) == [-1.0] and field.gradient([1]) == [-1.0]


def test_two_dimensional_reference_gradients():
    field = Instance([1, 1], seed=1)
    assert field.gradient([0, 0]) == pytest.approx([-0.0137052713335, -0.9999060783582], abs=1e-12)
    assert field.gradient([1, 1]) == pytest.approx([-0.897094635929, 0.441838448064], abs=1e-12)


@pytest.mark.parametrize("seed", range(5))
def test_one_dimensional_gradients_are_signs(seed):
    field = Instance([6], seed=seed)
    assert all(field.gradient([i]) in ([1.0], [-1.0]) for i in range(7))


def test_noise_is_zero_at_every_intersection():
    field = Instance([2, 3], seed=4)
    for i in range(3):
        for j in range(4):
            assert field.noise([i, j]) == 0.0


def test_noise_stays_within_sqrt_n():
    for n in (1, 2, 3, 4):
        field = Instance([3] * n, seed=n)
        for k in range(200):
            point = [((k * 0.618033 + i * 0.414) % 1) * 3 for i in range(n)]
            assert abs(field.noise(point)) <= math.sqrt(n)


@pytest.mark.parametrize(
    "point, message",
    [
        ([2.0, 2.5], "Coordinate 1 is 2.5, outside the boundary [0, 2]"),
        ([-1, 0], "Coordinate 0 is -1, outside the boundary [0, 2]"),
        ([2.000000001, 0], "Coordinate 0 is 2.000000001, outside the boundary [0, 2]"),
        ([float("nan"), 0], "Coordinate 0 is NaN, outside the boundary [0, 2]"),
        ([0, float("inf")], "Coordinate 1 is inf, outside the boundary [0, 2]"),
        ([0, -1e20], "Coordinate 1 is -100000000000000000000, outside the boundary [0, 2]"),
        ([1.0], "Expected 2 coordinates, got 1"),
    ],
)
@pytest.mark.parametrize("method", ["noise", "force"])
def test_points_outside_the_lattice(method, point, message):
    with pytest.raises(ValueError) as caught:
        getattr(Instance([2, 2]), method)(point)
    assert str(caught.value) == message


def test_upper_boundary_is_inside():
    field = Instance([2, 2], seed=5)
    assert field.noise([2.0, 2.0]) == 0.0
    assert field.noise([2.0, 1.5]) == field.noise([2, 1.5])


def test_force_is_never_longer_than_one_and_is_the_gradient_at_intersections():
    field = Instance([3, 3, 3], seed=8)
    for k in range(100):
        point = [(k * 0.37) % 3, (k * 0.71) % 3, (k * 0.13) % 3]
        assert math.hypot(*field.force(point)) <= 1 + 1e-12
    assert field.force([1, 2, 3]) == field.gradient([1, 2, 3])


def test_gradient_outside_or_of_wrong_length_is_none():
    field = Instance([2, 3])
    assert isinstance(field.gradient([2, 3]), list)
    assert field.gradient([3, 0]) is None
    assert field.gradient([0]) is None
    assert field.gradient([0, 0, 0]) is None


def test_same_seed_same_field_other_seed_other_field():
    a, b, c = Instance([4, 4], seed=9), Instance([4, 4], seed=9), Instance([4, 4], seed=10)
    points = [[0.3, 1.7], [3.9, 0.1], [2.5, 2.5]]
    assert [a.noise(p) for p in points] == [b.noise(p) for p in points]
    assert [a.force(p) for p in points] == [b.force(p) for p in points]
    assert a.gradient([1, 1]) == b.gradient([1, 1]) != c.gradient([1, 1])


def test_sixteen_dimensions():
    field = Instance([1] * 16, seed=3)
    assert field.intersections == 2**16
    assert abs(field.noise([0.5] * 16)) <= 4
