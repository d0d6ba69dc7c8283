"""Zero-copy views of tables and images through the buffer protocol."""

import gc

import pytest

from veldra import Instance, Palette, Renderer

np = pytest.importorskip("numpy")


def test_table_view_is_read_only_float64_in_table_shape():
    table = Instance([3, 4], seed=2).table([4, 2])
    array = np.asarray(table)
    assert array.shape == (13, 9) and tuple(table.shape) == array.shape
    assert array.dtype == np.float64 and array.strides == (72, 8)
    assert not array.flags.writeable and array.flags.c_contiguous
    assert array.ravel().tolist() == table.values
    with pytest.raises(ValueError):
        array[0, 0] = 1.0


def test_views_share_memory_instead_of_copying():
    table = Instance([2, 2, 2], seed=1).table([2, 2, 2])
    first, second = np.asarray(table), np.asarray(table)
    assert np.shares_memory(first, second)
    assert first.__array_interface__["data"][0] == second.__array_interface__["data"][0]


@pytest.mark.parametrize(
    "image, shape",
    [
        (Renderer(Instance([4, 3], seed=1)).grayscale([4, 4]), (17, 13)),
        (Renderer(Instance([4, 3], seed=1)).colored([4, 4], Palette.HEAT), (17, 13, 3)),
    ],
)
def test_image_view_is_uint8_rows_columns_channels(image, shape):
    array = np.asarray(image)
    assert array.shape == shape and array.dtype == np.uint8 and not array.flags.writeable
    assert array.tobytes() == image.pixels
    assert bytes(array[5, 7].reshape(-1)) == image.pixel(7, 5)


def test_memoryview_of_table_and_image():
    table = Instance([2, 2], seed=1).table([3, 3])
    view = memoryview(table)
    assert (view.format, view.itemsize, view.shape, view.readonly) == ("d", 8, (7, 7), True)
    assert view.tolist()[1][2] == table.get([1, 2])
    image = Renderer(Instance([2, 2], seed=1)).colored([3, 3], Palette.GRAY)
    pixels = memoryview(image)
    assert (pixels.format, pixels.shape, pixels.readonly) == ("B", (7, 7, 3), True)
    assert pixels.tobytes() == image.pixels
    with pytest.raises(TypeError):
        pixels[0, 0, 0] = 1


def test_a_plain_byte_request_sees_the_raw_data():
    table = Instance([2], seed=1).table([2])
    assert bytes(table) == np.asarray(table).tobytes()
    assert len(bytes(table)) == 5 * 8


PYBUF_WRITABLE = 0x0001
PYBUF_F_CONTIGUOUS = 0x0040 | 0x0010 | 0x0008


@pytest.mark.parametrize("flags", [PYBUF_WRITABLE, PYBUF_F_CONTIGUOUS])
def test_writable_and_fortran_views_are_refused(flags):
    import ctypes

    get_buffer = ctypes.pythonapi.PyObject_GetBuffer
    get_buffer.argtypes = [ctypes.py_object, ctypes.c_void_p, ctypes.c_int]
    view = ctypes.create_string_buffer(256)  # larger than a Py_buffer
    with pytest.raises(BufferError):
        get_buffer(Instance([2, 2], seed=1).table([2, 2]), view, flags)


@pytest.mark.parametrize("make", [
    lambda: Instance([5, 5], seed=3).table([7, 7]),
    lambda: Renderer(Instance([5, 5], seed=3)).colored([7, 7], Palette.TERRAIN),
])
def test_a_view_keeps_its_source_alive(make):
    source = make()
    array = np.asarray(source)
    expected = array.copy()
    del source
    gc.collect()
    # Allocate and drop similar objects so freed memory would be reused.
    for _ in range(5):
        make()
    assert np.array_equal(array, expected)
    view = memoryview(make())
    gc.collect()
    assert view.nbytes > 0 and view.tobytes() == view.tobytes()
