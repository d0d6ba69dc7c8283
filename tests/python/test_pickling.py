"""Pickles and copies of every class, and the value constructors that
unpickle tables and images, which must refuse crafted input cleanly."""

import copy
import pickle
from pathlib import Path

import pytest

from veldra import (Field, Globe, Hair, Image, Instance, Palette, Relief, Renderer, Shape, Table,
                    image_from_bytes, table_from_bytes)

FIELD = Instance([3, 2], seed=11)
MEMBERS = [m for cls in (Palette, Shape) for m in vars(cls).values() if isinstance(m, cls)]
OBJECTS = [
    FIELD,
    Instance([1] * 9, seed=2**64 - 1),
    Renderer(FIELD),
    Field([3, 2], seed=4, octaves=3, lacunarity=3, gain=0.25, octave_shape=Shape.BILLOW, periodic=True),
    Field([3, 2], seed=4, octaves=2, lacunarity=1.7, unbounded=True), Field([3, 2], seed=4, periodic=[False, True]),
    Renderer(Field([3, 2], seed=4, octaves=2)),
    FIELD.table([3, 2]),
    Renderer(FIELD).grayscale([2, 3]),
    Renderer(Instance([2, 2, 2], seed=5)).rgb_channels([2, 2, 2]),
    Relief(shape=Shape.RIDGED, palette=Palette.TERRAIN, light=[0.1, 0.2, 0.3], gloss=7.5),
    Globe(surface=Relief(height=0.25, palette=Palette.AZURE), rgb_from_fourth_axis=False, fill=0.5,
          background=[1, 2, 3], samples=3),
    Hair(count=10, light=[0.5, -0.25], color_from_field=True, surface=Relief(gamma=3.0),
         palette=Palette.HEAT, seed=9),
    *MEMBERS,
]
COPIERS = {
    "copy": copy.copy,
    "deepcopy": copy.deepcopy,
    **{f"pickle{p}": lambda o, p=p: pickle.loads(pickle.dumps(o, protocol=p)) for p in range(2, 6)},
}


def state(obj):
    """Everything that tells the object from another of its class."""
    if isinstance(obj, Field):
        return repr(obj), obj.noise([0.37 * d for d in obj.dims])
    if isinstance(obj, Instance):
        point = [0.37 * d for d in obj.dims]
        return obj.dims, obj.seed, obj.noise(point), obj.force(point)
    if isinstance(obj, Renderer):
        return state(obj.instance())
    if isinstance(obj, Table):
        return obj.shape, bytes(obj)
    if isinstance(obj, Image):
        return obj.width, obj.height, obj.channels, obj.pixels
    if isinstance(obj, (Relief, Globe, Hair)):
        return {name: state(getattr(obj, name)) for name in dir(obj) if not name.startswith("_")}
    return obj


@pytest.mark.parametrize("copier", COPIERS.values(), ids=COPIERS)
@pytest.mark.parametrize("obj", OBJECTS, ids=repr)
def test_copies_equal_the_original(obj, copier):
    twin = copier(obj)
    assert type(twin) is type(obj) and state(twin) == state(obj)
    assert (twin is obj) == isinstance(obj, (Palette, Shape))


