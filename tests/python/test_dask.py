"""veldra.dask: tables and pictures as dask arrays equal, bit for bit, to the
in-memory results, on the threaded scheduler and on a two-process cluster;
PNG files streamed band by band equal to Image.write_png's."""

import os
import pickle
import subprocess
import sys
import time
from concurrent.futures import ThreadPoolExecutor

import dask
import numpy as np
import pytest
from distributed import Client, LocalCluster

from children import sigint_latency
import veldra
import veldra.dask as vd
from veldra import Field, Instance, Palette, Relief, Renderer, Shape

TABLES = [
    (Instance([3, 2], seed=4), [5, 7], (4, 6)),
    (Field([2, 3], seed=5, octaves=4), [6, 5], 7),
    (Field([2, 1, 2], seed=6, octaves=3, periodic=True), [3, 4, 5], (4, 3, 5)),
    (Instance([1, 2, 1, 1], seed=7), [3, 2, 3, 4], (2, 3, 2, 3)),
    (Field([1, 1, 2, 1], seed=8, octaves=2, lacunarity=3), [3, 3, 2, 6], 3),
]
PICTURE_FIELDS = [
    Instance([3, 4], seed=9),
    Field([3, 4], seed=9, octaves=5, octave_shape=Shape.RIDGED),
]
PICTURES = [
    ("grayscale", lambda r, d: r.grayscale(d), lambda f, d, c: vd.grayscale(f, d, chunks=c)),
    ("colored", lambda r, d: r.colored(d, Palette.TERRAIN),
     lambda f, d, c: vd.colored(f, d, Palette.TERRAIN, chunks=c)),
    ("relief", lambda r, d: r.relief(d), lambda f, d, c: vd.relief(f, d, chunks=c)),
    ("ridged relief", lambda r, d: r.relief(d, RIDGED),
     lambda f, d, c: vd.relief(f, d, RIDGED, chunks=c)),
]
RIDGED = Relief(shape=Shape.RIDGED, palette=Palette.BLUE_RED, gamma=0.7, height=2.0)


@pytest.fixture(scope="module")
def cluster():
    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True, host="127.0.0.1",
                      dashboard_address=None) as local, Client(local, set_as_default=False) as client:
        yield client


@pytest.fixture(params=["threads", "cluster"])
def scheduler(request):
    """Runs the test's dask work on the threaded scheduler or the cluster."""
    chosen = request.getfixturevalue("cluster") if request.param == "cluster" else "threads"
    with dask.config.set(scheduler=chosen):
        yield request.param


@pytest.mark.parametrize("field, divisors, chunks", TABLES, ids=lambda x: repr(x))
def test_tables_are_the_in_memory_tables(scheduler, field, divisors, chunks):
    whole = np.asarray(field.table(divisors))
    lazy = vd.table(field, divisors, chunks=chunks)
    assert lazy.shape == whole.shape and lazy.npartitions > 1
    assert lazy.compute().tobytes() == whole.tobytes()
    single = vd.table(field, divisors, chunks=chunks, dtype=np.float32).compute()
    assert single.dtype == np.float32 and single.tobytes() == whole.astype(np.float32).tobytes()


@pytest.mark.parametrize("field", PICTURE_FIELDS, ids=repr)
@pytest.mark.parametrize("name, in_memory, chunked", PICTURES, ids=[p[0] for p in PICTURES])
def test_pictures_are_the_in_memory_pictures(scheduler, field, name, in_memory, chunked):
    divisors = [7, 5]  # 22 x 21 pixels in chunks of 5 x 4, the first row of chunks and the last column thinner
    whole = np.asarray(in_memory(Renderer(field), divisors))
    lazy = chunked(field, divisors, ((2, 5, 5, 5, 5), (4, 4, 4, 4, 4, 1)))
    assert lazy.dtype == np.uint8 and lazy.numblocks[:2] == (5, 6)
    assert lazy.compute().tobytes() == whole.tobytes()
    assert lazy.shape == (whole.shape if whole.shape[-1] == 3 else whole.shape[:2])


@pytest.mark.parametrize("divisors, band_rows, chunks", [
    ([9, 6], None, (7, 11)), ([9, 6], 1, (4, 25)),
    # 1048 grey or 350 colour rows to a block: bands of parts of blocks, of several blocks
    ([400, 250], None, (700, 400)), ([400, 250], 333, (500, 1001)), ([400, 250], 1100, 1001)])
