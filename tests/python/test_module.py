"""The module's registration, signatures, enumerations and settings defaults."""

import importlib
import inspect
import sys

import pytest

import veldra
from values import Indexable
from veldra import _extras, _native, Field, Globe, Hair, Instance, Palette, Relief, Renderer, Shape

CLASSES = ["Palette", "Shape", "Relief", "Globe", "Hair", "Instance", "Table", "Image", "Renderer"]


PACKAGE_ONLY = ["Field", "PngWriter", "table_from_bytes", "image_from_bytes", "value_range",
                "grayscale_region", "colored_region", "relief_region"]


def test_registration():
    assert _native.__all__ == ["MAX_DIMS", "MAX_SAMPLES", *CLASSES]
    assert (_native.MAX_DIMS, _native.MAX_SAMPLES, _native.__doc__) == (16, 8, "")
    for name in CLASSES:
        cls = getattr(_native, name)
        assert (cls.__module__, cls.__name__, cls.__qualname__, cls.__bases__) == ("veldra", name, name, (object,))
    for cls, signature in [
        (_native.Instance, "(dims, seed=1)"), (_native.Renderer, "(noise)"),
        (_native.Relief, "(shape=None, palette=None, light=None, height=None, gamma=None, "
                         "occlusion=None, ambient=None, diffuse=None, specular=None, gloss=None)"),
        (_native.Globe, "(surface=None, rgb_from_fourth_axis=None, fill=None, background=None, samples=None)"),
    ]:
        assert cls.__text_signature__ == str(inspect.signature(cls)) == signature


def test_the_package_exports_the_private_names_of_the_one_module_under_its_own():
    # write_png and heightmap are Python functions over the private PNG helpers.
    assert veldra.__all__ == [*_native.__all__, *PACKAGE_ONLY, "write_png", "heightmap"]
    assert [name for name in dir(_native) if not name.startswith("__")] == sorted(
        _native.__all__ + ["_" + name for name in PACKAGE_ONLY] + ["_heightmap", "_png_block_rows", "_png_blocks"])
    for name in PACKAGE_ONLY:
        exported = getattr(veldra, name)
        # Pickles name an object by its module and name: both lead back to it.
        assert exported is getattr(_native, "_" + name) is getattr(_extras, name)
        assert (exported.__module__, exported.__name__) == ("veldra", name)
    assert str(inspect.signature(Field)) == (
        "(dims, seed=1, *, octaves=1, lacunarity=2, gain=0.5, octave_shape=None, periodic=False, unbounded=False)")
    assert _extras.__file__.endswith("_extras.py")  # a Python module, no second native one


def test_module_is_initialised_once():
    module = sys.modules.pop("veldra._native")
    try:
        assert importlib.import_module("veldra._native") is module
    finally:
        sys.modules["veldra._native"] = module


def test_subinterpreters_are_refused():
    testcapi = pytest.importorskip("_testcapi")
    if not hasattr(testcapi, "run_in_subinterp"):
        pytest.skip("no legacy sub-interpreters in this build")
    code = (
        "import importlib.machinery, importlib.util\n"
        f"loader = importlib.machinery.ExtensionFileLoader('veldra._native', {_native.__file__!r})\n"
        "spec = importlib.util.spec_from_file_location(loader.name, loader.path, loader=loader)\n"
        "try:\n"
        "    importlib.util.module_from_spec(spec)\n"
        "except ImportError as e:\n"
        "    assert str(e) == 'veldra._native can only be imported in the main interpreter', e\n"
        "else:\n"
        "    raise RuntimeError('imported in a sub-interpreter')\n"
    )
    assert testcapi.run_in_subinterp(code) == 0


VARIANTS = [(Palette, "GRAY", 0, "Gray"), (Palette, "BLUE_RED", 1, "BlueRed"), (Palette, "HEAT", 2, "Heat"),
            (Palette, "CRIMSON", 3, "Crimson"), (Palette, "AZURE", 4, "Azure"), (Palette, "TERRAIN", 5, "Terrain"),
            (Shape, "SMOOTH", 0, "Smooth"), (Shape, "BILLOW", 1, "Billow"), (Shape, "RIDGED", 2, "Ridged")]


