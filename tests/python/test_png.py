"""PNG files of uint8 and uint16 arrays, and 16-bit heightmaps."""

import math
import struct

import numpy as np
import pytest

import veldra
from veldra import Field, Instance, Renderer, table_from_bytes

PIL = pytest.importorskip("PIL.Image")

RNG = np.random.default_rng(5)
ARRAYS = {  # rows of one byte, of a block each, not whole blocks, one row; any layout and byte order
    "one byte a row": RNG.integers(0, 256, (9, 1), np.uint8),
    "RGB, strided": RNG.integers(0, 256, (900, 1400, 3), np.uint8)[:, ::2],
    "grey, a block a row": RNG.integers(0, 256, (2, 1 << 20), np.uint8),
    "16-bit, one row": RNG.integers(0, 65536, (1, 700), np.uint16),
    "16-bit, Fortran order": np.asfortranarray(RNG.integers(0, 65536, (1200, 1000), np.uint16)),
    "16-bit, big-endian": RNG.integers(0, 65536, (30, 20), np.uint16).astype(">u2"),
}


@pytest.mark.parametrize("array", ARRAYS.values(), ids=ARRAYS.keys())
def test_arrays_decode_to_their_samples(tmp_path, array):
    veldra.write_png(array, tmp_path / "a.png")
    with PIL.open(tmp_path / "a.png") as decoded:
        assert np.array_equal(np.asarray(decoded), array)


def test_uint8_arrays_are_written_as_images_are(tmp_path):
    image = Renderer(Field([4, 4], seed=3, octaves=3)).relief([100, 100])
    image.write_png(tmp_path / "image.png")
    veldra.write_png(np.asarray(image), tmp_path / "array.png")
    assert (tmp_path / "array.png").read_bytes() == (tmp_path / "image.png").read_bytes()


@pytest.mark.parametrize("array, message", [
    (np.zeros((2, 2), np.float32), "A PNG needs uint8 or uint16 samples, got format 'f'"),
    (np.zeros((2, 2, 4), np.uint8), "A PNG needs an array of shape (height, width) or (height, width, 3), got (2, 2, 4)"),
])
def test_other_arrays_are_refused(tmp_path, array, message):
    with pytest.raises(ValueError, match=message.replace("(", r"\(").replace(")", r"\)")):
        veldra.write_png(array, tmp_path / "a.png")
    assert list(tmp_path.iterdir()) == []


def expected_level(v, lo, hi, top=65535):
    """The documented rule: (v - lo) / (hi - lo) times top, rounded half away from zero."""
    x = (v - lo) / (hi - lo) * top
    return int(x) + (x - int(x) >= 0.5)


def test_heightmaps_map_the_range_onto_every_level():
    below, above = math.nextafter(2.5, 0), math.nextafter(2.5, 5)
    values = [0.0, 65535.0, 2.5, below, above, 32767.5, 1.0, math.nan, 65534.5]
    levels = list(np.asarray(veldra.heightmap(table_from_bytes([3, 3], struct.pack("<9d", *values)))))
    assert [int(level) for row in levels for level in row] == [
        0, 65535, 3, 2, 3, expected_level(32767.5, 0, 65535), 1, 0, expected_level(65534.5, 0, 65535)]


def test_a_flat_table_is_mid_grey_and_8_bits_are_the_greyscale_picture():
    flat = table_from_bytes([2, 2], struct.pack("<4d", 0.25, 0.25, 0.25, 0.25))
    assert np.asarray(veldra.heightmap(flat)).tolist() == [[32768] * 2] * 2
    field = Instance([4, 4], seed=2)
    assert np.asarray(veldra.heightmap(field.table([9, 7]), bits=8)).tobytes() == \
        Renderer(field).grayscale([9, 7]).pixels
