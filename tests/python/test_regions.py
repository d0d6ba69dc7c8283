"""table_region: a box of table(divisors), bit for bit, and boxes refused
naming their axis."""

import numpy as np
import pytest

from veldra import Field, Instance

FIELDS = [
    (Instance([4, 3], 2), [5, 7]),
    (Instance([2, 1, 2], 2), [3, 4, 5]),
    (Instance([1, 2, 1, 1], 2), [3, 2, 3, 4]),
    (Field([4, 3], 2, octaves=3), [4, 3]),
    (Field([2, 1, 2], 2, octaves=3, periodic=True), [4, 3, 8]),
    (Field([1, 2, 1, 1], 2, octaves=3, lacunarity=3, periodic=True), [3, 2, 9, 4]),
    (Field([40, 30], 2, octaves=3), [16, 24]),  # 481 x 721: regions cross worker splits
]


@pytest.mark.parametrize("field, divisors", FIELDS, ids=lambda f: repr(f))
def test_regions_are_the_table_s_values(field, divisors):
    whole, rng = np.asarray(field.table(divisors)), np.random.default_rng(len(divisors))
    ends = np.array(whole.shape)
    for start in [ends * 0, ends - 1, ends // 3] + [rng.integers(0, ends) for _ in range(5)]:
        shape = rng.integers(1, ends - start + 1)
        slab = np.r_[start[:1], ends[1:] * 0], np.r_[shape[:1], ends[1:]]
        # A random box, one to the last row and column, and one whole on every axis but the first.
        for begin, box in [(start, shape), (start, ends - start), slab]:
            region = field.table_region(divisors, start=[int(x) for x in begin], shape=[int(x) for x in box])
            part = whole[tuple(slice(s, s + b) for s, b in zip(begin, box))]
            assert region.shape == list(part.shape) and bytes(region) == part.tobytes()


REGION_ERRORS = [
    (([4, 4, 4], [0, 0], [1, 1]), "Expected 2 divisors, got 3"),
    (([4, 0], [0, 0], [1, 1]), "Divisor cannot be 0"),
    (([4, 4], [0, 0, 0], [1]), "Expected 2 start indices, got 3"),
    (([4, 4], [0, 0], [1]), "Expected 2 extents, got 1"),
    (([4, 4], [300, 0], [1, 0]), "Extent 1 cannot be 0"),
    (([64, 64], [200, 0], [100, 1]), "Region on axis 0 ends at 300, beyond the table's 257"),
    (([64, 64], [0, 2**64 - 1], [1, 2]), "Region on axis 1 ends at 18446744073709551617, beyond the table's 193"),
]


@pytest.mark.parametrize("field", [Instance([4, 3]), Field([4, 3], octaves=3)], ids=repr)
@pytest.mark.parametrize("arguments, message", REGION_ERRORS)
def test_regions_refused(field, arguments, message):
    with pytest.raises(ValueError) as caught:
        field.table_region(*arguments)
    assert str(caught.value) == message


def test_a_region_lays_out_only_the_cells_it_needs():
    # The whole table is 32 GiB and its finest octaves' lattices would take more.
    field = Field([1024, 1024], 7, octaves=8)
    corner = field.table_region([64, 64], start=[65521, 65521], shape=[16, 16])
    inner = field.table_region([64, 64], start=[65529, 65529], shape=[8, 8])
    assert bytes(inner) == np.asarray(corner)[8:, 8:].tobytes()
