"""Renderer, Image, flat and three-axis renderings, PNG files."""

import io
import math
import os
import pathlib
import struct

import pytest

from veldra import Image, Instance, Palette, Renderer

PIL = pytest.importorskip("PIL.Image")


def renderer(dims, seed=7):
    return Renderer(Instance(dims, seed=seed))


def test_renderer_repr_and_instance_copies():
    r = Renderer(noise=Instance([4, 4], seed=7))
    assert repr(r) == "Renderer(dims=[4, 4], seed=7)"
    a, b = r.instance(), r.instance()
    assert a is not b and a.dims == [4, 4] and a.seed == 7
    assert a.noise([1.5, 2.5]) == Instance([4, 4], seed=7).noise([1.5, 2.5])


@pytest.mark.parametrize("dims", [[5], [1, 1, 1, 1, 1]])
def test_renderer_needs_two_to_four_dimensions(dims):
    with pytest.raises(ValueError) as caught:
        Renderer(Instance(dims))
    assert str(caught.value) == f"Images need 2 to 4 dimensions, got {len(dims)}"


def test_renderer_needs_an_instance():
    with pytest.raises(TypeError, match="^argument 'noise': 'int' object cannot be converted to 'Instance'$"):
        Renderer(3)


def test_grayscale_size_and_repr():
    image = renderer([4, 4]).grayscale([64, 64])
    assert (image.width, image.height, image.channels) == (257, 257, 1)
    assert len(image.pixels) == 257 * 257
    assert repr(image) == "Image(257x257, channels=1)"
    assert min(image.pixels) == 0 and max(image.pixels) == 255


def test_axis_zero_runs_down_the_image():
    image = renderer([2, 5]).grayscale([3, 4])
    assert (image.width, image.height) == (21, 7)
    field = Instance([2, 5], seed=7)
    table = field.table([3, 4])
    lo, hi = min(table.values), max(table.values)
    for row in range(7):
        for column in range(21):
            scaled = (table.get([row, column]) - lo) / (hi - lo) * 255
            whole = math.floor(scaled)
            expected = min(whole + (scaled - whole >= 0.5), 255)  # halves away from zero
            assert image.pixel(column, row)[0] == expected


def test_pixel_reads_and_bounds():
    image = renderer([3, 3]).colored([4, 4], Palette.HEAT)
    pixels = image.pixels
    assert image.pixel(image.width - 1, image.height - 1) == pixels[-3:]
    assert image.pixel(1, 2) == pixels[(2 * image.width + 1) * 3:][:3]
    assert image.pixel(image.width, 0) is None and image.pixel(0, image.height) is None
    with pytest.raises(OverflowError):
        image.pixel(-1, 0)


@pytest.mark.parametrize("palette, middle", [(Palette.GRAY, (128, 128, 128)), (Palette.BLUE_RED, (247, 247, 247))])
def test_divisors_of_one_show_the_middle(palette, middle):
    r = renderer([3, 2])
    gray = r.grayscale([1, 1])
    assert (gray.width, gray.height) == (3, 4) and set(gray.pixels) == {128}
    colored = r.colored([1, 1], palette)
    assert {colored.pixel(x, y) for x in range(3) for y in range(4)} == {bytes(middle)}


def test_colored_spans_the_palette():
    image = renderer([4, 4]).colored([8, 8], Palette.TERRAIN)
    colours = {image.pixel(x, y) for x in range(image.width) for y in range(image.height)}
    assert bytes(Palette.TERRAIN.color(0)) in colours and bytes(Palette.TERRAIN.color(1)) in colours


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda r: r.grayscale([8]), "This image needs a 2 dimensional field, got 3"),
        (lambda r: r.colored([8, 8, 8], Palette.GRAY), "This image needs a 2 dimensional field, got 3"),
        (lambda r: r.rgb_channels([8]), "Expected 3 divisors, got 1"),
        (lambda r: r.rgb_palette([8, 0, 8], 0, Palette.GRAY), "Divisor cannot be 0"),
    ],
)
def test_flat_images_need_two_dimensions_first(call, message):
    with pytest.raises(ValueError) as caught:
        call(renderer([2, 2, 2]))
    assert str(caught.value) == message


@pytest.mark.parametrize("divisors, message", [([8], "Expected 2 divisors, got 1"),
                                               ([0, 8], "Divisor cannot be 0"),
                                               ([2**63, 1], "Grid size overflows usize")])
def test_flat_images_pass_table_errors_on(divisors, message):
    for render in (lambda r: r.grayscale(divisors), lambda r: r.colored(divisors, Palette.HEAT)):
        with pytest.raises(ValueError) as caught:
            render(renderer([2, 2]))
        assert str(caught.value) == message


def test_slices_are_checked_only_after_the_table():
    # The table cannot be allocated, so the failure is the memory, not the slice.
    with pytest.raises(MemoryError):
        renderer([2, 2, 2]).rgb_channels_at([10**6, 10**6, 2], (99, 0, 0))


def test_colored_refuses_an_integer_palette():
    with pytest.raises(TypeError, match="^argument 'palette': "):
        renderer([2, 2]).colored([2, 2], 2)


def test_rgb_channels_slices_and_colour_axis():
    r = renderer([4, 4, 1])
    with pytest.raises(ValueError) as caught:
        r.rgb_channels([8, 8, 1])
    assert str(caught.value) == "The colour axis has 2 samples but needs at least 3; raise its divisor"
    assert r.rgb_channels([8, 8, 2]).pixels == r.rgb_channels_at([8, 8, 2], (0, 1, 2)).pixels
    assert r.rgb_channels([8, 8, 4]).pixels == r.rgb_channels_at([8, 8, 4], (0, 2, 4)).pixels
    assert r.rgb_channels([8, 8, 3]).pixels == r.rgb_channels_at([8, 8, 3], (0, 1, 3)).pixels


