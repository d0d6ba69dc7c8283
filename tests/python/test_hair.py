"""The coat of hair."""

import pytest

from veldra import Hair, Instance, Palette, Relief, Renderer


def renderer(dims, seed=3):
    return Renderer(Instance(dims, seed=seed))


def test_hair_image_size_and_default_settings():
    r = renderer([4, 4])
    small = Hair(count=300, steps=40)
    image = r.hair(48, 32, small)
    assert (image.width, image.height, image.channels) == (48, 32, 3)
    assert max(image.pixels) > 0


def test_no_strands_leave_the_background():
    image = renderer([4, 4]).hair(32, 16, Hair(count=0))
    assert (image.width, image.height, image.channels) == (32, 16, 3)
    assert set(image.pixels) == {0}
    heat = renderer([4, 4]).hair(8, 8, Hair(count=0, palette=Palette.AZURE))
    assert heat.pixel(3, 3) != bytes(3)


def test_one_pixel_renders():
    assert len(renderer([2, 2]).hair(1, 1, Hair(count=50)).pixels) == 3


def test_colour_from_the_field():
    r = renderer([4, 4])
    plain = r.hair(60, 40, Hair(count=400, steps=30))
    colored = r.hair(60, 40, Hair(count=400, steps=30, color_from_field=True))
    assert plain.pixels != colored.pixels
    other_surface = r.hair(60, 40, Hair(count=400, steps=30, color_from_field=True,
                                        surface=Relief(palette=Palette.AZURE)))
    assert other_surface.pixels != colored.pixels


def test_seed_and_count_change_the_coat():
    r = renderer([4, 4])
    a = r.hair(40, 40, Hair(count=200, steps=30, seed=1)).pixels
    assert a == r.hair(40, 40, Hair(count=200, steps=30, seed=1)).pixels
    assert a != r.hair(40, 40, Hair(count=200, steps=30, seed=2)).pixels


@pytest.mark.parametrize(
    "dims, width, height, settings, message",
    [
        ([2, 2, 2], 0, 10, Hair(step=0), "This image needs a 2 dimensional field, got 3"),
        ([2, 2], 0, 10, Hair(step=0), "An image needs a positive width and height"),
        ([2, 2], 10, 0, Hair(), "An image needs a positive width and height"),
        ([2, 2], 10, 10, Hair(step=0), "The step has to be above 0, got 0"),
        ([2, 2], 10, 10, Hair(step=float("inf"), gloss=0), "The step has to be above 0, got inf"),
        ([2, 2], 10, 10, Hair(drag=float("nan")), "Drag cannot be negative, got NaN"),
        ([2, 2], 10, 10, Hair(force=float("inf"), drag=-1), "Drag cannot be negative, got -1"),
        ([2, 2], 10, 10, Hair(force=float("-inf")), "The force has to be a number, got -inf"),
        ([2, 2], 10, 10, Hair(thickness=0), "Thickness has to be above 0, got 0"),
        ([2, 2], 10, 10, Hair(opacity=float("nan")), "Opacity has to be 0 to 1, got NaN"),
        ([2, 2], 10, 10, Hair(frizz=-0.5), "Frizz cannot be negative, got -0.5"),
        ([2, 2], 10, 10, Hair(jitter=1.5), "Jitter has to be 0 to 1, got 1.5"),
        ([2, 2], 10, 10, Hair(depth=2), "Depth has to be 0 to 1, got 2"),
        ([2, 2], 10, 10, Hair(taper=0.51), "Taper has to be 0 to 0.5, got 0.51"),
        ([2, 2], 10, 10, Hair(ambient=-0.25), "Ambient has to be 0 to 1, got -0.25"),
        ([2, 2], 10, 10, Hair(diffuse=1e20), "Diffuse has to be 0 to 1, got 100000000000000000000"),
        ([2, 2], 10, 10, Hair(specular=1.01), "Specular has to be 0 to 1, got 1.01"),
        ([2, 2], 10, 10, Hair(gloss=-0.0), "Gloss has to be above 0, got -0"),
    ],
)
def test_hair_checks_in_order(dims, width, height, settings, message):
    with pytest.raises(ValueError) as caught:
        renderer(dims).hair(width, height, settings)
    assert str(caught.value) == message


def test_values_the_check_ignores_still_render():
    image = renderer([2, 2]).hair(16, 16, Hair(count=20, steps=0, swirl=float("nan"), light=[0, 0],
                                               drag=-0.0, taper=0.5, force=-5))
    assert len(image.pixels) == 16 * 16 * 3


def test_hair_argument_must_be_hair():
    with pytest.raises(TypeError, match="^argument 'hair': 'Relief' object cannot be converted to 'Hair'$"):
        renderer([2, 2]).hair(8, 8, Relief())


@pytest.mark.parametrize("settings", [Hair(count=2**62, steps=10), Hair(count=10, steps=2**62),
                                      Hair(count=10, steps=2**64 - 1, jitter=0)])
def test_impossible_counts_raise_memory_error(settings):
    with pytest.raises(MemoryError):
        renderer([2, 2]).hair(16, 16, settings)


def test_impossible_sizes_raise_memory_error():
    with pytest.raises(MemoryError):
        renderer([2, 2]).hair(2**40, 2**40, Hair(count=1))


@pytest.mark.parametrize("color_from_field", [False, True])
def test_hair_is_identical_on_one_worker_and_many(color_from_field, one_cpu, many_cpus):
    r = renderer([6, 6])
    settings = Hair(count=2000, steps=60, color_from_field=color_from_field)
    many = r.hair(200, 150, settings).pixels
    with one_cpu():
        assert r.hair(200, 150, settings).pixels == many
