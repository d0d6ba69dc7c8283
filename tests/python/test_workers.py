"""Every table and picture has the same bytes on one worker as on many."""

import os
import tempfile

import pytest

import numpy as np

from veldra import Field, Globe, Hair, Instance, Palette, Relief, Renderer, Shape


def r(dims):
    return Renderer(Instance(dims, seed=3))


def png_bytes(image):
    with tempfile.TemporaryDirectory() as folder:
        image.write_png(os.path.join(folder, "x.png"))
        with open(os.path.join(folder, "x.png"), "rb") as file:
            return file.read()


CASES = {
    "below the serial limit": lambda: Instance([2], seed=7).table([8191]).values,
    "the smallest threaded table": lambda: Instance([43], seed=7).table([381]).values,
    "3-D table": lambda: Instance([5, 6, 7], seed=7).table([4, 3, 5]).values,
    "4-D table": lambda: Instance([3, 3, 3, 3], seed=7).table([3, 3, 3, 3]).values,
    "short last axes, by columns": lambda: Instance([8, 8, 2], seed=7).table([16, 16, 2]).values,
    "one plane split between workers": lambda: Instance([512, 2], seed=7).table([8, 2]).values,
    "flat images": lambda: (r([8, 8]).grayscale([32, 32]).pixels, r([8, 8]).colored([32, 32], Palette.HEAT).pixels),
    "colour axis images": lambda: (r([4, 4, 4]).rgb_channels([64, 64, 4]).pixels,
                                   r([4, 4, 4]).rgb_palette([64, 64, 4], 5, Palette.TERRAIN).pixels),
    "relief": lambda: r([6, 6]).relief([24, 24], Relief(shape=Shape.RIDGED)).pixels,
    "globe": lambda: r([3, 3, 3, 3]).globe(160, 130, Globe(samples=3)).pixels,
    "globe from the palette": lambda: r([3, 3, 3, 3]).globe(140, 140, Globe(rgb_from_fourth_axis=False)).pixels,
    "hair": lambda: r([6, 6]).hair(200, 150, Hair(count=2000, steps=60)).pixels,
    "octave tables, SIMD and position by position": lambda: (
        bytes(Field([8, 8], seed=7, octaves=5, periodic=True).table([16, 24])),
        bytes(Field([3, 4, 5], seed=7, octaves=3, lacunarity=3, octave_shape=Shape.BILLOW).table([9, 6, 4]))),
    "table regions, rows split between workers": lambda: (
        bytes(Instance([40, 30], seed=7).table_region([16, 24], [3, 5], [470, 700])),
        bytes(Field([40, 30], seed=7, octaves=3).table_region([16, 24], [3, 5], [470, 700]))),
    "values at many points": lambda: (
        bytes(Field([8, 8], seed=7, octaves=4).noise_at(np.random.default_rng(0).uniform(0, 8, (40000, 2)))),
        bytes(Instance([8, 8], seed=7).force_at(np.random.default_rng(0).uniform(0, 8, (40000, 2))))),
    "octave pictures": lambda: (
        Renderer(Field([6, 6], seed=3, octaves=4)).relief([24, 24]).pixels,
        Renderer(Field([3, 3, 3, 3], seed=3, octaves=3)).globe(120, 100).pixels,
        Renderer(Field([6, 6], seed=3, octaves=3)).hair(200, 150, Hair(count=2000, steps=60)).pixels),
    "PNG files of several blocks": lambda: png_bytes(r([8, 8]).relief([96, 96])),
    "hair coloured by the field": lambda: r([6, 6]).hair(200, 150, Hair(count=2000, steps=60, color_from_field=True)).pixels,
}


@pytest.mark.parametrize("make", CASES.values(), ids=CASES.keys())
def test_one_worker_and_many_agree(make, one_cpu, many_cpus):
    many = make()
    with one_cpu():
        assert make() == many
