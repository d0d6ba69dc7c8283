"""Pins the exact bytes of a set of renderings and tables.

Every optimisation must leave these hashes unchanged: results are bit-exact
by contract. (They depend on the platform's libm for pow, exp, cos and log,
as the gradients and the shading do.)"""

import hashlib
import struct

import pytest

from veldra import Field, Globe, Hair, Instance, Palette, Relief, Renderer, Shape


def grid(dims, count=300):
    """Points on 21 levels per axis from 0 to dims[i] inclusive, cell edges among them."""
    return [[d * (i * (2 + 3 * j) % 21) / 20 for j, d in enumerate(dims)] for i in range(count)]


FRACTAL = Field([4, 5], seed=21, octaves=3)

CASES = {
    "table_2d": lambda: Instance([5, 7], seed=11).table([13, 9]).values,
    "table_3d": lambda: Instance([3, 4, 5], seed=12).table([7, 5, 3]).values,
    "table_4d": lambda: Instance([2, 3, 2, 3], seed=13).table([5, 4, 3, 6]).values,
    "table_6d": lambda: Instance([2, 1, 2, 1, 2, 1], seed=14).table([3, 2, 3, 2, 2, 3]).values,
    "grayscale": lambda: Renderer(Instance([6, 5], seed=1)).grayscale([40, 33]).pixels,
    "colored": lambda: Renderer(Instance([6, 5], seed=2)).colored([40, 33], Palette.TERRAIN).pixels,
    "rgb_channels": lambda: Renderer(Instance([3, 4, 2], seed=3)).rgb_channels([20, 15, 4]).pixels,
    "rgb_palette": lambda: Renderer(Instance([3, 4, 2], seed=3)).rgb_palette([20, 15, 4], 3, Palette.HEAT).pixels,
    "relief": lambda: Renderer(Instance([5, 6], seed=4)).relief([24, 20]).pixels,
    "relief_ridged": lambda: Renderer(Instance([5, 6], seed=4)).relief(
        [24, 20], Relief(shape=Shape.RIDGED, palette=Palette.AZURE, gamma=0.7)).pixels,
    "globe": lambda: Renderer(Instance([3, 3, 3, 3], seed=5)).globe(150, 120).pixels,
    "globe_palette": lambda: Renderer(Instance([3, 3, 3, 3], seed=5)).globe(
        130, 130, Globe(samples=3, rgb_from_fourth_axis=False, fill=1)).pixels,
    "hair": lambda: Renderer(Instance([6, 6], seed=3)).hair(256, 192, Hair(count=6000, steps=90)).pixels,
    "hair_field": lambda: Renderer(Instance([4, 5], seed=6)).hair(
        200, 240, Hair(count=5000, steps=80, color_from_field=True, taper=0.5, thickness=0.6)).pixels,
    # Octaves on the SIMD fill (divisors divisible by lacunarity**k), position by position, or left out.
    "field_aligned": lambda: bytes(FRACTAL.table([8, 8])),
    "field_unaligned": lambda: bytes(FRACTAL.table([5, 7])),
    "field_region": lambda: bytes(FRACTAL.table_region([8, 8], [5, 11], [9, 13])),
    "field_3d_billow": lambda: bytes(Field([3, 2, 3], seed=22, octaves=3, octave_shape=Shape.BILLOW).table([4, 6, 2])),
    "field_ridged_periodic": lambda: bytes(Field([3, 4], seed=23, octaves=3, octave_shape=Shape.RIDGED,
                                                 periodic=True).table([6, 5])),
    "field_4d": lambda: bytes(Field([2, 2, 1, 2], seed=24, octaves=3).table([2, 2, 2, 2])),
    "field_lacunarity": lambda: bytes(Field([2, 3], seed=25, octaves=3, lacunarity=3, gain=0.6).table([9, 7])),
    "field_noise_at": lambda: bytes(Field([3, 4], seed=26, octaves=4, lacunarity=3, gain=0.6).noise_at(grid([3, 4]))),
    "field_force_at": lambda: bytes(Field([2, 3, 2], seed=27, octaves=3).force_at(grid([2, 3, 2]))),
    "instance_noise_at": lambda: bytes(Instance([4, 5], seed=28).noise_at(grid([4, 5]))),
    "instance_force_at": lambda: bytes(Instance([3, 2, 2], seed=29).force_at(grid([3, 2, 2]))),
}

