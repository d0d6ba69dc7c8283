"""Pictures made region by region: tiles reassemble to the whole renderings
byte for byte. PngWriter writes nothing at all unless it is given every row
(its bytes, band by band, are checked through veldra.dask.write_png)."""

import os
import subprocess
import sys
import threading

import numpy as np
import pytest

import veldra
from veldra import Field, Instance, Palette, PngWriter, Relief, Renderer, Shape

FIELDS = [
    (Instance([3, 4], 5), [1, 1]),  # lattice points only: no spread
    (Instance([3, 4], 5), [7, 5]),
    (Field([3, 2], 3, octaves=3), [9, 11]),
    (Field([40, 30], 2, octaves=3, octave_shape=Shape.BILLOW), [8, 8]),  # 321 x 241
]
RELIEFS = [Relief(), Relief(shape=Shape.RIDGED, palette=Palette.TERRAIN, light=[0.3, -0.8, 0.4], height=2.0)]


def folded(values, fold):
    return values if fold in (None, Shape.SMOOTH) else np.abs(values) * (1 if fold == Shape.BILLOW else -1)


def cuts(extent):
    """Region edges along one axis: 1-pixel regions at both borders, uneven steps between."""
    return sorted({0, 1, extent - 1, extent} | set(range(1, extent - 1, max(extent // 3, 2) + 1)))


def tiles(rows, cols):
    r, c = cuts(rows), cuts(cols)
    return [([r0, c0], [r1 - r0, c1 - c0]) for r0, r1 in zip(r, r[1:]) for c0, c1 in zip(c, c[1:])]


def assembled(render, rows, cols):
    """The picture put together from render(start, shape) of every tile."""
    parts = {tuple(start): np.asarray(render(start, shape)) for start, shape in tiles(rows, cols)}
    r, c = cuts(rows), cuts(cols)
    return np.concatenate([np.concatenate([parts[r0, c0] for c0 in c[:-1]], axis=1) for r0 in r[:-1]])


@pytest.mark.parametrize("field, divisors", FIELDS, ids=repr)
def test_tiles_reassemble_to_the_whole_renderings(field, divisors):
    renderer, table = Renderer(field), np.asarray(field.table(divisors))
    rows, cols = table.shape

    def merged_range(fold):
        ranges = [veldra.value_range(field, divisors, start, shape, fold) for start, shape in tiles(rows, cols)]
        lo, hi = min(r[0] for r in ranges), max(r[1] for r in ranges)
        assert (lo, hi) == (folded(table, fold).min(), folded(table, fold).max())
        return lo, hi

    lo, hi = merged_range(None)
    gray = assembled(lambda start, shape: veldra.grayscale_region(field, divisors, start, shape, lo, hi), rows, cols)
    assert np.array_equal(gray, np.asarray(renderer.grayscale(divisors)))
    colored = assembled(lambda s, e: veldra.colored_region(field, divisors, Palette.BLUE_RED, s, e, lo, hi), rows, cols)
    assert np.array_equal(colored, np.asarray(renderer.colored(divisors, Palette.BLUE_RED)))
    for relief in RELIEFS:
        lo, hi = merged_range(relief.shape)
        lit = assembled(lambda s, e: veldra.relief_region(field, divisors, relief, s, e, lo, hi), rows, cols)
        assert np.array_equal(lit, np.asarray(renderer.relief(divisors, relief)))


def test_regions_of_many_strips_are_the_whole_renderings():
    # So wide that a region is rendered and measured a few rows at a time.
    field, divisors = Field([2, 64], 6, octaves=3), [8, 1024]  # 17 x 65537
    table = np.asarray(field.table(divisors))
    rows, cols = table.shape
    for relief in RELIEFS:
        lo, hi = veldra.value_range(field, divisors, [0, 0], [rows, cols], relief.shape)
        assert (lo, hi) == (folded(table, relief.shape).min(), folded(table, relief.shape).max())
        whole = np.asarray(Renderer(field).relief(divisors, relief))
        for (r, c), (h, w) in [((0, 0), (rows, cols)), ((3, 1), (13, cols - 2))]:
            lit = np.asarray(veldra.relief_region(field, divisors, relief, [r, c], [h, w], lo, hi))
            assert np.array_equal(lit, whole[r:r + h, c:c + w])


REGION_CALLS = {
    "value_range": lambda f, d, s, e: veldra.value_range(f, d, s, e, Shape.BILLOW),
    "grayscale_region": lambda f, d, s, e: veldra.grayscale_region(f, d, s, e, 0.0, 1.0),
    "colored_region": lambda f, d, s, e: veldra.colored_region(f, d, Palette.GRAY, s, e, 0.0, 1.0),
    "relief_region": lambda f, d, s, e: veldra.relief_region(f, d, Relief(), s, e, 0.0, 1.0),
}


# The field's dimensions, then the box as table_region checks it (whose
# every message test_regions checks).
@pytest.mark.parametrize("call", REGION_CALLS.values(), ids=REGION_CALLS.keys())
@pytest.mark.parametrize("field, divisors, start, shape, message", [
    (Instance([4], 1), [2], [0, 0], [1, 1], "This image needs a 2 dimensional field, got 1"),
    (Field([1, 1, 1], 1, octaves=2), [1, 1, 1], [0], [1], "This image needs a 2 dimensional field, got 3"),
    (Field([3, 4], 5, octaves=2), [2, 2], [0, 8], [1, 2], "Region on axis 1 ends at 10, beyond the table's 9"),
])
def test_bad_regions_are_refused(call, field, divisors, start, shape, message):
    with pytest.raises(ValueError) as caught:
        call(field, divisors, start, shape)
    assert str(caught.value) == message


@pytest.mark.parametrize("kind", ["Field", "Instance"])
def test_a_region_borrows_the_lattice_rather_than_copying_it(kind):
    # Peak memory, in a process of its own, before and after a 1 x 1 range
    # of a field whose lattice takes 2049 * 2049 * 2 * 8 bytes (67 MB).
    grown = subprocess.run([sys.executable, "-c", f"""
import resource
from veldra import {kind}, value_range
field = {kind}([2048, 2048], 3)
before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
value_range(field, [1, 1], [5, 5], [1, 1])
print(resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - before)
"""], capture_output=True, text=True, check=True).stdout
    assert int(grown) * 1024 < 67_000_000 / 10


def test_png_writer_refuses_bad_sizes_and_rows_and_leaves_no_file(tmp_path):
    target = tmp_path / "out.png"
    for width, height, channels, message in [(0, 2, 1, "An image needs a positive width and height"),
                                             (2, 2, 2, "Channels has to be 1 or 3, got 2")]:
        with pytest.raises(ValueError, match=f"^{message}$"):
            PngWriter(target, width, height, channels)
    writer = PngWriter(target, 4, 10, 3)
    for pixels, message in [(bytes(11), "Expected whole rows of 12 bytes, got 11 bytes"),
                            (bytes(12 * 11), "Got 11 rows, but only 10 of 10 remain")]:
        with pytest.raises(ValueError, match=f"^{message}$"):
            writer.write_rows(pixels)
    writer.write_rows(bytearray(12 * 3))
    with pytest.raises(ValueError, match="^Wrote 3 of 10 rows$"):
        writer.close()
    with pytest.raises(ValueError, match="^The PNG writer is closed$"):
        writer.write_rows(bytes(12))
    with pytest.raises(ZeroDivisionError), PngWriter(target, 4, 10, 3) as writer:
        writer.write_rows(bytes(12 * 10))
        1 / 0
    dropped = PngWriter(target, 1, 1, 1)
    del dropped
    PngWriter(target, 1, 1, 1).abort()
    assert os.listdir(tmp_path) == []


def test_png_writer_raises_file_errors_as_write_png_does(tmp_path):
    path = tmp_path / "missing" / "out.png"
    with pytest.raises(OSError) as expected:
        Renderer(Instance([5, 3], 4)).grayscale([7, 9]).write_png(path)
    with pytest.raises(OSError) as caught:
        PngWriter(path, 1, 1, 1)
    assert (type(caught.value), caught.value.args, caught.value.filename) == (
        type(expected.value), expected.value.args, expected.value.filename)


def test_png_writer_encodes_without_the_interpreter_lock_and_one_call_at_a_time(tmp_path):
    # While one thread encodes a large band, this one runs and is refused.
    writer = PngWriter(str(tmp_path / "x.png"), 800, 800, 3)
    band = np.random.default_rng(0).integers(0, 256, 800 * 800 * 3, dtype=np.uint8)
    encoding = threading.Thread(target=writer.write_rows, args=(band,))
    refusals = set()
    encoding.start()
    while encoding.is_alive():
        try:
            writer.write_rows(b"")  # no rows: harmless when the writer is free
        except ValueError as refused:
            refusals.add(str(refused))
    encoding.join()
    writer.close()
    assert refusals == {"The PNG writer is in use by another thread"}
