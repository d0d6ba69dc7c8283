"""Property tests of Palette and Shape: colours for any position, equality
with any object, and no order or hash."""

import math

import pytest
from hypothesis import given
from hypothesis import strategies as st

from contract import expect_float, outcome
from values import Indexable, anything, bounded
from veldra import Palette, Shape

PALETTES = [Palette.GRAY, Palette.BLUE_RED, Palette.HEAT, Palette.CRIMSON, Palette.AZURE, Palette.TERRAIN]
SHAPES = [Shape.SMOOTH, Shape.BILLOW, Shape.RIDGED]
variants = st.sampled_from(PALETTES + SHAPES)


@bounded
@given(palette=st.sampled_from(PALETTES), position=st.one_of(st.floats(-0.5, 1.5), anything))
def test_a_colour_is_three_bytes_clamped_to_the_ends(palette, position):
    result = outcome(lambda: expect_float(position, "position"), palette.color, position)
    if result is None:
        return
    t, rgb = result
    assert isinstance(rgb, tuple) and len(rgb) == 3 and all(type(c) is int and 0 <= c <= 255 for c in rgb)
    assert palette.color(position) == rgb
    if math.isnan(t):
        assert rgb == (0, 0, 0)
    elif t <= 0:
        assert rgb == palette.color(0.0)
    elif t >= 1:
        assert rgb == palette.color(1.0)


@bounded
@given(variant=variants, other=st.one_of(variants, st.integers(-3, 8), st.builds(Indexable, st.integers(-3, 8)),
                                         anything))
def test_a_variant_equals_its_own_kind_or_its_integer_only(variant, other):
    number = int(variant)
    if type(other) is type(variant):
        expected = int(other) == number
    elif isinstance(other, int) or isinstance(other, Indexable):
        expected = (other if isinstance(other, int) else other.value) == number
    else:
        expected = False
    assert (variant == other) is expected
    assert (variant != other) is (not expected)
    with pytest.raises(TypeError):
        variant < other
    with pytest.raises(TypeError):
        hash(variant)
