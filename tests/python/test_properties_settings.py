"""Property tests of the settings classes and the renderings that take
them: any value for any field is stored as converted or refused with the
promised exception, leaving the object unchanged; rendering validates only
what it promises to, and never fails otherwise."""

import math

import pytest
from hypothesis import given
from hypothesis import strategies as st

from contract import (Refusal, expect_bytes, expect_flag, expect_float, expect_floats,
                      expect_hair_settings, expect_object, expect_u64, invalid, list_text,
                      outcome, plain_float)
from values import anything, any_floats, bounded, sequence_or_junk, u64_or_junk
from veldra import Globe, Hair, Instance, Palette, Relief, Renderer, Shape


def fixed_length(count, item_model, name, what):
    """A list converted item by item, then held to `count` items."""
    def convert(value, argument):
        items = item_model(value, argument)
        if len(items) != count:
            raise invalid(f"{name} wants {what}, got {list_text(items)}")
        return tuple(items)
    return convert


FLOAT = ("float", expect_float)
U64 = ("u64", expect_u64)
FLAG = ("flag", expect_flag)
RELIEF_FIELDS = {
    "shape": ("object", lambda v, a: expect_object(v, Shape, a)),
    "palette": ("object", lambda v, a: expect_object(v, Palette, a)),
    "light": ("tuple", fixed_length(3, expect_floats, "light", "three numbers")),
    **{name: FLOAT for name in ["height", "gamma", "occlusion", "ambient", "diffuse", "specular", "gloss"]},
}
GLOBE_FIELDS = {
    "surface": ("object", lambda v, a: expect_object(v, Relief, a)),
    "rgb_from_fourth_axis": FLAG,
    "fill": FLOAT,
    "background": ("tuple", fixed_length(3, expect_bytes, "background", "three bytes")),
    "samples": U64,
}
HAIR_FIELDS = {
    "count": U64, "steps": U64,
    **{name: FLOAT for name in ["step", "force", "drag", "swirl", "thickness", "opacity", "frizz",
                                "jitter", "depth", "taper"]},
    "light": ("tuple", fixed_length(2, expect_floats, "light", "two numbers")),
    **{name: FLOAT for name in ["ambient", "diffuse", "specular", "gloss"]},
    "color_from_field": FLAG,
    "surface": ("object", lambda v, a: expect_object(v, Relief, a)),
    "palette": ("object", lambda v, a: expect_object(v, Palette, a)),
    "seed": U64,
}
CLASSES = {Relief: RELIEF_FIELDS, Globe: GLOBE_FIELDS, Hair: HAIR_FIELDS}

values_by_kind = {
    "float": st.one_of(st.floats(-2, 2), any_floats),
    "u64": u64_or_junk(st.integers(0, 9)),
    "flag": st.one_of(st.booleans(), st.integers(0, 1), anything),
    "object": st.one_of(st.sampled_from([Shape.RIDGED, Palette.AZURE, Relief(height=0.5)]), anything),
    "tuple": st.one_of(st.lists(st.integers(0, 255), min_size=2, max_size=4),
                       sequence_or_junk(st.floats(-2, 2), max_size=4)),
}


def field_value(cls):
    """A field of `cls` and a value of any kind for it."""
    return st.sampled_from(sorted(CLASSES[cls])).flatmap(
        lambda name: st.tuples(st.just(name), values_by_kind[CLASSES[cls][name][0]] | anything))


def comparable(value):
    """The value with floats as their text, so that NaN equals NaN."""
    if isinstance(value, float):
        return repr(value)
    if isinstance(value, tuple):
        return tuple(comparable(v) for v in value)
    return value


def snapshot(settings):
    """Every field as read back, settings objects by their own snapshot."""
    out = {}
    for name in CLASSES[type(settings)]:
        value = getattr(settings, name)
        out[name] = snapshot(value) if type(value) in CLASSES else comparable(value)
    return out


def as_read_back(kind, converted):
    if kind == "float":
        return float(converted)
    return converted


@bounded
@given(cls=st.sampled_from(list(CLASSES)), data=st.data())
def test_a_setter_stores_the_converted_value_or_changes_nothing(cls, data):
    name, value = data.draw(field_value(cls))
    settings = cls()
    before = snapshot(settings)
    kind, convert = CLASSES[cls][name]

    def model():
        return convert(value, "value")

    result = outcome(model, setattr, settings, name, value)
    if result is None:
        assert snapshot(settings) == before
        return
    converted, _ = result
    stored = getattr(settings, name)
    if kind == "object":
        assert type(stored) is type(converted) and stored is not converted
        assert repr(stored) == repr(converted)
        if type(stored) in CLASSES:
            assert snapshot(stored) == snapshot(converted)
    else:
        assert stored == as_read_back(kind, converted) or (kind == "float" and math.isnan(stored))
    with pytest.raises(AttributeError, match="^can't delete attribute$"):
        delattr(settings, name)


