"""Refined-lattice tables from Instance.table and the Table class."""

import itertools

import pytest

from veldra import Instance, Table


def test_table_shape_len_repr():
    field = Instance([4, 4])
    table = field.table([16, 16])
    assert table.shape == [65, 65]
    assert len(table) == 4225 and len(table.values) == 4225
    assert repr(table) == "Table(shape=[65, 65])"
    assert field.table_shape([16, 16]) == [65, 65]
    assert Instance([3, 1, 2]).table_shape([2, 3, 1]) == [7, 4, 3]


def test_divisors_of_one_give_zeros():
    table = Instance([2, 2]).table([1, 1])
    assert table.values == [0.0] * 9


def test_get_matches_values_and_refuses_outside():
    table = Instance([4, 4], seed=3).table([16, 16])
    values = table.values
    assert table.get([0, 0]) == table.get([64, 64]) == 0.0
    for i in range(0, 65, 7):
        for j in range(0, 65, 5):
            assert table.get([i, j]) == values[i * 65 + j]
    assert table.get([65, 0]) is None
    assert table.get([0]) is None
    assert table.get([0, 0, 0]) is None


def test_values_agree_with_noise_at_power_of_two_divisors():
    field = Instance([2, 3], seed=12)
    table = field.table([4, 2])
    for i in range(9):
        for j in range(7):
            assert table.get([i, j]) == field.noise([i / 4, j / 2])
    one = Instance([2])
    assert one.table([2]).values[1] == one.noise([0.5])
    assert [one.table([2]).values[k] for k in (0, 2, 4)] == [0.0, 0.0, 0.0]


@pytest.mark.parametrize("method", ["table", "table_shape"])
@pytest.mark.parametrize(
    "dims, divisors, message",
    [
        ([2, 2], [16], "Expected 2 divisors, got 1"),
        ([2, 2], [0, 4], "Divisor cannot be 0"),
        ([2, 2], [2**63, 1], "Grid size overflows usize"),
        ([1, 1], [2**64 - 1, 1], "Grid size overflows usize"),
    ],
)
def test_invalid_divisors(method, dims, divisors, message):
    with pytest.raises(ValueError) as caught:
        getattr(Instance(dims), method)(divisors)
    assert str(caught.value) == message


def test_negative_divisor_overflows():
    with pytest.raises(OverflowError):
        Instance([2, 2]).table([-1, 4])


def test_table_beyond_memory_raises_memory_error():
    with pytest.raises(MemoryError):
        Instance([1000, 1000]).table([10**5, 10**5])


def test_table_cannot_be_built_directly():
    with pytest.raises(TypeError):
        Table()


def test_table_outlives_its_instance():
    field = Instance([3, 3], seed=2)
    table = field.table([8, 8])
    expected = table.values
    del field
    assert table.values == expected


@pytest.mark.parametrize(
    "dims, divisors",
    [
        ([2], [8191]),          # 16383 values: always on the calling thread
        ([43], [381]),          # 16384 values: the smallest threaded table
        ([64, 64], [4, 4]),
        ([5, 6, 7], [4, 3, 5]),
        ([3, 3, 3, 3], [3, 3, 3, 3]),
        ([8, 8, 2], [16, 16, 2]),  # short last axes: filled by columns
        ([512, 2], [8, 2]),  # one plane, split between the workers
    ],
)
def test_one_worker_and_many_give_identical_tables(dims, divisors, one_cpu, many_cpus):
    field = Instance(dims, seed=77)
    threaded = field.table(divisors).values
    with one_cpu():
        serial = field.table(divisors).values
    assert threaded == serial


@pytest.mark.parametrize(
    "dims, divisors",
    [([37, 2], [8, 2]), ([3, 4, 2], [4, 8, 2]), ([2, 3, 5, 1], [2, 4, 4, 4])],
)
def test_short_last_axis_tables_match_noise_at_every_sample(dims, divisors):
    # Power-of-two divisors place every sample exactly where noise() looks.
    field = Instance(dims, seed=5)
    table = field.table(divisors)
    values = iter(table.values)
    for index in itertools.product(*(range(n) for n in table.shape)):
        point = [i / k for i, k in zip(index, divisors)]
        assert next(values) == field.noise(point), index