def test_streamed_pngs_are_those_of_write_png(scheduler, tmp_path, divisors, band_rows, chunks):
    field = Field([3, 4], seed=2, octaves=3)
    grey = Renderer(field).grayscale(divisors)
    for picture, image in [
        (vd.relief(field, divisors, chunks=chunks), Renderer(field).relief(divisors)),
        (vd.grayscale(field, divisors, chunks=chunks), grey),
        (np.asarray(grey), grey),  # any array numpy reads
    ]:
        image.write_png(str(tmp_path / "whole.png"))
        vd.write_png(picture, tmp_path / "streamed.png", band_rows=band_rows)
        assert (tmp_path / "streamed.png").read_bytes() == (tmp_path / "whole.png").read_bytes()
    heights = vd.heightmap(field, divisors, chunks=chunks)
    whole = np.asarray(veldra.heightmap(field.table(divisors)))
    veldra.write_png(whole, tmp_path / "whole.png")
    vd.write_png(heights, tmp_path / "streamed.png", band_rows=band_rows)
    assert heights.dtype == np.uint16 and heights.compute().tobytes() == whole.tobytes()
    assert (tmp_path / "streamed.png").read_bytes() == (tmp_path / "whole.png").read_bytes()


def test_a_relief_keeps_the_settings_it_was_made_with(scheduler):
    field, settings = Field([3, 4], seed=2, octaves=3), Relief(height=1.0)
    lazy = vd.relief(field, [6, 5], settings, chunks=(7, 9))
    settings.height, settings.shape, settings.palette = 4.0, Shape.RIDGED, Palette.HEAT
    assert lazy.compute().tobytes() == np.asarray(Renderer(field).relief([6, 5], Relief(height=1.0))).tobytes()


class SwitchingDict(dict):
    """The field cache, letting other threads run while it is iterated or short of an entry."""

    def __iter__(self):
        iterator = super().__iter__()
        time.sleep(0.0005)
        return iterator

    def pop(self, *arguments):
        popped = super().pop(*arguments)
        time.sleep(0.0005)
        return popped

    def __delitem__(self, key):
        super().__delitem__(key)
        time.sleep(0.0005)


def test_the_field_cache_is_shared_safely_by_threads(monkeypatch):
    monkeypatch.setattr(vd, "_FIELDS", SwitchingDict())
    recipes = [pickle.dumps(Instance([2, 2], seed=seed)) for seed in range(24)]
    with ThreadPoolExecutor(8) as pool:
        fields = list(pool.map(vd._field_of, recipes * 8))
    assert [field.seed for field in fields] == list(range(24)) * 8
    assert len(vd._FIELDS) == vd._FIELDS_KEPT


@pytest.mark.parametrize("progress, bands", [(True, 3), (False, 0), (None, 0)])
def test_write_png_says_which_band_it_writes(tmp_path, capsys, progress, bands):
    path = tmp_path / "p.png"
    vd.write_png(np.zeros((5, 4), np.uint8), path, band_rows=2, progress=progress)
    said = capsys.readouterr().err.splitlines()  # not a terminal: one line per band
    assert [line.split(",")[0] for line in said] == [f"writing {path}: band {k} of 3" for k in range(1, bands + 1)]


SLOW_PNG = r"""
import os, sys, time
import dask.array as da, numpy as np
import veldra.dask as vd

def slow(block):
    time.sleep(2)
    return block

target = os.path.join(sys.argv[1], "map.png")
picture = da.zeros((8, 8), dtype=np.uint8, chunks=(2, 8)).map_blocks(slow)  # bands of 2 s
print("started", flush=True)
try:
    vd.write_png(picture, target)
except KeyboardInterrupt:
    print(time.monotonic(), flush=True)
"""


def test_ctrl_c_stops_write_png_without_waiting_for_bands(tmp_path):
    (tmp_path / "map.png").write_bytes(b"old")
    assert sigint_latency(SLOW_PNG, str(tmp_path), delay=0.5) < 1.0
    assert os.listdir(tmp_path) == ["map.png"] and (tmp_path / "map.png").read_bytes() == b"old"


def failing_band(block, block_info=None):
    if block_info[0]["chunk-location"][0] == 2:
        raise RuntimeError("band 2 failed")
    return block


def test_a_failed_stream_leaves_the_old_file(tmp_path):
    target = tmp_path / "map.png"
    target.write_bytes(b"old")
    picture = vd.grayscale(Instance([4, 4]), [3, 3], chunks=3).map_blocks(failing_band, dtype=np.uint8)
    with pytest.raises(RuntimeError, match="band 2 failed"):
        vd.write_png(picture, target)
    assert target.read_bytes() == b"old" and os.listdir(tmp_path) == ["map.png"]


