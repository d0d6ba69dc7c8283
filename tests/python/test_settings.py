"""Relief, Globe and Hair settings objects."""

import pytest

from veldra import Globe, Hair, Palette, Relief, Shape

RELIEF_DEFAULTS = dict(shape=Shape.BILLOW, palette=Palette.CRIMSON, light=(-0.55, -0.55, 0.63),
                       height=0.32, gamma=1.2, occlusion=0.78, ambient=0.24, diffuse=0.9,
                       specular=0.45, gloss=80.0)
HAIR_DEFAULTS = dict(count=45000, steps=170, step=0.05, force=1.0, drag=3.0, swirl=62.0,
                     thickness=1.3, opacity=0.95, frizz=0.16, jitter=0.6, depth=0.6, taper=0.22,
                     light=(-0.55, -0.55), ambient=0.13, diffuse=0.5, specular=0.62, gloss=14.0,
                     color_from_field=False, palette=Palette.GRAY, seed=1)


def fields(obj, names):
    return {name: getattr(obj, name) for name in names}


def test_relief_defaults_and_repr():
    for relief in (Relief(), Relief(*[None] * 10)):
        assert fields(relief, RELIEF_DEFAULTS) == RELIEF_DEFAULTS
        assert repr(relief) == "Relief(shape=Billow, palette=Crimson, height=0.32)"
    assert repr(Relief(height=1)) == "Relief(shape=Billow, palette=Crimson, height=1)"
    assert Relief(height=1).height == 1.0
    assert repr(Relief(shape=Shape.RIDGED, palette=Palette.BLUE_RED)).startswith(
        "Relief(shape=Ridged, palette=BlueRed,")


def test_globe_defaults_and_repr():
    globe = Globe()
    assert (globe.fill, globe.samples, globe.background, globe.rgb_from_fourth_axis) == (0.92, 2, (7, 8, 12), True)
    surface = globe.surface
    assert (surface.height, surface.gamma, surface.occlusion, surface.ambient, surface.diffuse,
            surface.specular, surface.gloss) == (0.9, 1.6, 0.7, 0.3, 1.2, 0.45, 300.0)
    assert repr(globe) == "Globe(fill=0.92, samples=2)"
    assert repr(Globe(fill=1)) == "Globe(fill=1, samples=2)"
    assert Globe(surface=Relief()).surface.height == 0.32


def test_hair_defaults_and_repr():
    hair = Hair()
    assert fields(hair, HAIR_DEFAULTS) == HAIR_DEFAULTS
    assert hair.surface.height == 0.12 and hair.surface.gamma == 1.2
    assert repr(hair) == "Hair(count=45000, steps=170, color_from_field=false)"
    assert repr(Hair(color_from_field=True, count=3)) == "Hair(count=3, steps=170, color_from_field=true)"


def test_values_are_not_validated():
    assert Relief(gloss=-1, occlusion=3).gloss == -1
    assert Globe(fill=5, samples=0).fill == 5
    assert Hair(step=0, opacity=2).opacity == 2


def properties(cls):
    return [name for name in dir(cls) if type(getattr(cls, name)).__name__ == "getset_descriptor"]


@pytest.mark.parametrize("cls, count", [(Relief, 10), (Globe, 5), (Hair, 21)])
def test_every_property_reads_back_what_was_set(cls, count):
    obj = cls()
    assert len(properties(cls)) == count
    for name in properties(cls):
        value = getattr(obj, name)
        if isinstance(value, bool):
            replacement = not value
        elif isinstance(value, float):
            replacement = value + 0.25
        elif isinstance(value, int):
            replacement = value + 7
        elif isinstance(value, tuple):
            replacement = tuple(range(1, len(value) + 1))
        elif isinstance(value, Relief):
            replacement = Relief(gamma=3.5)
        else:
            continue  # enumerations: covered below
        setattr(obj, name, list(replacement) if isinstance(replacement, tuple) else replacement)
        read = getattr(obj, name)
        if isinstance(replacement, Relief):
            assert read.gamma == 3.5 and read is not replacement
        else:
            assert read == replacement and type(read) is type(replacement)


