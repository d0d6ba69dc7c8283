"""Imports the installed package and exercises each kind of call once."""

import pickle
import sys

import veldra

field = veldra.Instance([1], seed=1)
assert field.noise([0.25]) == -0.146484375, field.noise([0.25])
assert field.force([0.25]) == [-1.0]
table = veldra.Instance([4, 4], seed=7).table([16, 16])
assert table.shape == [65, 65] and len(table) == 4225
assert veldra.Palette.BLUE_RED.color(0.25) == (140, 175, 210)
image = veldra.Renderer(veldra.Instance([4, 4], seed=7)).grayscale([4, 4])
assert (image.width, image.height, image.channels) == (17, 17, 1)
assert memoryview(image).shape == (17, 17) and memoryview(table).format == "d"
assert bytes(pickle.loads(pickle.dumps(table, protocol=5))) == bytes(table)
assert pickle.loads(pickle.dumps(veldra.Palette.GRAY)) is veldra.Palette.GRAY
print("veldra smoke test passed on Python %d.%d" % sys.version_info[:2])
