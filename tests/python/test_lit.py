"""Relief height maps and the globe."""

import pytest

from veldra import Globe, Instance, Palette, Relief, Renderer, Shape


def renderer(dims, seed=5):
    return Renderer(Instance(dims, seed=seed))


def test_relief_size_and_defaults():
    r = renderer([4, 3])
    image = r.relief([8, 8])
    assert (image.width, image.height, image.channels) == (25, 33, 3)
    assert image.pixels == r.relief([8, 8], Relief()).pixels == r.relief([8, 8], None).pixels


def test_relief_at_intersections_is_one_flat_colour():
    image = renderer([3, 2]).relief([1, 1])
    assert (image.width, image.height) == (3, 4)
    assert len({image.pixel(x, y) for x in range(3) for y in range(4)}) == 1


def test_unlit_relief_shows_palette_colours():
    flat = Relief(ambient=1, diffuse=0, specular=0, occlusion=0, gamma=1, shape=Shape.SMOOTH,
                  palette=Palette.HEAT)
    image = renderer([3, 3]).relief([6, 6], flat)
    colours = {image.pixel(x, y) for x in range(image.width) for y in range(image.height)}
    assert bytes(Palette.HEAT.color(0)) in colours and bytes(Palette.HEAT.color(1)) in colours


@pytest.mark.parametrize("light", [[0, 0, 0], [0, 0, -1], [float("nan"), 0, 1]])
def test_degenerate_lights_still_render(light):
    image = renderer([2, 2]).relief([8, 8], Relief(light=light))
    assert len(image.pixels) == 17 * 17 * 3


def test_relief_shapes_and_palettes_change_the_picture():
    r = renderer([3, 3])
    pictures = {r.relief([8, 8], Relief(shape=s, palette=p)).pixels
                for s in (Shape.SMOOTH, Shape.BILLOW, Shape.RIDGED) for p in (Palette.CRIMSON, Palette.AZURE)}
    assert len(pictures) == 6


def test_changing_settings_after_rendering_leaves_the_image():
    settings = Relief()
    image = renderer([2, 2]).relief([4, 4], settings)
    before = image.pixels
    settings.palette = Palette.TERRAIN
    assert image.pixels == before


@pytest.mark.parametrize(
    "call, error, message",
    [
        (lambda: renderer([2, 2, 2]).relief([4]), ValueError, "This image needs a 2 dimensional field, got 3"),
        (lambda: renderer([2, 2]).relief([4]), ValueError, "Expected 2 divisors, got 1"),
        (lambda: renderer([2, 2]).relief([4, 4], Globe()), TypeError,
         "argument 'relief': 'Globe' object cannot be converted to 'Relief'"),
        (lambda: renderer([2, 2]).relief("44"), TypeError, "argument 'divisors': Can't extract `str` to `Vec`"),
    ],
)
def test_relief_failures(call, error, message):
    with pytest.raises(error) as caught:
        call()
    assert str(caught.value) == message


def test_relief_beyond_memory():
    with pytest.raises(MemoryError):
        renderer([1000, 1000]).relief([10**5, 10**5])


GLOBE_FAILURES = [
    ([2, 2, 2], 0, 0, Globe(fill=0, samples=0), "This image needs a 4 dimensional field, got 3"),
    ([2, 2, 2, 2], 0, 10, Globe(fill=0, samples=0), "An image needs a positive width and height"),
    ([2, 2, 2, 2], 10, 0, Globe(), "An image needs a positive width and height"),
    ([2, 2, 2, 2], 10, 10, Globe(fill=0, samples=0), "Fill has to be above 0 and at most 1, got 0"),
    ([2, 2, 2, 2], 10, 10, Globe(fill=1.5), "Fill has to be above 0 and at most 1, got 1.5"),
    ([2, 2, 2, 2], 10, 10, Globe(fill=float("nan")), "Fill has to be above 0 and at most 1, got NaN"),
    ([2, 2, 2, 2], 10, 10, Globe(samples=0), "Samples has to be between 1 and 8, got 0"),
    ([2, 2, 2, 2], 10, 10, Globe(samples=9), "Samples has to be between 1 and 8, got 9"),
]


@pytest.mark.parametrize("dims, width, height, settings, message", GLOBE_FAILURES)
def test_globe_checks_in_order(dims, width, height, settings, message):
    with pytest.raises(ValueError) as caught:
        renderer(dims).globe(width, height, settings)
    assert str(caught.value) == message


def test_globe_size_and_default_settings():
    r = renderer([2, 2, 2, 2])
    image = r.globe(64, 48)
    assert (image.width, image.height, image.channels) == (64, 48, 3)
    assert image.pixels == r.globe(64, 48, Globe()).pixels


@pytest.mark.parametrize("samples", [1, 8])
def test_globe_background_is_exact_beside_the_sphere(samples):
    settings = Globe(samples=samples, background=[20, 40, 60])
    image = renderer([3, 3, 3, 3]).globe(60, 20, settings)
    # The sphere's diameter is 0.92 * 20 pixels, centred: the outer columns are background.
    for x in list(range(0, 15)) + list(range(46, 60)):
        for y in range(20):
            assert image.pixel(x, y) == bytes([20, 40, 60])
    assert image.pixel(30, 10) != bytes([20, 40, 60])


def test_globe_with_fill_one_touches_the_sides():
    image = renderer([2, 2, 2, 2]).globe(40, 40, Globe(fill=1, background=[0, 0, 0]))
    assert image.pixel(0, 20) != bytes(3) and image.pixel(39, 20) != bytes(3)
    assert image.pixel(0, 0) == bytes(3)


def test_globe_one_pixel():
    image = renderer([2, 2, 2, 2]).globe(1, 1, Globe(fill=1))
    assert image.pixel(0, 0) != bytes([7, 8, 12])


def test_globe_colour_from_palette_differs_from_fourth_axis():
    r = renderer([2, 2, 2, 2])
    assert r.globe(32, 32, Globe(rgb_from_fourth_axis=False)).pixels != r.globe(32, 32).pixels


def test_globe_beyond_memory():
    with pytest.raises(MemoryError):
        renderer([2, 2, 2, 2]).globe(2**40, 2**40)


def test_lit_images_are_identical_on_one_worker_and_many(one_cpu, many_cpus):
    flat, sphere = renderer([6, 6]), renderer([3, 3, 3, 3])

    def render():
        return [flat.relief([24, 24], Relief(shape=Shape.RIDGED)).pixels,
                sphere.globe(160, 130, Globe(samples=3)).pixels,
                sphere.globe(140, 140, Globe(rgb_from_fourth_axis=False, samples=1)).pixels]

    many = render()
    with one_cpu():
        assert render() == many