@pytest.mark.parametrize("cls, attribute, value, display", VARIANTS)
def test_variants(cls, attribute, value, display):
    variant = getattr(cls, attribute)
    assert variant is getattr(cls, attribute) and type(variant) is cls and int(variant) == value
    assert repr(variant) == str(variant) == f"{cls.__name__}.{display}"
    # Equal to its own kind's variant or to its integer only; no order, no hash.
    assert variant == value and variant == Indexable(value) and variant != value + 1 and variant != float(value)
    assert variant != (Shape.SMOOTH if cls is Palette else Palette.GRAY)  # another kind, at any integer
    for refused in (lambda: variant < value, lambda: hash(variant)):
        with pytest.raises(TypeError):
            refused()


@pytest.mark.parametrize("palette, position, rgb", [
    (Palette.GRAY, 0.25, (64, 64, 64)), (Palette.BLUE_RED, 0.25, (140, 175, 210)),
    (Palette.BLUE_RED, 2, (178, 24, 43)), (Palette.HEAT, 0.3, (153, 16, 0)), (Palette.HEAT, 0.5, (255, 80, 0)),
    (Palette.CRIMSON, 0.5, (179, 23, 58)), (Palette.TERRAIN, 0.5, (153, 174, 106)),
    (Palette.TERRAIN, -1, (12, 44, 92)), (Palette.HEAT, float("nan"), (0, 0, 0)), (Palette.AZURE, 7, (78, 132, 234)), (Palette.AZURE, -3, (12, 30, 88)),
])
def test_palette_colours(palette, position, rgb):
    assert palette.color(position=position) == rgb


def test_settings_defaults_and_reprs():
    relief = dict(shape=Shape.BILLOW, palette=Palette.CRIMSON, light=(-0.55, -0.55, 0.63), height=0.32,
                  gamma=1.2, occlusion=0.78, ambient=0.24, diffuse=0.9, specular=0.45, gloss=80.0)
    globe = dict(rgb_from_fourth_axis=True, fill=0.92, background=(7, 8, 12), samples=2)
    globe_surface = dict(relief, height=0.9, gamma=1.6, occlusion=0.7, ambient=0.3, diffuse=1.2, gloss=300.0)
    hair = dict(count=45000, steps=170, step=0.05, force=1.0, drag=3.0, swirl=62.0, thickness=1.3, opacity=0.95,
                frizz=0.16, jitter=0.6, depth=0.6, taper=0.22, light=(-0.55, -0.55), ambient=0.13, diffuse=0.5,
                specular=0.62, gloss=14.0, color_from_field=False, palette=Palette.GRAY, seed=1)
    hair_surface = dict(relief, height=0.12)
    for settings, fields in [(Relief(), relief), (Relief(*[None] * 10), relief), (Globe(), globe),
                             (Globe().surface, globe_surface), (Hair(), hair), (Hair().surface, hair_surface)]:
        assert {name: getattr(settings, name) for name in fields} == fields
    assert repr(Relief()) == "Relief(shape=Billow, palette=Crimson, height=0.32)"
    assert repr(Globe()) == "Globe(fill=0.92, samples=2)"
    assert repr(Hair()) == "Hair(count=45000, steps=170, color_from_field=false)"
    assert repr(Renderer(Instance([2, 3], seed=2**64 - 1))) == f"Renderer(dims=[2, 3], seed={2**64 - 1})"
    assert repr(Renderer(Field([8, 8], seed=7, octaves=6))) == "Renderer(Field(dims=[8, 8], seed=7, octaves=6))"
    # Reprs write floats plainly and integers in full.
    assert repr(Relief(height=2**64)) == "Relief(shape=Billow, palette=Crimson, height=18446744073709552000)"
    assert repr(Globe(fill=float("nan"), samples=2**64 - 1)) == f"Globe(fill=NaN, samples={2**64 - 1})"


@pytest.mark.parametrize("owner", [Globe, Hair])
def test_a_surface_is_copied_both_ways(owner):
    obj = owner()
    surface = obj.surface
    surface.height = 5.0
    assert obj.surface.height != 5.0
    obj.surface = surface
    surface.height = 6.0
    assert obj.surface.height == 5.0