@pytest.mark.parametrize("cls", [Relief, Globe, Hair])
def test_properties_cannot_be_deleted(cls):
    obj = cls()
    for name in ("gloss", "fill", "surface"):
        if hasattr(obj, name):
            with pytest.raises(AttributeError) as caught:
                delattr(obj, name)
            assert str(caught.value) == "can't delete attribute"
    assert repr(obj)  # still usable


def test_enum_properties_return_new_equal_objects():
    relief = Relief(palette=Palette.HEAT)
    assert relief.palette == Palette.HEAT and relief.palette is not Palette.HEAT
    relief.shape = Shape.RIDGED
    assert relief.shape == Shape.RIDGED


@pytest.mark.parametrize("owner", [Globe, Hair])
def test_surface_is_copied_both_ways(owner):
    obj = owner()
    surface = obj.surface
    surface.height = 5.0
    assert obj.surface.height != 5.0
    obj.surface = surface
    assert obj.surface.height == 5.0
    surface.height = 6.0
    assert obj.surface.height == 5.0


@pytest.mark.parametrize(
    "build, error, message",
    [
        (lambda: Relief(light=[1, 2]), ValueError, "light wants three numbers, got [1.0, 2.0]"),
        (lambda: Relief(light=[0.5, -0.5]), ValueError, "light wants three numbers, got [0.5, -0.5]"),
        (lambda: Relief(light="abc"), TypeError, "argument 'light': Can't extract `str` to `Vec`"),
        (lambda: Relief(light=[1, 2], gloss="x"), TypeError, "argument 'gloss': must be real number, not str"),
        (lambda: Relief(shape=Palette.GRAY), TypeError,
         "argument 'shape': 'Palette' object cannot be converted to 'Shape'"),
        (lambda: Relief(palette=2), TypeError, "argument 'palette': 'int' object cannot be converted to 'Palette'"),
        (lambda: Globe(surface=Hair()), TypeError, "argument 'surface': 'Hair' object cannot be converted to 'Relief'"),
        (lambda: Globe(background=[1, 2]), ValueError, "background wants three bytes, got [1, 2]"),
        (lambda: Globe(background="abc"), TypeError, "argument 'background': Can't extract `str` to `Vec`"),
        (lambda: Globe(background=[0, 0, 256]), OverflowError, "out of range integral type conversion attempted"),
        (lambda: Globe(samples=-1), OverflowError, "can't convert negative int to unsigned"),
        (lambda: Hair(light=[1, 2, 3]), ValueError, "light wants two numbers, got [1.0, 2.0, 3.0]"),
        (lambda: Hair(light=[1]), ValueError, "light wants two numbers, got [1.0]"),
        (lambda: Hair(light=[1, 2, 3], seed=-1), OverflowError, "can't convert negative int to unsigned"),
        (lambda: Hair(count=1.5), TypeError, "argument 'count': 'float' object cannot be interpreted as an integer"),
        (lambda: Hair(color_from_field=1), TypeError,
         "argument 'color_from_field': 'int' object cannot be converted to 'PyBool'"),
        (lambda: Hair(nope=1), TypeError, "Hair.__new__() got an unexpected keyword argument 'nope'"),
    ],
)
def test_constructor_failures(build, error, message):
    with pytest.raises(error) as caught:
        build()
    assert str(caught.value) == message


@pytest.mark.parametrize(
    "obj, name, value, error, message",
    [
        (Relief(), "light", [1, 2], ValueError, "light wants three numbers, got [1.0, 2.0]"),
        (Relief(), "light", "ab", TypeError, "argument 'value': Can't extract `str` to `Vec`"),
        (Relief(), "gamma", None, TypeError, "argument 'value': must be real number, not NoneType"),
        (Globe(), "rgb_from_fourth_axis", 1, TypeError, "argument 'value': 'int' object cannot be converted to 'PyBool'"),
        (Globe(), "background", [1, 2], ValueError, "background wants three bytes, got [1, 2]"),
        (Hair(), "palette", Shape.SMOOTH, TypeError, "argument 'value': 'Shape' object cannot be converted to 'Palette'"),
        (Hair(), "light", [0.5], ValueError, "light wants two numbers, got [0.5]"),
    ],
)
def test_failed_setters_leave_the_object_unchanged(obj, name, value, error, message):
    before = getattr(obj, name)
    with pytest.raises(error) as caught:
        setattr(obj, name, value)
    assert str(caught.value) == message
    assert getattr(obj, name) == before