@bounded
@given(cls=st.sampled_from(list(CLASSES)), data=st.data())
def test_a_constructor_converts_every_field_before_it_checks_lengths(cls, data):
    fields = CLASSES[cls]
    given_values = {name: data.draw(st.one_of(st.none(), values_by_kind[fields[name][0]]), label=name)
                    for name in fields if data.draw(st.booleans(), label=f"give {name}")}

    def model():
        deferred = None
        for name, (kind, convert) in fields.items():
            if given_values.get(name) is None:
                continue
            try:
                convert(given_values[name], name)
            except Refusal as refusal:
                if refusal.kind is ValueError and refusal.message and "wants" in refusal.message:
                    deferred = deferred or refusal
                    continue
                raise
        if deferred:
            raise deferred

    result = outcome(model, cls, **given_values)
    if result is not None:
        _, built = result
        by_position = cls(*[given_values.get(name) for name in fields])
        assert snapshot(built) == snapshot(by_position)


def test_reprs_write_their_fields_in_the_promised_styles():
    cases = [(Relief(height=2**64, shape=Shape.SMOOTH, palette=Palette.HEAT),
              f"Relief(shape=Smooth, palette=Heat, height={plain_float(2.0**64)})"),
             (Globe(fill=float("nan"), samples=2**64 - 1), f"Globe(fill=NaN, samples={2**64 - 1})"),
             (Hair(count=0, steps=2**64 - 1, color_from_field=True),
              f"Hair(count=0, steps={2**64 - 1}, color_from_field=true)")]
    for settings, text in cases:
        assert repr(settings) == text


TWO_D = Renderer(Instance([2, 3], seed=11))
FOUR_D = Renderer(Instance([1, 1, 1, 2], seed=11))
odd_floats = st.one_of(st.floats(-3, 3), any_floats)


@bounded
@given(relief=st.builds(Relief, height=odd_floats, gamma=odd_floats, occlusion=odd_floats, ambient=odd_floats,
                        diffuse=odd_floats, specular=odd_floats, gloss=odd_floats,
                        light=st.lists(odd_floats, min_size=3, max_size=3)))
def test_a_relief_renders_any_settings(relief):
    image = TWO_D.relief([3, 2], relief)
    assert (image.width, image.height, image.channels) == (7, 7, 3)
    assert TWO_D.relief([3, 2], relief).pixels == image.pixels


@bounded
@given(globe=st.builds(Globe, fill=st.one_of(st.floats(0, 1.5), any_floats), samples=st.integers(0, 10),
                       background=st.lists(st.integers(0, 255), min_size=3, max_size=3),
                       rgb_from_fourth_axis=st.booleans(),
                       surface=st.builds(Relief, gloss=odd_floats, light=st.lists(odd_floats, min_size=3, max_size=3))))
def test_a_globe_checks_fill_then_samples(globe):
    def model():
        if not 0 < globe.fill <= 1:
            raise invalid(f"Fill has to be above 0 and at most 1, got {plain_float(globe.fill)}")
        if not 1 <= globe.samples <= 8:
            raise invalid(f"Samples has to be between 1 and 8, got {globe.samples}")

    result = outcome(model, FOUR_D.globe, 9, 7, globe)
    if result is not None:
        image = result[1]
        assert (image.width, image.height, image.channels) == (9, 7, 3)
        assert FOUR_D.globe(9, 7, globe).pixels == image.pixels


hair_floats = st.one_of(st.floats(0, 1), st.floats(-2, 2), any_floats)


@bounded
@given(values=st.fixed_dictionaries({name: hair_floats for name, kind in HAIR_FIELDS.items() if kind is FLOAT}),
       count=st.integers(0, 70), steps=st.integers(0, 30), color_from_field=st.booleans(),
       light=st.lists(odd_floats, min_size=2, max_size=2))
def test_hair_checks_thirteen_settings_in_order_and_renders_the_rest(values, count, steps, color_from_field,
                                                                      light):
    hair = Hair(count=count, steps=steps, color_from_field=color_from_field, light=light, **values)
    result = outcome(lambda: expect_hair_settings(hair), TWO_D.hair, 12, 10, hair)
    if result is not None:
        image = result[1]
        assert (image.width, image.height, image.channels) == (12, 10, 3)
        assert TWO_D.hair(12, 10, hair).pixels == image.pixels