# data/old-2.pickle and data/old-5.pickle hold {name: make() for name, make in OLD.items()}, pickled with
# protocols 2 and 5 by the build of commit 63c7ef7, when Field lived in veldra._extras. They name
# veldra.Instance, Renderer, Relief, Globe, Hair, Palette and Shape, veldra._extras.table_from_bytes and
# image_from_bytes, veldra._pickling.field_from_arguments and settings_from_fields, and builtins.getattr
# (__builtin__.getattr and _codecs.encode in protocol 2), and must keep loading.
OLD = {
    "instance": lambda: Instance([4, 3], seed=12),
    "field": lambda: Field([3, 2, 2], seed=13, octaves=3, lacunarity=3, gain=0.7, octave_shape=Shape.RIDGED,
                           periodic=True),
    "table": lambda: Instance([2, 2], seed=14).table([2, 1]),
    "image": lambda: Renderer(Instance([2, 2, 2], seed=15)).rgb_channels([3, 2, 2]),
    "renderer": lambda: Renderer(Instance([3, 3], seed=16)),
    "field_renderer": lambda: Renderer(Field([3, 3], seed=17, octaves=2, octave_shape=Shape.BILLOW)),
    "relief": lambda: Relief(shape=Shape.BILLOW, palette=Palette.HEAT, light=[0.3, -0.2, 0.9], gamma=0.8, gloss=12.0),
    "globe": lambda: Globe(surface=Relief(height=0.3), rgb_from_fourth_axis=False, fill=0.25, background=[9, 8, 7],
                           samples=2),
    "hair": lambda: Hair(count=77, steps=12, light=[0.25, 0.75], color_from_field=True, palette=Palette.AZURE, seed=5,
                         taper=0.4),
    "members": lambda: [Palette.GRAY, Palette.BLUE_RED, Palette.HEAT, Palette.CRIMSON, Palette.AZURE,
                        Palette.TERRAIN, Shape.SMOOTH, Shape.BILLOW, Shape.RIDGED],
}


@pytest.mark.parametrize("protocol", [2, 5])
def test_old_pickles_load(protocol):
    old = pickle.loads((Path(__file__).parent / "data" / f"old-{protocol}.pickle").read_bytes())
    assert sorted(old) == sorted(OLD)
    for name, make in OLD.items():
        assert type(old[name]) is type(make()) and state(old[name]) == state(make()), name


def test_tables_take_any_contiguous_buffer():
    table = FIELD.table([3, 2])
    rebuilt = table_from_bytes(table.shape, memoryview(bytearray(bytes(table))).cast("d"))
    assert bytes(rebuilt) == bytes(table)


T, I = table_from_bytes, image_from_bytes
HOSTILE = [
    (lambda: T([], b""), ValueError, "A table has 1 to 16 axes, got 0"),
    (lambda: T([1] * 17, bytes(8)), ValueError, "A table has 1 to 16 axes, got 17"),
    (lambda: T([2**32, 2**32], b""), ValueError, "Grid size overflows usize"),
    (lambda: T([2**61], b""), MemoryError, "Cannot allocate 2305843009213693952 values of 8 bytes (more than 16 EiB)"),
    (lambda: T([0, 2**63], b""), ValueError, "Shape [0, 9223372036854775808] is too large to address"),
    (lambda: T([2**60, 0], b""), ValueError, "Shape [1152921504606846976, 0] is too large to address"),
    (lambda: T([2, 3], bytes(47)), ValueError, "Expected 48 bytes for shape [2, 3], got 47"),
    (lambda: T([-1], b""), OverflowError, "argument 'shape': can't convert negative int to unsigned"),
    (lambda: T("12", b""), TypeError, "argument 'shape': Can't extract `str` to `Vec`"),
    (lambda: T([2], "x" * 16), TypeError, "argument 'data': a bytes-like object is required, not 'str'"),
    (lambda: T([2], memoryview(bytes(32))[::2]), TypeError,
     "argument 'data': memoryview: underlying buffer is not C-contiguous"),
    (lambda: I(0, 1, 1, b""), ValueError, "An image needs a positive width and height"),
    (lambda: I(1, 1, 2, b"xx"), ValueError, "Channels has to be 1 or 3, got 2"),
    (lambda: I(2**32, 2**32, 3, b""), MemoryError, "Out of memory"),
    (lambda: I(2, 2, 3, bytes(11)), ValueError, "Expected 12 bytes for 2x2 pixels of 3 channels, got 11"),
]


@pytest.mark.parametrize("call, error, message", HOSTILE)
def test_value_constructors_refuse_crafted_input(call, error, message):
    with pytest.raises(error) as caught:
        call()
    assert str(caught.value) == message
