"""Zero-copy, read-only views of tables and images through the buffer protocol."""

import ctypes
import gc

import pytest

from children import sigint_latency
from veldra import Field, Instance, Palette, Renderer

np = pytest.importorskip("numpy")


def test_a_table_is_a_float64_array_in_its_shape():
    table = Instance([3, 4], seed=2).table([4, 2])
    array = np.asarray(table)
    assert (array.shape, array.strides, array.dtype) == ((13, 9), (72, 8), np.float64)
    assert not array.flags.writeable and array.ravel().tolist() == table.values
    assert np.shares_memory(array, np.asarray(table))
    view = memoryview(table)
    assert (view.format, view.itemsize, view.shape, view.readonly) == ("d", 8, (13, 9), True)
    assert bytes(table) == array.tobytes()  # a plain byte request sees the raw data


@pytest.mark.parametrize("channels, shape", [(1, (17, 13)), (3, (17, 13, 3))])
def test_an_image_is_a_uint8_array_of_rows_columns_channels(channels, shape):
    r = Renderer(Instance([4, 3], seed=1))
    image = r.grayscale([4, 4]) if channels == 1 else r.colored([4, 4], Palette.HEAT)
    array = np.asarray(image)
    assert (array.shape, array.dtype, array.flags.writeable) == (shape, np.uint8, False)
    assert array.tobytes() == image.pixels and bytes(array[5, 7].reshape(-1)) == image.pixel(7, 5)
    with pytest.raises(TypeError):
        memoryview(image)[0, 0] = 1


@pytest.mark.parametrize("flags", [0x0001, 0x0040 | 0x0010 | 0x0008], ids=["writable", "fortran"])
def test_writable_and_fortran_views_are_refused(flags):
    get_buffer = ctypes.pythonapi.PyObject_GetBuffer
    get_buffer.argtypes = [ctypes.py_object, ctypes.c_void_p, ctypes.c_int]
    with pytest.raises(BufferError):
        get_buffer(Instance([2, 2], seed=1).table([2, 2]), ctypes.create_string_buffer(256), flags)


@pytest.mark.parametrize("make", [lambda: Instance([5, 5], seed=3).table([7, 7]),
                                  lambda: Renderer(Instance([5, 5], seed=3)).colored([7, 7], Palette.TERRAIN)])
def test_a_view_keeps_its_source_alive(make):
    source = make()
    array = np.asarray(source)
    expected = array.tobytes()
    del source
    gc.collect()
    for _ in range(5):
        make()  # would reuse the memory of a source freed too early
    assert array.tobytes() == expected


FIELD_2D = Field([4, 3], seed=2, octaves=3)
POINTS = np.random.default_rng(4).uniform(0, 3, (60, 2))


def unaligned(points):
    """A float64 copy of `points` at an odd address."""
    view = np.frombuffer(bytearray(points.nbytes + 1), offset=1, count=points.size).reshape(points.shape)
    view[:] = points
    return view


@pytest.mark.parametrize("points", [
    POINTS.astype(np.float32), POINTS.astype(np.float16), POINTS.astype(">f8"), np.floor(POINTS).astype(np.int8),
    np.floor(POINTS).astype(np.uint64), np.asfortranarray(POINTS), POINTS[::3], POINTS.T.copy().T,
    unaligned(POINTS), memoryview(POINTS[::2]), np.broadcast_to(POINTS[:1], (5, 2)),
    [tuple(p) for p in POINTS.tolist()], tuple(POINTS),
], ids=["float32", "float16", "big-endian", "int8", "uint64", "fortran", "strided", "transposed", "unaligned",
        "memoryview", "zero-stride", "tuples", "tuple-of-arrays"])
@pytest.mark.parametrize("field", [FIELD_2D, Instance([4, 3], seed=2)], ids=repr)
def test_points_of_any_real_layout_are_converted_once(field, points):
    exact = np.ascontiguousarray(np.asarray(points, dtype=np.float64))
    for method in (field.noise_at, field.force_at):
        assert bytes(method(points)) == bytes(method(exact))


def test_one_axis_fields_take_a_flat_buffer_and_give_rows_of_one_force():
    field, xs = Field([4], seed=1, octaves=2), np.array([0.5, 1.25, 3.0])
    assert bytes(field.noise_at(xs)) == bytes(field.noise_at(xs[:, None]))
    assert field.force_at(xs).shape == [3, 1]
    assert Instance([4]).force_at([[0.5]]).shape == [1, 1] and Instance([4]).force_at([]).shape == [0, 1]


SLOW_LIST = r"""
import sys, time
from veldra import Instance
points = [[0.5, 0.5]] * 10_000_000
print("started", flush=True)
try:
    Instance([1, 1]).noise_at(points)
except KeyboardInterrupt:
    print(time.monotonic(), flush=True)
"""


def test_sigint_stops_the_conversion_of_a_long_list():
    assert sigint_latency(SLOW_LIST, delay=0.2) < 0.3
