"""Property tests of Renderer and Image: every rendering either returns an
image of the promised size whose pixels lie within it, the same bytes on
every repeat, or raises the promised exception."""

import math

from hypothesis import assume, given
from hypothesis import strategies as st

from contract import (Refusal, expect_dims, expect_layout, expect_object,
                      expect_path, expect_triple, expect_u64, expect_u64s, invalid, memory_class,
                      outcome)
from values import anything, bounded, sequence_or_junk, u64_or_junk
from veldra import Instance, Palette, Renderer

FIELDS = {n: Instance([2] * n, seed=n) for n in range(1, 6)}
RENDERERS = {n: Renderer(FIELDS[n]) for n in range(2, 5)}

divisor_values = st.one_of(st.integers(0, 5), st.sampled_from([2**20, 2**33, 2**63, 2**64 - 1]))
divisors_args = st.one_of(st.lists(st.integers(1, 5), min_size=1, max_size=4),
                          sequence_or_junk(u64_or_junk(divisor_values), max_size=4))
renderers = st.sampled_from(sorted(RENDERERS)).map(RENDERERS.get)
palettes = st.one_of(st.sampled_from([Palette.GRAY, Palette.HEAT, Palette.TERRAIN]), anything)


@bounded
@given(noise=st.one_of(st.sampled_from(sorted(FIELDS)).map(FIELDS.get), anything))
def test_a_renderer_takes_fields_of_two_to_four_dimensions(noise):
    def model():
        field = expect_object(noise, Instance, "noise")
        if not 2 <= len(field.dims) <= 4:
            raise invalid(f"Images need 2 to 4 dimensions, got {len(field.dims)}")
        return field

    result = outcome(model, Renderer, noise)
    if result is not None:
        field, renderer = result
        assert repr(renderer) == f"Renderer(dims={field.dims}, seed={field.seed})"
        copy = renderer.instance()
        assert copy is not field and copy.dims == field.dims and copy.gradient([0] * len(field.dims)) == field.gradient([0] * len(field.dims))


def flat_image(renderer, converted, wanted_dims, channels):
    """The size of a rendering of a `wanted_dims`-dimensional field, from
    the converted divisors."""
    dims = renderer.instance().dims
    expect_dims(dims, wanted_dims)
    shape = expect_layout(dims, converted)
    count = math.prod(shape)
    size = memory_class(count, 8)
    assume(size != "costly")
    if size == "impossible":
        raise Refusal(MemoryError)
    return shape[1], shape[0], channels, shape


def check_image(image, width, height, channels):
    assert (image.width, image.height, image.channels) == (width, height, channels)
    pixels = image.pixels
    assert len(pixels) == width * height * channels
    assert image.pixel(width - 1, height - 1) == pixels[-channels:]
    assert image.pixel(0, 0) == pixels[:channels]
    assert image.pixel(width, 0) is None and image.pixel(0, height) is None
    assert repr(image) == f"Image({width}x{height}, channels={channels})"


@bounded
@given(renderer=renderers, divisors=divisors_args, palette=palettes)
def test_flat_images_have_one_pixel_per_sample(renderer, divisors, palette):
    gray = outcome(lambda: flat_image(renderer, expect_u64s(divisors, "divisors"), 2, 1),
                   renderer.grayscale, divisors)

    def colored():
        converted = expect_u64s(divisors, "divisors")
        expect_object(palette, Palette, "palette")
        return flat_image(renderer, converted, 2, 3)

    colour = outcome(colored, renderer.colored, divisors, palette)
    relief = outcome(lambda: flat_image(renderer, expect_u64s(divisors, "divisors"), 2, 3), renderer.relief, divisors)
    if gray is not None:
        (width, height, channels, _), image = gray
        check_image(image, width, height, channels)
        assert renderer.grayscale(divisors).pixels == image.pixels
        assert 0 in image.pixels and 255 in image.pixels or set(image.pixels) == {128}
    for result in (colour, relief):
        if result is not None:
            (width, height, channels, _), image = result
            check_image(image, width, height, channels)


slices_args = st.one_of(st.tuples(st.integers(0, 4), st.integers(0, 4), st.integers(0, 4)),
                        st.lists(st.integers(0, 3), max_size=4).map(tuple), anything,
                        st.lists(st.integers(0, 2), min_size=3, max_size=3))


@bounded
@given(renderer=renderers, divisors=divisors_args, slices=slices_args, slice=u64_or_junk(st.integers(0, 4)),
       palette=palettes)