@pytest.mark.parametrize("field, start, step, shape, chunks", [
    (Field([3, 2, 2], seed=4, octaves=4, periodic=True), [-1.3, 0.2, 5.0], [0.07, 0.11, -0.3], [20, 9, 14], (6, 4, 5)),
    (Instance([4, 4], seed=2), [0.05, 3.9], [0.031, -0.027], [120, 130], 50),
    (Field([2, 2], seed=3, octaves=3, lacunarity=1.8, unbounded=True), [-1e9, 7.5], [0.3, -0.1], [30, 40], (7, 9)),
], ids=["periodic Field", "Instance", "unbounded Field"])
def test_grids_are_the_in_memory_grids(scheduler, field, start, step, shape, chunks):
    as_field = Field(field.dims, field.seed) if isinstance(field, Instance) else field
    for lazy_grid, grid in [(vd.grid, as_field.grid), (vd.derivative_grid, as_field.derivative_grid)]:
        lazy = lazy_grid(field, start, step, shape, chunks=chunks)
        assert lazy.npartitions > 1
        assert lazy.compute().tobytes() == np.asarray(grid(start, step, shape)).tobytes()


FIELD = Instance([4, 4])
REFUSALS = [
    (lambda: vd.grid(FIELD, [0.5, 0.5], [0.1, 0.5], [9, 9]), ValueError,
     "Coordinate 1 is 4.5, outside the boundary [0, 4]"),
    (lambda: vd.grid(FIELD, [0.5, 0.5], [0.1, 0.1], [9, 0]), ValueError, "Extent 1 cannot be 0"),
    (lambda: vd.table(FIELD, [2, 2], chunks=0), ValueError,
     "Bad chunks 0 for shape [9, 9]: a chunk size cannot be 0"),
    (lambda: vd.table(FIELD, [2, 2], chunks=(3,)), ValueError,
     "Bad chunks (3,) for shape [9, 9]: Chunks and shape must be of the same length/dimension"),
    (lambda: vd.grayscale(FIELD, [2, 2], chunks=2.5), ValueError,
     "Bad chunks 2.5 for shape [9, 9]: chunks can only contain integers"),
    (lambda: vd.table(FIELD, [2, 2], dtype=np.int32), ValueError,
     "dtype must be float64 or float32, got int32"),
    (lambda: vd.table(FIELD, [2, 0]), ValueError, "Divisor cannot be 0"),
    (lambda: vd.relief(FIELD, [2, 2, 2]), ValueError, "Expected 2 divisors, got 3"),
    (lambda: vd.colored(Instance([2, 2, 2]), [2], Palette.GRAY), ValueError,
     "This image needs a 2 dimensional field, got 3"),
    (lambda: vd.table(Renderer(FIELD), [2, 2]), TypeError,
     "field must be a veldra Instance or Field, got Renderer"),
    (lambda: vd.write_png(np.zeros((2, 2), np.float64), "x.png"), ValueError,
     "A PNG needs uint8 or uint16 pixels, got float64"),
    (lambda: vd.write_png(np.zeros((2, 2, 2), np.uint8), "x.png"), ValueError,
     "A PNG needs an array of shape (height, width) or (height, width, 1 or 3), got (2, 2, 2)"),
    (lambda: vd.write_png(np.zeros((2, 2), np.uint8), "x.png", band_rows=0), ValueError,
     "band_rows must be at least 1, got 0"),
    (lambda: vd.write_png(np.zeros((2, 2), np.uint8), "no/such/folder/x.png"), FileNotFoundError,
     "No such file or directory (os error 2)"),
]


@pytest.mark.parametrize("call, error, message", REFUSALS)
def test_refusals_are_clear_and_write_nothing(tmp_path, monkeypatch, call, error, message):
    monkeypatch.chdir(tmp_path)
    with pytest.raises(error) as caught:
        call()
    assert message in str(caught.value) and os.listdir(tmp_path) == []


def test_without_dask_the_import_names_the_extra():
    blocked = "import sys; sys.modules['dask'] = None; import veldra.dask"
    run = subprocess.run([sys.executable, "-c", blocked], capture_output=True, text=True)
    assert run.returncode == 1
    assert 'ImportError: veldra.dask needs dask; install the extra with: pip install "veldra[dask]"' \
        in run.stderr
