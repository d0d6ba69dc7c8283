"""The module's registration, class conventions and argument binding."""

import inspect

import pytest

import veldra
from veldra import _extras, _native

CLASSES = ["Palette", "Shape", "Relief", "Globe", "Hair", "Instance", "Table", "Image", "Renderer"]


def test_all_lists_constants_then_classes_in_order():
    assert _native.__all__ == ["MAX_DIMS", "MAX_SAMPLES", *CLASSES]
    assert (_native.MAX_DIMS, _native.MAX_SAMPLES) == (16, 8)
    assert _native.__doc__ == ""
    assert veldra.__all__ == _native.__all__


@pytest.mark.parametrize("name", CLASSES)
def test_classes_live_in_veldra(name):
    cls = getattr(_native, name)
    assert cls.__module__ == "veldra"
    assert cls.__name__ == cls.__qualname__ == name
    assert cls.__bases__ == (object,)


@pytest.mark.parametrize(
    "cls, signature",
    [
        (_native.Instance, "(dims, seed=1)"),
        (_native.Renderer, "(noise)"),
        (_native.Relief, "(shape=None, palette=None, light=None, height=None, gamma=None, "
                         "occlusion=None, ambient=None, diffuse=None, specular=None, gloss=None)"),
        (_native.Globe, "(surface=None, rgb_from_fourth_axis=None, fill=None, background=None, samples=None)"),
    ],
)
def test_constructors_carry_text_signatures(cls, signature):
    assert cls.__text_signature__ == signature
    assert str(inspect.signature(cls)) == signature


@pytest.mark.parametrize("cls", [_native.Table, _native.Image, _native.Palette, _native.Shape])
def test_classes_without_constructor_cannot_be_called(cls):
    with pytest.raises(TypeError):
        cls()


def test_second_module_lists_its_functions_and_shares_the_classes():
    assert _extras.__all__ == ["table_from_bytes", "image_from_bytes"]
    assert all(getattr(_extras, name).__module__ == "veldra._extras" for name in _extras.__all__)
    assert _extras.__file__ == _native.__file__ and _extras.__doc__ == ""
    assert isinstance(_extras.table_from_bytes([1], bytes(8)), _native.Table)


@pytest.mark.parametrize("name", ["_native", "_extras"])
def test_module_is_initialised_once(name):
    import importlib
    import sys

    module = sys.modules.pop("veldra." + name)
    try:
        again = importlib.import_module("veldra._native") if name == "_native" else load(name)
        assert again is module
    finally:
        sys.modules["veldra." + name] = module


def load(name, path=_native.__file__):
    """Loads a module of _native's library under its own name, as the package does."""
    import importlib.machinery
    import importlib.util

    loader = importlib.machinery.ExtensionFileLoader("veldra." + name, path)
    return importlib.util.module_from_spec(importlib.util.spec_from_file_location(loader.name, path, loader=loader))


@pytest.mark.parametrize("name", ["_native", "_extras"])
def test_subinterpreters_are_refused(name):
    testcapi = pytest.importorskip("_testcapi")
    if not hasattr(testcapi, "run_in_subinterp"):
        pytest.skip("no legacy sub-interpreters in this build")
    code = (
        "import importlib.machinery, importlib.util\n"
        f"loader = importlib.machinery.ExtensionFileLoader('veldra.{name}', {_native.__file__!r})\n"
        "spec = importlib.util.spec_from_file_location(loader.name, loader.path, loader=loader)\n"
        "try:\n"
        "    importlib.util.module_from_spec(spec)\n"
        "except ImportError as e:\n"
        f"    assert str(e) == 'veldra.{name} can only be imported in the main interpreter', e\n"
        "else:\n"
        "    raise RuntimeError('imported in a sub-interpreter')\n"
    )
    assert testcapi.run_in_subinterp(code) == 0


