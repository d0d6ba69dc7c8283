"""Property tests of Renderer and Image: every rendering either returns an
image of the promised size, the same bytes on every repeat, or raises the
promised exception."""

from hypothesis import given
from hypothesis import strategies as st

from contract import (affordable, expect_dims, expect_layout, expect_object, expect_u64, expect_u64s,
                      invalid, outcome)
from values import anything, bounded, sequence_or_junk, u64_or_junk
from veldra import Globe, Hair, Instance, Palette, Renderer

RENDERERS = {n: Renderer(Instance([2] * n, seed=n)) for n in range(2, 5)}
renderers = st.sampled_from(sorted(RENDERERS)).map(RENDERERS.get)


def check_image(image, width, height, channels):
    assert (image.width, image.height, image.channels) == (width, height, channels)
    assert len(image.pixels) == width * height * channels
    assert repr(image) == f"Image({width}x{height}, channels={channels})"


def repeats(call, *args):
    """The call's image, checked to be the same bytes when made again."""
    image = call(*args)
    assert call(*args).pixels == image.pixels
    return image


divisor_values = st.one_of(st.integers(0, 5), st.sampled_from([2**20, 2**33, 2**63, 2**64 - 1]))


@bounded
@given(renderer=renderers, palette=st.one_of(st.sampled_from([Palette.GRAY, Palette.HEAT]), anything),
       divisors=st.one_of(st.lists(st.integers(1, 5), min_size=1, max_size=4),
                          sequence_or_junk(u64_or_junk(divisor_values), max_size=4)))
def test_flat_images_have_one_pixel_per_sample(renderer, divisors, palette):
    def flat(channels, *, with_palette=False):
        def model():
            converted = expect_u64s(divisors, "divisors")
            if with_palette:
                expect_object(palette, Palette, "palette")
            expect_dims(renderer.instance().dims, 2)
            shape = expect_layout(renderer.instance().dims, converted)
            affordable(shape[0] * shape[1], 8)
            return shape[1], shape[0], channels
        return model

    for model, call, args in [(flat(1), renderer.grayscale, (divisors,)),
                              (flat(3, with_palette=True), renderer.colored, (divisors, palette)),
                              (flat(3), renderer.relief, (divisors,))]:
        result = outcome(model, repeats, call, *args)
        if result is not None:
            check_image(result[1], *result[0])
            if call == renderer.grayscale:  # stretched to the full range, or flat grey
                assert {0, 255} <= set(result[1].pixels) or set(result[1].pixels) == {128}


sizes = u64_or_junk(st.one_of(st.integers(1, 24), st.integers(0, 3), st.sampled_from([2**31, 2**32, 2**63])))


@bounded
@given(renderer=renderers, width=sizes, height=sizes)
def test_sized_renderings_are_as_large_as_asked_or_refuse(renderer, width, height):
    def sized(wanted_dims, item_bytes):
        """After the checks every such rendering starts with; `item_bytes` is what it keeps per pixel."""
        def model():
            w, h = expect_u64(width, "width"), expect_u64(height, "height")
            expect_dims(renderer.instance().dims, wanted_dims)
            if w == 0 or h == 0:
                raise invalid("An image needs a positive width and height")
            affordable(w * h, item_bytes)
            return w, h, 3
        return model

    for model, call, settings in [(sized(4, 20), renderer.globe, Globe(samples=1)),
                                  (sized(2, 12), renderer.hair, Hair(count=20, steps=20))]:
        result = outcome(model, repeats, call, width, height, settings)
        if result is not None:
            check_image(result[1], *result[0])


@bounded
@given(image=st.sampled_from([RENDERERS[2].grayscale([1, 2]), RENDERERS[3].rgb_channels([1, 1, 1])]),
       x=u64_or_junk(st.integers(0, 6)), y=u64_or_junk(st.integers(0, 6)))
def test_a_pixel_is_inside_the_image_or_none(image, x, y):
    def model():
        cx, cy = expect_u64(x, "x"), expect_u64(y, "y")
        if cx >= image.width or cy >= image.height:
            return None
        start = (cy * image.width + cx) * image.channels
        return image.pixels[start:start + image.channels]

    result = outcome(model, image.pixel, x, y)
    if result is not None:
        assert result[1] == result[0]