def test_colour_axis_check_computes_no_noise():
    # This table could never be allocated: the colour-axis check must come first.
    with pytest.raises(ValueError, match="^The colour axis has 2 samples"):
        renderer([2, 2, 1]).rgb_channels([10**9, 10**9, 1])


def test_one_slice_three_times_is_grey():
    image = renderer([3, 3, 2]).rgb_channels_at([4, 4, 2], (1, 1, 1))
    triples = [image.pixel(x, y) for x in range(image.width) for y in range(image.height)]
    assert all(p[0] == p[1] == p[2] for p in triples)
    assert {p[0] for p in triples} >= {0, 255}


@pytest.mark.parametrize(
    "slices, message",
    [
        ((0, 0, 5), "Slice 5 is outside the colour axis, which has 5 samples"),
        ((5, 6, 0), "Slice 5 is outside the colour axis, which has 5 samples"),
        ((0, 7, 9), "Slice 7 is outside the colour axis, which has 5 samples"),
    ],
)
def test_slices_outside_the_colour_axis(slices, message):
    with pytest.raises(ValueError) as caught:
        renderer([2, 2, 2]).rgb_channels_at([2, 2, 2], slices)
    assert str(caught.value) == message


def test_slices_must_be_a_tuple_of_three():
    r = renderer([2, 2, 2])
    with pytest.raises(TypeError, match="^argument 'slices': 'list' object cannot be converted to 'PyTuple'$"):
        r.rgb_channels_at([2, 2, 2], [0, 1, 2])
    with pytest.raises(ValueError) as caught:
        r.rgb_channels_at([2, 2, 2], (0, 1))
    assert str(caught.value) == "expected tuple of length 3, but got tuple of length 2"


def test_rgb_palette():
    r = renderer([2, 2, 2])
    with pytest.raises(ValueError, match="^Slice 5 is outside the colour axis, which has 5 samples$"):
        r.rgb_palette([2, 2, 2], 5, Palette.HEAT)
    image = r.rgb_palette([2, 2, 1], 1, Palette.HEAT)
    assert image.channels == 3 and (image.width, image.height) == (5, 5)
    flat = r.rgb_palette([1, 1, 1], 0, Palette.BLUE_RED)
    assert set(flat.pixels) == {247}


@pytest.mark.parametrize("method, arguments", [
    ("rgb_channels", ([2, 2],)), ("rgb_channels_at", ([2, 2], (0, 0, 0))), ("rgb_palette", ([2, 2], 0, Palette.GRAY))])
def test_three_axis_images_need_three_dimensions(method, arguments):
    with pytest.raises(ValueError) as caught:
        getattr(renderer([2, 2]), method)(*arguments)
    assert str(caught.value) == "This image needs a 3 dimensional field, got 2"


def test_image_cannot_be_built_directly():
    with pytest.raises(TypeError):
        Image()


def chunk_types(data):
    types, offset = [], 8
    while offset < len(data):
        (length,) = struct.unpack(">I", data[offset:offset + 4])
        types.append(data[offset + 4:offset + 8].decode())
        offset += 12 + length
    return types


@pytest.mark.parametrize("image", [
    renderer([4, 4]).grayscale([16, 16]),
    renderer([3, 5]).colored([7, 3], Palette.AZURE),
    renderer([2, 2, 2]).rgb_channels([8, 8, 2]),
])
@pytest.mark.parametrize("as_path", [str, pathlib.Path])
def test_png_files_decode_to_the_pixels(image, as_path, tmp_path):
    path = tmp_path / "picture.png"
    assert image.write_png(as_path(path)) is None
    data = path.read_bytes()
    decoded = PIL.open(io.BytesIO(data))
    assert decoded.mode == ("L" if image.channels == 1 else "RGB")
    assert decoded.size == (image.width, image.height)
    assert decoded.tobytes() == image.pixels
    types = chunk_types(data)
    assert types[0] == "IHDR" and types[-1] == "IEND"
    assert set(types[1:-1]) == {"IDAT"}


def test_png_truncates_a_longer_file(tmp_path):
    path = tmp_path / "old.png"
    path.write_bytes(b"x" * 1_000_000)
    renderer([2, 2]).grayscale([2, 2]).write_png(str(path))
    assert PIL.open(path).size == (5, 5) and path.stat().st_size < 1000


def test_png_path_must_be_text(tmp_path):
    image = renderer([2, 2]).grayscale([2, 2])
    with pytest.raises(TypeError, match="^argument 'path': "):
        image.write_png(os.fsencode(tmp_path / "a.png"))
    with pytest.raises(TypeError, match="^argument 'path': "):
        image.write_png(5)


def test_renderings_are_identical_on_one_worker_and_many(one_cpu, many_cpus):
    flat, cube = renderer([8, 8], seed=3), renderer([4, 4, 4], seed=3)

    # Every image has enough pixels to be cut into chunks for the workers.
    def render():
        return [flat.grayscale([32, 32]).pixels, flat.colored([32, 32], Palette.HEAT).pixels,
                cube.rgb_channels([64, 64, 4]).pixels,
                cube.rgb_palette([64, 64, 4], 5, Palette.TERRAIN).pixels]

    many = render()
    with one_cpu():
        assert render() == many