BINDING_CASES = [
    (lambda: _native.Instance(), "Instance.__new__() missing 1 required positional argument: 'dims'"),
    (lambda: _native.Instance([1], 1, 2),
     "Instance.__new__() takes from 1 to 2 positional arguments but 3 were given"),
    (lambda: _native.Instance([1], dimz=2), "Instance.__new__() got an unexpected keyword argument 'dimz'"),
    (lambda: _native.Instance([1], dims=[2]), "Instance.__new__() got multiple values for argument 'dims'"),
    (lambda: _native.Instance([1]).noise([0.5], [0.5]),
     "Instance.noise() takes 1 positional arguments but 2 were given"),
    (lambda: _native.Instance([1]).noise(), "Instance.noise() missing 1 required positional argument: 'point'"),
    (lambda: _native.Renderer(_native.Instance([2, 2])).instance(1),
     "Renderer.instance() takes 0 positional arguments but 1 was given"),
    (lambda: _native.Renderer(_native.Instance([2, 2, 2])).rgb_palette(),
     "Renderer.rgb_palette() missing 3 required positional arguments: 'divisors', 'slice', and 'palette'"),
    (lambda: _native.Renderer(_native.Instance([2, 2, 2])).rgb_palette([1, 1, 1]),
     "Renderer.rgb_palette() missing 2 required positional arguments: 'slice' and 'palette'"),
    (lambda: _native.Relief(None, None, None, None, None, None, None, None, None, None, None),
     "Relief.__new__() takes from 0 to 10 positional arguments but 11 were given"),
]


@pytest.mark.parametrize("call, message", BINDING_CASES)
def test_binding_failures_are_type_errors(call, message):
    with pytest.raises(TypeError) as caught:
        call()
    assert str(caught.value) == message


class Real:
    def __float__(self):
        return 2.5


class Index:
    def __index__(self):
        return 3


@pytest.mark.parametrize(
    "point",
    [[0.5, 1], (0.5, 1), [Real(), Index()], range(2), b"\x01\x00", [True, False]],
)
def test_any_sequence_of_numbers_is_a_point(point):
    field = _native.Instance([4, 4])
    expected = field.noise([float(x) for x in point])
    assert field.noise(point) == expected


@pytest.mark.parametrize(
    "value, error, message",
    [
        ("12", TypeError, "argument 'point': Can't extract `str` to `Vec`"),
        (5, TypeError, "argument 'point': 'int' object cannot be converted to 'Sequence'"),
        ({0.5, 1.0}, TypeError, "argument 'point': 'set' object cannot be converted to 'Sequence'"),
        (["a", 1], TypeError, "argument 'point': must be real number, not str"),
        ([0.5, 10**400], OverflowError, "int too large to convert to float"),
    ],
)
def test_float_list_conversion_failures(value, error, message):
    with pytest.raises(error) as caught:
        _native.Instance([4, 4]).noise(value)
    assert str(caught.value) == message


@pytest.mark.parametrize(
    "dims, error, prefixed",
    [
        ([4, -1], OverflowError, False),
        ([4, 2**64], OverflowError, False),
        ([4.0], TypeError, True),
        ("44", TypeError, True),
    ],
)
def test_unsigned_list_conversion_failures(dims, error, prefixed):
    with pytest.raises(error) as caught:
        _native.Instance(dims)
    assert str(caught.value).startswith("argument 'dims': ") == prefixed


def test_type_error_wrapping_keeps_the_cause():
    class Bad:
        def __float__(self):
            try:
                raise KeyError("inner")
            except KeyError as inner:
                raise TypeError("outer") from inner

    with pytest.raises(TypeError) as caught:
        _native.Instance([2]).noise([Bad()])
    assert str(caught.value) == "argument 'point': outer"
    assert isinstance(caught.value.__cause__, KeyError)


def test_seed_none_is_not_the_default():
    with pytest.raises(TypeError, match="^argument 'seed': "):
        _native.Instance([2], seed=None)


def test_byte_out_of_range():
    with pytest.raises(OverflowError) as caught:
        _native.Globe(background=[0, 0, 256])
    assert str(caught.value) == "out of range integral type conversion attempted"


def test_flags_accept_only_booleans():
    assert _native.Globe(rgb_from_fourth_axis=False).rgb_from_fourth_axis is False
    with pytest.raises(TypeError) as caught:
        _native.Globe(rgb_from_fourth_axis=1)
    assert str(caught.value) == "argument 'rgb_from_fourth_axis': 'int' object cannot be converted to 'PyBool'"


def test_core_errors_are_value_errors_with_the_message():
    with pytest.raises(ValueError) as caught:
        _native.Instance([3, 0])
    assert caught.value.args == ("Dimension cannot be 0",)
