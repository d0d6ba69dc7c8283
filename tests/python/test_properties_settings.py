"""Property tests of the settings classes and the renderings that take
them: any value for any field is stored as converted or refused with the
promised exception, leaving the object unchanged; rendering validates only
what it promises to, and never fails otherwise."""

import pytest
from hypothesis import given
from hypothesis import strategies as st

from contract import (expect_byte, expect_flag, expect_float, expect_floats, expect_hair_settings,
                      expect_list, expect_object, expect_u64, invalid, list_text, outcome)
from values import anything, any_floats, bounded, sequence_or_junk, u64_or_junk
from veldra import Globe, Hair, Instance, Palette, Relief, Renderer, Shape


def fixed_length(count, item_model, name, what):
    """A list converted item by item, then held to `count` items."""
    def convert(value, argument):
        items = item_model(value, argument)
        if len(items) != count:
            raise invalid(f"{name} wants {what}, got {list_text(items)}")
        return tuple(items)
    return "tuple", convert


def of(cls):
    return "object", lambda v, a: expect_object(v, cls, a)


FLOAT, U64, FLAG = ("float", expect_float), ("u64", expect_u64), ("flag", expect_flag)
CLASSES = {
    Relief: {"shape": of(Shape), "palette": of(Palette), "light": fixed_length(3, expect_floats, "light", "three numbers"),
             **dict.fromkeys(["height", "gamma", "occlusion", "ambient", "diffuse", "specular", "gloss"], FLOAT)},
    Globe: {"surface": of(Relief), "rgb_from_fourth_axis": FLAG, "fill": FLOAT, "samples": U64,
            "background": fixed_length(3, lambda v, a: expect_list(v, expect_byte, a), "background", "three bytes")},
    Hair: {"count": U64, "steps": U64, "seed": U64, "color_from_field": FLAG, "surface": of(Relief),
           "palette": of(Palette), "light": fixed_length(2, expect_floats, "light", "two numbers"),
           **dict.fromkeys(["step", "force", "drag", "swirl", "thickness", "opacity", "frizz", "jitter", "depth",
                            "taper", "ambient", "diffuse", "specular", "gloss"], FLOAT)},
}
values_by_kind = {
    "float": st.one_of(st.floats(-2, 2), any_floats),
    "u64": u64_or_junk(st.integers(0, 9)),
    "flag": st.one_of(st.booleans(), st.integers(0, 1)),
    "object": st.sampled_from([Shape.RIDGED, Palette.AZURE, Relief(height=0.5)]),
    "tuple": st.one_of(st.lists(st.integers(0, 255), min_size=2, max_size=4),
                       sequence_or_junk(st.floats(-2, 2), max_size=4)),
}


def snapshot(settings):
    """Every field as read back (floats as text, so that NaN equals NaN), settings by their own snapshot."""
    def comparable(value):
        if type(value) in CLASSES:
            return snapshot(value)
        return repr(value) if isinstance(value, (float, tuple)) else value
    return {name: comparable(getattr(settings, name)) for name in CLASSES[type(settings)]}


@bounded
@given(cls=st.sampled_from(list(CLASSES)), data=st.data())
def test_a_setter_stores_the_converted_value_or_changes_nothing(cls, data):
    name = data.draw(st.sampled_from(sorted(CLASSES[cls])))
    kind, convert = CLASSES[cls][name]
    value = data.draw(values_by_kind[kind] | anything)
    settings = cls()
    before = snapshot(settings)
    result = outcome(lambda: convert(value, "value"), setattr, settings, name, value)
    if result is None:
        assert snapshot(settings) == before
        return
    stored = getattr(settings, name)
    if kind == "object":  # a copy
        assert type(stored) is type(value) and stored is not value and repr(stored) == repr(value)
    else:
        assert repr(stored) == repr(result[0])
    with pytest.raises(AttributeError, match="^can't delete attribute$"):
        delattr(settings, name)


FLAT = Renderer(Instance([2, 3], seed=11))
odd_floats = st.one_of(st.floats(-3, 3), any_floats)


@bounded
@given(relief=st.builds(Relief, height=odd_floats, gamma=odd_floats, occlusion=odd_floats, ambient=odd_floats,
                        diffuse=odd_floats, specular=odd_floats, gloss=odd_floats,
                        light=st.lists(odd_floats, min_size=3, max_size=3)))
def test_a_relief_renders_any_settings(relief):
    image = FLAT.relief([3, 2], relief)
    assert (image.width, image.height, image.channels) == (7, 7, 3)
    assert FLAT.relief([3, 2], relief).pixels == image.pixels


@bounded
@given(values=st.fixed_dictionaries({name: st.one_of(st.floats(0, 1), st.floats(-2, 2), any_floats)
                                     for name, kind in CLASSES[Hair].items() if kind is FLOAT}),
       count=st.integers(0, 70), steps=st.integers(0, 30), color_from_field=st.booleans(),
       light=st.lists(odd_floats, min_size=2, max_size=2))
def test_hair_checks_thirteen_settings_in_order_and_renders_the_rest(values, count, steps, color_from_field,
                                                                      light):
    hair = Hair(count=count, steps=steps, color_from_field=color_from_field, light=light, **values)
    result = outcome(lambda: expect_hair_settings(hair), FLAT.hair, 12, 10, hair)
    if result is not None:
        assert (result[1].width, result[1].height) == (12, 10)
        assert FLAT.hair(12, 10, hair).pixels == result[1].pixels