def test_colour_axis_images_take_slices_inside_the_axis(renderer, divisors, slices, slice, palette):
    def evenly():
        width, height, channels, shape = flat_image(renderer, expect_u64s(divisors, "divisors"), 3, 3)
        if shape[2] < 3:
            raise invalid(f"The colour axis has {shape[2]} samples but needs at least 3; raise its divisor")
        return width, height, channels

    def chosen():
        converted = expect_u64s(divisors, "divisors")
        triple = expect_triple(slices, "slices")
        width, height, channels, shape = flat_image(renderer, converted, 3, 3)
        for s in triple:
            if s >= shape[2]:
                raise invalid(f"Slice {s} is outside the colour axis, which has {shape[2]} samples")
        return width, height, channels

    def one():
        converted = expect_u64s(divisors, "divisors")
        s = expect_u64(slice, "slice")
        expect_object(palette, Palette, "palette")
        width, height, channels, shape = flat_image(renderer, converted, 3, 3)
        if s >= shape[2]:
            raise invalid(f"Slice {s} is outside the colour axis, which has {shape[2]} samples")
        return width, height, channels

    for model, call, args in [(evenly, renderer.rgb_channels, (divisors,)),
                              (chosen, renderer.rgb_channels_at, (divisors, slices)),
                              (one, renderer.rgb_palette, (divisors, slice, palette))]:
        result = outcome(model, call, *args)
        if result is not None:
            size, image = result
            check_image(image, *size)
            assert call(*args).pixels == image.pixels


sizes = st.one_of(st.integers(1, 24), st.integers(0, 3), st.sampled_from([2**31, 2**32, 2**63, 2**64 - 1]))


def sized(renderer, width, height, wanted_dims, item_bytes):
    """The size of a rendering made to measure, after the checks every such
    rendering starts with; `item_bytes` is what it keeps per pixel."""
    w = expect_u64(width, "width")
    h = expect_u64(height, "height")
    expect_dims(renderer.instance().dims, wanted_dims)
    if w == 0 or h == 0:
        raise invalid("An image needs a positive width and height")
    size = memory_class(w * h, item_bytes)
    assume(size != "costly")
    if size == "impossible":
        raise Refusal(MemoryError)
    return w, h, 3


@bounded
@given(renderer=renderers, width=u64_or_junk(sizes), height=u64_or_junk(sizes))
def test_sized_renderings_are_as_large_as_asked_or_refuse(renderer, width, height):
    from veldra import Globe, Hair
    hair = Hair(count=20, steps=20)

    def globe():
        return sized(renderer, width, height, 4, 20)

    def coat():
        return sized(renderer, width, height, 2, 12)

    for model, call, settings in [(globe, renderer.globe, Globe(samples=1)), (coat, renderer.hair, hair)]:
        result = outcome(model, call, width, height, settings)
        if result is not None:
            size, image = result
            check_image(image, *size)
            assert call(width, height, settings).pixels == image.pixels


def an_image():
    return st.sampled_from([RENDERERS[2].grayscale([1, 2]), RENDERERS[3].rgb_channels([1, 1, 1])])


coordinates = u64_or_junk(st.integers(0, 6))


@bounded
@given(image=an_image(), x=coordinates, y=coordinates)
def test_a_pixel_is_inside_the_image_or_none(image, x, y):
    def model():
        cx, cy = expect_u64(x, "x"), expect_u64(y, "y")
        if cx >= image.width or cy >= image.height:
            return None
        start = (cy * image.width + cx) * image.channels
        return image.pixels[start:start + image.channels]

    result = outcome(model, image.pixel, x, y)
    if result is not None:
        expected, pixel = result
        assert pixel == expected


class BytesPath:
    """A path-like object whose path is bytes, which the module refuses."""

    def __fspath__(self):
        return b"refused.png"


path_kinds = st.one_of(
    st.text(st.characters(blacklist_characters="/"), min_size=1, max_size=8).filter(lambda t: t not in (".", "..")),
    st.sampled_from(["a\0b", "pathlib", "bytes", "bytes-like"]),
    anything.filter(lambda v: not hasattr(type(v), "__fspath__")),
)


@bounded
@given(image=an_image(), kind=path_kinds)
def test_write_png_takes_paths_only(image, kind, tmp_path_factory):
    folder = tmp_path_factory.mktemp("png")
    special = {"pathlib": folder / "p.png", "bytes": str(folder / "b.png").encode(), "bytes-like": BytesPath()}
    if isinstance(kind, str):
        # Any other text names a file inside the folder (a NUL stays in it).
        path = special.get(kind, str(folder / (kind.replace("/", "_").strip(".") or "x")))
    else:
        path = kind

    result = outcome(lambda: expect_path(path, "path"), image.write_png, path)
    if result is not None:
        _, returned = result
        assert returned is None
        from PIL import Image as Picture
        with Picture.open(path) as picture:
            assert picture.size == (image.width, image.height)
            assert picture.tobytes() == image.pixels
