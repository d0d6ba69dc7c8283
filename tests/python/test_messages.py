"""Every exception a call raises on purpose, with its exact text; where a
call checks several things, the cases show the order of the checks (each
case breaks a later rule too)."""

import pytest

from veldra import Field, Globe, Hair, Image, Instance, Palette, Relief, Renderer, Shape, Table

NAN, INF = float("nan"), float("inf")


def r(dims, seed=7):
    return Renderer(Instance(dims, seed=seed))


VALUE_ERRORS = [
    # fields and tables
    (lambda: Instance([]), "At least one dimension is required"),
    (lambda: Instance([0] * 17), "At most 16 dimensions are supported"),
    (lambda: Instance([3, 0]), "Dimension cannot be 0"),
    (lambda: Instance([2**64 - 1]), "Grid size overflows usize"),
    (lambda: Instance([2**32, 2**32]), "Grid size overflows usize"),
    (lambda: Instance([2, 2]).noise([2.0, 2.5]), "Coordinate 1 is 2.5, outside the boundary [0, 2]"),
    (lambda: Instance([2, 2]).noise([NAN, 0]), "Coordinate 0 is NaN, outside the boundary [0, 2]"),
    (lambda: Instance([2, 2]).force([1.0]), "Expected 2 coordinates, got 1"),
    (lambda: Instance([2, 2]).table([0]), "Expected 2 divisors, got 1"),
    (lambda: Instance([2, 2]).table_shape([0, 2**63]), "Divisor cannot be 0"),
    (lambda: Instance([2, 2]).table([2**63, 1]), "Grid size overflows usize"),
    (lambda: Instance([1, 1]).table_shape([2**64 - 1, 1]), "Grid size overflows usize"),
    # renderings: the field's dimensions, then the size or table, then the rest
    (lambda: Renderer(Instance([5])), "Images need 2 to 4 dimensions, got 1"),
    (lambda: Renderer(Instance([1] * 5)), "Images need 2 to 4 dimensions, got 5"),
    (lambda: r([2, 2, 2]).grayscale([0]), "This image needs a 2 dimensional field, got 3"),
    (lambda: r([2, 2, 2]).colored([0], Palette.GRAY), "This image needs a 2 dimensional field, got 3"),
    (lambda: r([2, 2]).colored([0, 8], Palette.HEAT), "Divisor cannot be 0"),
    (lambda: r([2, 2, 2]).relief([0]), "This image needs a 2 dimensional field, got 3"),
    (lambda: r([2, 2]).relief([4]), "Expected 2 divisors, got 1"),
    (lambda: r([2, 2]).rgb_channels_at([0], (9, 9, 9)), "This image needs a 3 dimensional field, got 2"),
    (lambda: r([2, 2]).rgb_palette([0], 9, Palette.GRAY), "This image needs a 3 dimensional field, got 2"),
    (lambda: r([2, 2, 2]).rgb_channels([8]), "Expected 3 divisors, got 1"),
    (lambda: r([4, 4, 1]).rgb_channels([8, 8, 1]),
     "The colour axis has 2 samples but needs at least 3; raise its divisor"),
    # a table this large cannot be had: the colour axis is checked before any noise
    (lambda: r([2, 2, 1]).rgb_channels([10**9, 10**9, 1]),
     "The colour axis has 2 samples but needs at least 3; raise its divisor"),
    (lambda: r([2, 2, 2]).rgb_channels_at([2, 2, 2], (5, 6, 0)), "Slice 5 is outside the colour axis, which has 5 samples"),
    (lambda: r([2, 2, 2]).rgb_channels_at([2, 2, 2], (0, 7, 9)), "Slice 7 is outside the colour axis, which has 5 samples"),
    (lambda: r([2, 2, 2]).rgb_palette([2, 2, 2], 5, Palette.HEAT), "Slice 5 is outside the colour axis, which has 5 samples"),
    (lambda: r([2, 2, 2]).rgb_channels_at([2, 2, 2], (0, 1)), "expected tuple of length 3, but got tuple of length 2"),
    (lambda: r([2, 2, 2]).globe(0, 0, Globe(fill=0, samples=0)), "This image needs a 4 dimensional field, got 3"),
    (lambda: r([2] * 4).globe(0, 10, Globe(fill=0)), "An image needs a positive width and height"),
    (lambda: r([2] * 4).globe(10, 10, Globe(fill=0, samples=0)), "Fill has to be above 0 and at most 1, got 0"),
    (lambda: r([2] * 4).globe(10, 10, Globe(fill=1.5)), "Fill has to be above 0 and at most 1, got 1.5"),
    (lambda: r([2] * 4).globe(10, 10, Globe(fill=NAN)), "Fill has to be above 0 and at most 1, got NaN"),
    (lambda: r([2] * 4).globe(10, 10, Globe(samples=0)), "Samples has to be between 1 and 8, got 0"),
    (lambda: r([2] * 4).globe(10, 10, Globe(samples=9)), "Samples has to be between 1 and 8, got 9"),
    # hair: the field, the size, then its settings in order (each rule's words
    # are also checked against a model in test_properties_settings)
    (lambda: r([2, 2, 2]).hair(0, 10, Hair(step=0)), "This image needs a 2 dimensional field, got 3"),
    (lambda: r([2, 2]).hair(10, 0, Hair(step=0)), "An image needs a positive width and height"),
    (lambda: r([2, 2]).hair(10, 10, Hair(step=INF, gloss=0)), "The step has to be above 0, got inf"),
    (lambda: r([2, 2]).hair(10, 10, Hair(force=INF, drag=-1)), "Drag cannot be negative, got -1"),
    (lambda: r([2, 2]).hair(10, 10, Hair(drag=NAN)), "Drag cannot be negative, got NaN"),
    (lambda: r([2, 2]).hair(10, 10, Hair(force=-INF)), "The force has to be a number, got -inf"),
    (lambda: r([2, 2]).hair(10, 10, Hair(opacity=NAN)), "Opacity has to be 0 to 1, got NaN"),
    (lambda: r([2, 2]).hair(10, 10, Hair(taper=0.51)), "Taper has to be 0 to 0.5, got 0.51"),
    (lambda: r([2, 2]).hair(10, 10, Hair(diffuse=1e20)), "Diffuse has to be 0 to 1, got 100000000000000000000"),
    (lambda: r([2, 2]).hair(10, 10, Hair(gloss=-0.0)), "Gloss has to be above 0, got -0"),
    # settings: a wrong length is reported only after every field converted
    (lambda: Relief(light=[0.5, -0.5]), "light wants three numbers, got [0.5, -0.5]"),
    (lambda: Globe(background=[1, 2]), "background wants three bytes, got [1, 2]"),
    (lambda: Hair(light=[1, 2, 3]), "light wants two numbers, got [1.0, 2.0, 3.0]"),
]


