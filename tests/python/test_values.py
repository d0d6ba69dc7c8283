"""Values worked out by hand, and how the pictures are laid out."""

import itertools
import math

import pytest

from veldra import Field, Globe, Instance, Palette, Relief, Renderer, Shape


def test_one_dimensional_noise_by_hand():
    # Seed 1 draws -1 for both gradients; at 0.25 the fade is 0.103515625.
    field = Instance([1], seed=1)
    assert field.gradient([0]) == field.gradient([1]) == [-1.0]
    assert field.noise([0.25]) == -0.146484375
    assert field.force([0.25]) == [-1.0]
    assert field.noise([0.5]) == 0.0 and field.noise([1.0]) == 0.0 and field.gradient([2]) is None


def test_gradients_of_seed_one():
    field = Instance([1, 1], seed=1)
    assert field.gradient([0, 0]) == pytest.approx([-0.0137052713335, -0.9999060783582], abs=1e-12)
    assert field.gradient([1, 1]) == pytest.approx([-0.897094635929, 0.441838448064], abs=1e-12)


@pytest.mark.parametrize("dims, divisors", [([2, 3], [4, 2]), ([37, 2], [8, 2]), ([3, 4, 2], [4, 8, 2]),
                                            ([2, 3, 5, 1], [2, 4, 4, 4])])
def test_tables_hold_the_noise_of_every_sample(dims, divisors):
    # Power-of-two divisors place every sample exactly where noise() looks.
    field = Instance(dims, seed=5)
    values = iter(field.table(divisors).values)
    for index in itertools.product(*(range(d * k + 1) for d, k in zip(dims, divisors))):
        assert next(values) == field.noise([i / k for i, k in zip(index, divisors)]), index


def test_the_first_axis_runs_down_the_image_and_values_round_to_bytes():
    image = Renderer(Instance([2, 5], seed=7)).grayscale([3, 4])
    assert (image.width, image.height) == (21, 7)
    table = Instance([2, 5], seed=7).table([3, 4])
    lo, hi = min(table.values), max(table.values)
    for row, column in itertools.product(range(7), range(21)):
        scaled = (table.get([row, column]) - lo) / (hi - lo) * 255
        assert image.pixel(column, row)[0] == min(math.floor(scaled + 0.5), 255)


def test_a_flat_field_is_the_middle_of_the_palette():
    r = Renderer(Instance([3, 2], seed=7))
    assert set(r.grayscale([1, 1]).pixels) == {128}
    assert set(r.colored([1, 1], Palette.BLUE_RED).pixels) == {247}
    assert set(Renderer(Instance([2, 3, 4])).rgb_channels([1, 1, 1]).pixels) == {128}


def test_unlit_relief_shows_the_palette_colour_of_each_height():
    flat = Relief(ambient=1, diffuse=0, specular=0, occlusion=0, gamma=1, shape=Shape.SMOOTH, palette=Palette.HEAT)
    image = Renderer(Instance([3, 4], seed=5)).relief([6, 5], flat)
    values = Instance([3, 4], seed=5).table([6, 5]).values
    lo, hi = min(values), max(values)
    assert [image.pixels[3 * k:3 * k + 3] for k in range(len(values))] == [
        bytes(Palette.HEAT.color((v - lo) / (hi - lo))) for v in values]


def test_default_settings_are_the_defaults():
    flat, sphere = Renderer(Instance([4, 3], seed=5)), Renderer(Instance([2] * 4, seed=5))
    assert flat.relief([8, 8]).pixels == flat.relief([8, 8], None).pixels == flat.relief([8, 8], Relief()).pixels
    assert sphere.globe(16, 12).pixels == sphere.globe(16, 12, Globe()).pixels


@pytest.mark.parametrize("seed, reduced", [(-1, 2**64 - 1), (2**64 + 5, 5), (-(2**70) + 3, 3)])
def test_field_seeds_are_taken_modulo_two_to_the_64(seed, reduced):
    field = Field([3, 2], seed=seed, octaves=3)
    assert field == Field([3, 2], seed=reduced, octaves=3) and field.seed == reduced
    assert eval(repr(field)) == field and repr(field) == f"Field(dims=[3, 2], seed={reduced}, octaves=3)"