PINNED = {
    "table_2d": "af1039b350c76a62aaa21c7a3ceeac48cb4aeae5d55c6a73f202b1fe570bcd0a",
    "table_3d": "4f8bbd361e24a1fd8c0e4e15f552e4668e7b29e7fa24f0cc5a08335c05b32039",
    "table_4d": "c9234af524c0e3cd54d727a3c4cd4038fb634f3b0d298501280c66995c284742",
    "table_6d": "d7b61a87f46067528bac8f34e9cc8f94a59886b53fe946676c86d48f8df50a56",
    "grayscale": "316a489878ce72d0d4a09d8e337151fdece2d08d1a1effee3f941163511b8162",
    "colored": "42d4d82be8e0a1311551519bba5f84ab9b157aaa52d8cfd1f38e90b9e560d040",
    "rgb_channels": "9a88631dbd60ff80f0d50b071886c6fede52ae38bcdb76fdc7bf983e59d62c46",
    "rgb_palette": "3c7eab43b5d1a85f290b774dff2e4d1d703378d1d1e556fb9ab0d7906fc2b5e8",
    "relief": "1b0245475514e484f2acf5c54b4258e2883592b0c70a3895eb7753fc5215950f",
    "relief_ridged": "c7b345b76c07583f05bebd0479a27b1ee087254e2c039826fc19e8acfba5165c",
    "globe": "28dcd73307027ebd79ced61d72089ee4dd55649404c6d1f47d852b2bbaa2c2fa",
    "globe_palette": "1cd3de6d85ec27dbfeb2ec874e19dc3861fc962b4fd917331ddbf14afb9b90e0",
    "hair": "5a24781deff63721992ae50b29a5df21e2d2fd9bf3eae5cbe3bf6d7fcf943802",
    "hair_field": "a49e03466d0d81fb3def8fd189f0e28c6da655adc6fbabffaee57e1cd796a45f",
    "field_aligned": "555be71d386d4985fd749fb9a34040bf7749d6a103e1bc37ba885a7855f052e5",
    "field_unaligned": "dccd9a9711841371f1fb50fd0149bccbec9ce154cdb9c6c27dd96d0478eea465",
    "field_region": "60c893bae8797caaba6fb279159f75d67cb139e7808c5926393c1f5549a2a62d",
    "field_3d_billow": "5015b08b3eec9d8d61cfbba098ed75d4804744b1a35de7579d047e2389dd96e0",
    "field_ridged_periodic": "5c674ad19c00d8dd343395a7f1a45f9c67fbb4ffd756775318f419395c70eecb",
    "field_4d": "1426a440a5e0fa303c3bcfcaa2ac67071bcd50cd95430de1882edd45dd100b1a",
    "field_lacunarity": "69171dd614b647bb198edaaf823a18dfd5e518d7cc49102bb70b2d54f59f7c66",
    "field_noise_at": "9d411e0e0a2653f8ea7df81358afb7bb49bab1694514552f192702cd5f040f9f",
    "field_force_at": "24f5fbb42059d6a7c5d7c9fd9f6fd7b36ed31425bd113a6c038893272e1cd8e1",
    "instance_noise_at": "c5d8241e2fda55f2451ad297c8cf83fdc7015d3f3136164f057636c0fd2fd430",
    "instance_force_at": "d19d048a2f93cd84b43af6d1bc728bbea0c2faefede707b02f8f36ee8ea19c7e",
}


@pytest.mark.parametrize("name", sorted(CASES))
def test_bytes_are_pinned(name):
    data = CASES[name]()
    if isinstance(data, list):
        data = struct.pack(f"<{len(data)}d", *data)
    assert hashlib.sha256(data).hexdigest() == PINNED[name]