@pytest.mark.parametrize("call, message", VALUE_ERRORS)
def test_value_errors(call, message):
    with pytest.raises(ValueError) as caught:
        call()
    assert caught.value.args == (message,)


class Real:
    def __float__(self):
        return 2.5


OTHER_ERRORS = [
    # binding, named after the callable
    (lambda: Instance(), TypeError, "Instance.__new__() missing 1 required positional argument: 'dims'"),
    (lambda: Instance([1], 1, 2), TypeError, "Instance.__new__() takes from 1 to 2 positional arguments but 3 were given"),
    (lambda: Instance([1], dimz=2), TypeError, "Instance.__new__() got an unexpected keyword argument 'dimz'"),
    (lambda: Instance([1], dims=[2]), TypeError, "Instance.__new__() got multiple values for argument 'dims'"),
    (lambda: Instance([1]).noise([0.5], [0.5]), TypeError, "Instance.noise() takes 1 positional arguments but 2 were given"),
    (lambda: r([2, 2]).instance(1), TypeError, "Renderer.instance() takes 0 positional arguments but 1 was given"),
    (lambda: r([2, 2, 2]).rgb_palette(), TypeError,
     "Renderer.rgb_palette() missing 3 required positional arguments: 'divisors', 'slice', and 'palette'"),
    (lambda: r([2, 2, 2]).rgb_palette([1, 1, 1]), TypeError,
     "Renderer.rgb_palette() missing 2 required positional arguments: 'slice' and 'palette'"),
    (lambda: Instance(**{"dims\x00junk": [2]}), TypeError,
     "Instance.__new__() got an unexpected keyword argument 'dims\x00junk'"),  # matched by the whole name
    (lambda: Relief(*[None] * 11), TypeError, "Relief.__new__() takes from 0 to 10 positional arguments but 11 were given"),
    # conversions, named after the argument
    (lambda: Instance([2]).noise("12"), TypeError, "argument 'point': Can't extract `str` to `Vec`"),
    (lambda: Instance([2]).noise(5), TypeError, "argument 'point': 'int' object cannot be converted to 'Sequence'"),
    (lambda: Instance([2]).noise({0.5}), TypeError, "argument 'point': 'set' object cannot be converted to 'Sequence'"),
    (lambda: Instance([2]).noise(["a"]), TypeError, "argument 'point': must be real number, not str"),
    (lambda: Instance([2]).noise([10**400]), OverflowError, "int too large to convert to float"),
    (lambda: Instance([4.0]), TypeError, "argument 'dims': 'float' object cannot be interpreted as an integer"),
    (lambda: Instance([4, -1]), OverflowError, "can't convert negative int to unsigned"),
    # ... named by the calls added since (regions, Field, points)
    (lambda: Instance([2, 2]).table_region([1, 1], [-1, 0], [1, 1]), OverflowError,
     "argument 'start': can't convert negative int to unsigned"),
    (lambda: Field([2, -1]), OverflowError, "argument 'dims': can't convert negative int to unsigned"),
    (lambda: Field([2]).table([2**64]), OverflowError, "argument 'divisors': int too big to convert"),
    (lambda: Field([2]).noise_at([[10**400]]), OverflowError, "argument 'points': int too large to convert to float"),
    (lambda: Field([2]).noise_at(memoryview(bytes(2)).cast("?", (2, 1))), TypeError,
     "argument 'points': expected real numbers (float or integer), got buffer format '?'"),
    (lambda: Field([2, 2]).force_at(memoryview(bytes(32)).cast("d")), TypeError,
     "argument 'points': expected a 2-dimensional buffer of float64, got 1 dimensions of format 'd'"),
    (lambda: Instance([1]).table([2**60 - 1]), MemoryError, "Cannot allocate 1152921504606846976 values of 8 bytes (8 EiB)"),
    (lambda: Instance([2]).table([2**61]), MemoryError,
     "Cannot allocate 4611686018427387905 values of 8 bytes (more than 16 EiB)"),
    (lambda: Instance([2], seed=None), TypeError, "argument 'seed': 'NoneType' object cannot be interpreted as an integer"),
    (lambda: Hair(count=1.5), TypeError, "argument 'count': 'float' object cannot be interpreted as an integer"),
    (lambda: Globe(background=[0, 0, 256]), OverflowError, "out of range integral type conversion attempted"),
    (lambda: Globe(rgb_from_fourth_axis=1), TypeError, "argument 'rgb_from_fourth_axis': 'int' object cannot be converted to 'PyBool'"),
    (lambda: Relief(light="abc"), TypeError, "argument 'light': Can't extract `str` to `Vec`"),
    (lambda: Relief(light=[1, 2], gloss="x"), TypeError, "argument 'gloss': must be real number, not str"),
    (lambda: Relief(shape=Palette.GRAY), TypeError, "argument 'shape': 'Palette' object cannot be converted to 'Shape'"),
    (lambda: Renderer(3), TypeError, "argument 'noise': 'int' object cannot be converted to 'Instance'"),
    (lambda: r([2, 2]).relief([4, 4], Globe()), TypeError, "argument 'relief': 'Globe' object cannot be converted to 'Relief'"),
    (lambda: r([2, 2]).hair(8, 8, Relief()), TypeError, "argument 'hair': 'Relief' object cannot be converted to 'Hair'"),
    (lambda: r([2, 2, 2]).rgb_channels_at([2, 2, 2], [0, 1, 2]), TypeError,
     "argument 'slices': 'list' object cannot be converted to 'PyTuple'"),
    (lambda: setattr(Relief(), "gamma", None), TypeError, "argument 'value': must be real number, not NoneType"),
    (lambda: delattr(Hair(), "surface"), AttributeError, "can't delete attribute"),
    (lambda: r([2, 2]).grayscale([1, 1]).write_png(b"a.png"), TypeError,
     "argument 'path': 'bytes' object cannot be converted to 'PyString'"),
    (lambda: r([2, 2]).grayscale([1, 1]).write_png("a\0b"), ValueError, "embedded null byte"),
]


@pytest.mark.parametrize("call, error, message", OTHER_ERRORS)
def test_type_overflow_and_attribute_errors(call, error, message):
    with pytest.raises(error) as caught:
        call()
    assert type(caught.value) is error and str(caught.value) == message


def test_a_wrapped_type_error_keeps_its_cause():
    class Bad:
        def __float__(self):
            try:
                raise KeyError("inner")
            except KeyError as inner:
                raise TypeError("outer") from inner

    with pytest.raises(TypeError) as caught:
        Instance([2]).noise([Bad()])
    assert str(caught.value) == "argument 'point': outer" and isinstance(caught.value.__cause__, KeyError)


@pytest.mark.parametrize("cls", [Table, Image, Palette, Shape])
def test_classes_without_constructor_cannot_be_called(cls):
    with pytest.raises(TypeError):
        cls()
