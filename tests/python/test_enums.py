"""Palette and Shape enumerations."""

import math

import pytest

from veldra import Palette, Shape

PALETTES = [("GRAY", 0, "Gray"), ("BLUE_RED", 1, "BlueRed"), ("HEAT", 2, "Heat"),
            ("CRIMSON", 3, "Crimson"), ("AZURE", 4, "Azure"), ("TERRAIN", 5, "Terrain")]
SHAPES = [("SMOOTH", 0, "Smooth"), ("BILLOW", 1, "Billow"), ("RIDGED", 2, "Ridged")]
VARIANTS = [(Palette, *v) for v in PALETTES] + [(Shape, *v) for v in SHAPES]


@pytest.mark.parametrize("cls, attribute, value, display", VARIANTS)
def test_variants(cls, attribute, value, display):
    variant = getattr(cls, attribute)
    assert variant is getattr(cls, attribute)
    assert type(variant) is cls
    assert int(variant) == value
    assert repr(variant) == str(variant) == f"{cls.__name__}.{display}"
    assert variant == value and value == variant and not (variant != value)


def test_equality_rules():
    assert Palette.HEAT == Palette.HEAT and Palette.HEAT != Palette.GRAY
    assert Palette.HEAT != 2.0 and not (Palette.HEAT == 2.0)
    assert Palette.GRAY != Shape.SMOOTH
    assert Palette.HEAT != "Heat"
    assert Palette.HEAT == True + True  # bools are integers  # noqa: E712

    class Two:
        def __index__(self):
            return 2

    assert Palette.HEAT == Two()
    assert Palette.HEAT != 2**80


@pytest.mark.parametrize("compare", [lambda a, b: a < b, lambda a, b: a >= b, lambda a, b: a < 3])
def test_no_ordering(compare):
    with pytest.raises(TypeError):
        compare(Palette.GRAY, Palette.HEAT)


@pytest.mark.parametrize("variant", [Palette.GRAY, Shape.RIDGED])
def test_unhashable(variant):
    with pytest.raises(TypeError):
        hash(variant)
    with pytest.raises(TypeError):
        {variant}


@pytest.mark.parametrize(
    "palette, position, rgb",
    [
        (Palette.GRAY, 0.5, (128, 128, 128)),
        (Palette.GRAY, 0.25, (64, 64, 64)),
        (Palette.BLUE_RED, 0.5, (247, 247, 247)),
        (Palette.BLUE_RED, 0.25, (140, 175, 210)),
        (Palette.BLUE_RED, 2, (178, 24, 43)),
        (Palette.HEAT, 0.3, (153, 16, 0)),
        (Palette.HEAT, 0.5, (255, 80, 0)),
        (Palette.CRIMSON, 0.5, (179, 23, 58)),
        (Palette.TERRAIN, 0.5, (153, 174, 106)),
        (Palette.TERRAIN, -1, (12, 44, 92)),
        (Palette.AZURE, 7, (78, 132, 234)),
        (Palette.AZURE, -3, (12, 30, 88)),
        (Palette.HEAT, math.inf, (255, 255, 255)),
    ],
)
def test_colors(palette, position, rgb):
    assert palette.color(position) == rgb
    assert palette.color(position=position) == rgb


@pytest.mark.parametrize("palette", [getattr(Palette, p[0]) for p in PALETTES])
def test_nan_is_black(palette):
    assert palette.color(float("nan")) == (0, 0, 0)


def test_color_needs_a_number():
    with pytest.raises(TypeError, match="^argument 'position': "):
        Palette.GRAY.color("half")
