#!/usr/bin/env python3
"""Coverage-guided fuzzing of every entry point of veldra._native and veldra._extras.

The fuzzer's bytes choose an entry point and its arguments: numbers at and
beyond every edge, NaN and infinities, sequences (honest and lying ones),
strings, settings objects and objects of the wrong class. Every call must
return a result that keeps its promises or raise one of the exceptions the
module documents; anything else (another exception, a broken invariant, a
crash, a sanitizer report) is a finding.

    python fuzz/api.py CORPUS... -max_total_time=30   fuzz (libFuzzer flags)
    python fuzz/api.py --replay CORPUS...             run every input once

Built with -DVELDRA_FUZZ=ON (clang), the extension feeds its own coverage
to the fuzzer; otherwise only this file's branches guide it. Valid requests
that would take long (a default coat of 45000 strands, a table of millions
of values) are skipped: they prove nothing about arguments. A finding is
replayed with --replay on its file, fixed, and kept as a test under
tests/python.
"""

import ctypes
import glob
import math
import os
import sys
import tempfile

import atheris

# An extension built for fuzzing calls the coverage hooks of the libFuzzer
# inside atheris, which must therefore be visible before it is imported.
_core = glob.glob(os.path.join(os.path.dirname(atheris.__file__), "core_with_libfuzzer*.so"))
if _core:
    ctypes.CDLL(_core[0], mode=os.RTLD_NOW | os.RTLD_GLOBAL)

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "python"))
import contract  # noqa: E402
from veldra import Globe, Hair, Image, Instance, Palette, Relief, Renderer, Shape, Table  # noqa: E402
from veldra import _extras as veldra_extras  # noqa: E402

EDGE_INTS = [-1, 0, 1, 2, 3, 8, 9, 16, 17, 255, 256, 2**31, 2**32, 2**53 + 1, 2**63 - 1, 2**63,
             2**64 - 1, 2**64, -(2**63), 10**30]
EDGE_FLOATS = [0.0, -0.0, 0.5, 1.0, -1.0, 2.0, 1e-5, 5e-324, 2.2250738585072014e-308, 1e16, 1e300,
               float("inf"), float("-inf"), float("nan"), 2.0**64]

FIELDS = [Instance([2, 2], 1), Instance([1, 3, 2], 2), Instance([1, 1, 1, 2], 3), Instance([3], 4),
          Instance([1] * 5, 5)]
RENDERERS = [Renderer(FIELDS[0]), Renderer(FIELDS[1]), Renderer(FIELDS[2])]
TABLES = [FIELDS[0].table([2, 3]), FIELDS[3].table([4])]
IMAGES = [RENDERERS[0].grayscale([1, 2]), RENDERERS[1].rgb_channels([1, 1, 1])]
SETTINGS = {Relief: Relief(), Globe: Globe(samples=1), Hair: Hair(count=5, steps=5)}
FOLDER = tempfile.mkdtemp(prefix="veldra-fuzz-")


class Indexable:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


class FloatLike:
    def __init__(self, value):
        self.value = value

    def __float__(self):
        return self.value


class LyingLength:
    def __init__(self, items, length):
        self.items = items
        self.length = length

    def __len__(self):
        if self.length < 0:
            raise RuntimeError("no length")
        return self.length

    def __getitem__(self, i):
        return self.items[i]


class Arguments:
    """Python values decoded from the fuzzer's bytes."""

    def __init__(self, data):
        self.fdp = atheris.FuzzedDataProvider(data)

    def choose(self, options):
        return options[self.fdp.ConsumeIntInRange(0, len(options) - 1)]

    def small(self, limit=8):
        return self.fdp.ConsumeIntInRange(0, limit)

    def integer(self):
        kind = self.small(3)
        if kind == 0:
            return self.small()
        if kind == 1:
            return self.choose(EDGE_INTS)
        if kind == 2:
            return self.fdp.ConsumeInt(9)
        return Indexable(self.choose(EDGE_INTS))

    def number(self):
        kind = self.small(4)
        if kind == 0:
            return self.fdp.ConsumeFloat()
        if kind == 1:
            return self.choose(EDGE_FLOATS)
        if kind == 2:
            return self.fdp.ConsumeFloatInRange(-2.0, 4.0)
        if kind == 3:
            return FloatLike(self.choose(EDGE_FLOATS))
        return self.integer()

    def sequence(self, item, depth):
        items = [item(depth + 1) for _ in range(self.small(5))]
        kind = self.small(4)
        if kind == 0:
            return tuple(items)
        if kind == 1:
            return LyingLength(items, self.choose([-1, 0, 2**40, 2**62]))
        if kind == 2 and all(isinstance(i, int) and 0 <= i < 256 for i in items):
            return bytes(items)
        return items

    def value(self, depth=0):
        kind = self.small(13 if depth < 2 else 9)
        if kind <= 1:
            return self.integer()
        if kind <= 3:
            return self.number()
        if kind == 4:
            return self.choose([None, True, False, object(), {1: 2}, {1}, 1j, "", "12"])
        if kind == 5:
            return self.fdp.ConsumeUnicodeNoSurrogates(4)
        if kind == 6:
            return self.choose(FIELDS + RENDERERS + TABLES + IMAGES + list(SETTINGS.values()))
        if kind == 7:
            return self.choose([Palette.GRAY, Palette.TERRAIN, Shape.RIDGED, Palette, Shape])
        if kind == 8:
            return range(self.small(), self.small(20))
        if kind == 9:
            return self.fdp.ConsumeBytes(self.small(3))
        if kind == 10:
            return self.sequence(lambda d: self.integer(), depth)
        if kind == 11:
            return self.sequence(lambda d: self.number(), depth)
        return self.sequence(self.value, depth)

    def list_argument(self, item):
        """A plausible list most of the time, anything otherwise."""
        if self.small(3) == 0:
            return self.value()
        return self.sequence(lambda d: item(), 0)

    def dims(self):
        return self.list_argument(lambda: self.choose([1, 2, 3, self.integer()]))

    def divisors(self):
        return self.list_argument(lambda: self.choose([1, 2, 4, self.integer()]))

    def point(self):
        return self.list_argument(self.number)


ALLOWED = (TypeError, ValueError, OverflowError, MemoryError)


def affordable(count, item_bytes):
    """Runs the call when cheap or impossible; False for requests that could
    be met but would take long (they prove nothing here)."""
    return contract.memory_class(count, item_bytes) != "costly"


def table_cost_ok(field, divisors):
    try:
        converted = contract.expect_u64s(divisors, "divisors")
        shape = contract.expect_layout(field.dims, converted)
    except contract.Refusal:
        return True
    count = math.prod(shape)
    return affordable(count, 8) and (count << len(shape)) < (1 << 20) or count * 8 >= contract.IMPOSSIBLE_BYTES


def size_cost_ok(width, height, per_pixel):
    try:
        w = contract.expect_u64(width, "width")
        h = contract.expect_u64(height, "height")
    except contract.Refusal:
        return True
    return affordable(w * h, per_pixel) and (w * h <= 4096 or w * h * per_pixel >= contract.IMPOSSIBLE_BYTES)


def hair_cost_ok(hair):
    if hair is None:
        hair = Hair()  # the defaults: 45000 strands, far too many here
    if not isinstance(hair, Hair):
        return True
    work = hair.count * max(min(hair.steps, 10**9), 1)
    return work <= 20000 or hair.count * 64 >= contract.IMPOSSIBLE_BYTES or (
        hair.count <= 64 and hair.steps * 8 >= contract.IMPOSSIBLE_BYTES and hair.jitter == 0)


def check_image(image):
    assert isinstance(image, Image)
    assert image.channels in (1, 3) and image.width >= 1 and image.height >= 1
    assert len(image.pixels) == image.width * image.height * image.channels
    assert image.pixel(image.width, 0) is None
    assert image.pixel(image.width - 1, image.height - 1) == image.pixels[-image.channels:]


def check_field(field):
    n = len(field.dims)
    assert 1 <= n <= 16 and field.shape == [d + 1 for d in field.dims]
    g = field.gradient([0] * n)
    assert g is not None and abs(math.hypot(*g) - 1) < 1e-9


def call_instance_methods(args):
    field = args.choose(FIELDS)
    n = len(field.dims)
    which = args.small(4)
    if which == 0:
        value = field.noise(args.point())
        assert isinstance(value, float) and abs(value) <= math.sqrt(n)
    elif which == 1:
        pull = field.force(args.point())
        assert len(pull) == n and math.hypot(*pull) <= 1 + 1e-9
    elif which == 2:
        g = field.gradient(args.dims())
        assert g is None or (len(g) == n and abs(math.hypot(*g) - 1) < 1e-9)
    elif which == 3:
        divisors = args.divisors()
        if table_cost_ok(field, divisors):
            table = field.table(divisors)
            assert isinstance(table, Table) and len(table) == math.prod(table.shape)
            assert table.shape == field.table_shape(divisors)
            assert all(abs(v) <= math.sqrt(n) for v in table.values)
    else:
        shape = field.table_shape(args.divisors())
        assert len(shape) == n


def call_table_or_image(args):
    if args.small(1) == 0:
        table = args.choose(TABLES)
        value = table.get(args.dims())
        assert value is None or isinstance(value, float)
        return
    image = args.choose(IMAGES)
    if args.small(3) == 0:
        name = args.fdp.ConsumeUnicodeNoSurrogates(6)
        path = args.choose([name, args.value(), name.encode(errors="surrogateescape")])
        if isinstance(path, str):
            # Files are written only inside the scratch folder.
            path = os.path.join(FOLDER, path.replace("/", "_").strip(".") or "x")
        try:
            image.write_png(path)
        except OSError:
            pass
        return
    pixel = image.pixel(args.value() if args.small(2) == 0 else args.small(), args.small(3))
    assert pixel is None or len(pixel) == image.channels


def call_renderer(args):
    renderer = args.choose(RENDERERS)
    which = args.small(8)
    field = renderer.instance()
    if which <= 5:
        divisors = args.divisors()
        if not table_cost_ok(field, divisors):
            return
        calls = [lambda: renderer.grayscale(divisors),
                 lambda: renderer.colored(divisors, args.value() if args.small(3) == 0 else Palette.HEAT),
                 lambda: renderer.rgb_channels(divisors),
                 lambda: renderer.rgb_channels_at(divisors, args.value() if args.small(2) == 0 else
                                                  (args.small(3), args.small(3), args.small(3))),
                 lambda: renderer.rgb_palette(divisors, args.integer(), args.value()),
                 lambda: renderer.relief(divisors, args.value() if args.small(2) == 0 else make_settings(args, Relief))]
        check_image(calls[which]())
    elif which == 6:
        width, height = args.integer(), args.integer()
        globe = args.value() if args.small(3) == 0 else make_settings(args, Globe)
        if size_cost_ok(width, height, 20):
            check_image(renderer.globe(width, height, globe))
    else:
        width, height = args.integer(), args.integer()
        hair = args.value() if args.small(3) == 0 else make_settings(args, Hair)
        if size_cost_ok(width, height, 12) and hair_cost_ok(hair):
            check_image(renderer.hair(width, height, hair))


FIELD_NAMES = {cls: [n for n in dir(cls) if not n.startswith("_")] for cls in SETTINGS}


def make_settings(args, cls):
    """A settings object: the defaults with a few fields set (small counts
    for Hair), or nothing at all when a field refused its value."""
    settings = cls(count=args.small(70), steps=args.small(40)) if cls is Hair else cls()
    for _ in range(args.small(3)):
        name = args.choose(FIELD_NAMES[cls])
        if cls is Hair and name in ("count", "steps"):
            continue
        try:
            setattr(settings, name, args.value())
        except ALLOWED:
            pass
    return settings


def call_settings(args):
    cls = args.choose(list(SETTINGS))
    which = args.small(3)
    if which == 0:
        kwargs = {args.choose(FIELD_NAMES[cls] + ["bogus"]): args.value() for _ in range(args.small(4))}
        positional = [args.value() for _ in range(args.small(1) * args.small(22))]
        built = cls(*positional, **kwargs)
        assert isinstance(built, cls) and repr(built).startswith(cls.__name__ + "(")
    elif which == 1:
        settings = cls()
        name = args.choose(FIELD_NAMES[cls])
        before = repr(settings)
        try:
            setattr(settings, name, args.value())
        except ALLOWED:
            assert repr(settings) == before
            raise
        getattr(settings, name)
    elif which == 2:
        try:
            delattr(cls(), args.choose(FIELD_NAMES[cls]))
        except AttributeError as e:
            assert str(e) == "can't delete attribute"
            return
        raise AssertionError("a property was deleted")
    else:
        rgb = args.choose([Palette.GRAY, Palette.BLUE_RED, Palette.TERRAIN]).color(args.number())
        assert len(rgb) == 3 and all(0 <= c <= 255 for c in rgb)


def call_constructors(args):
    which = args.small(3)
    if which == 0:
        dims = args.dims()
        try:
            converted = contract.expect_u64s(dims, "dims")
            count = contract.expect_field(converted)
            if not affordable(count * len(converted), 8):
                return
        except contract.Refusal:
            pass
        check_field(Instance(dims, args.integer()) if args.small(1) else Instance(dims))
    elif which == 1:
        renderer = Renderer(args.value() if args.small(1) else args.choose(FIELDS))
        check_field(renderer.instance())
    elif which == 2:
        # Binding: surplus, unknown and repeated arguments.
        target = args.choose([FIELDS[0].noise, FIELDS[0].table, RENDERERS[0].relief, IMAGES[0].pixel, Instance,
                              Renderer, Relief])
        positional = [args.small() for _ in range(args.small(4))]
        keywords = {args.choose(["point", "divisors", "relief", "x", "y", "dims", "seed", "noise", "gloss", "zz"]):
                    args.small() for _ in range(args.small(2))}
        target(*positional, **keywords)
    else:
        a, b = args.value(), args.value()
        try:
            a == b, a != b  # noqa: B015  (comparisons must not crash)
            hash(a)
        except TypeError:
            pass


def call_value_constructors(args):
    """What unpickling a table or image calls, with crafted sizes and bytes."""
    data = args.fdp.ConsumeBytes(args.small(64)) if args.small(3) else args.value()
    if args.small(1) == 0:
        shape = args.dims()
        table = veldra_extras.table_from_bytes(shape, data)
        assert table.shape == contract.expect_u64s(shape, "shape") and bytes(table) == bytes(data)
    else:
        width, height, channels = args.integer(), args.integer(), args.choose([1, 3, args.integer()])
        image = veldra_extras.image_from_bytes(width, height, channels, data)
        check_image(image)
        sizes = [contract.expect_u64(v, "size") for v in (width, height, channels)]
        assert [image.width, image.height, image.channels] == sizes and image.pixels == bytes(data)


ENTRY_POINTS = [call_instance_methods, call_table_or_image, call_renderer, call_settings, call_constructors,
                call_value_constructors]


def test_one_input(data):
    args = Arguments(data)
    entry = args.choose(ENTRY_POINTS)
    try:
        entry(args)
    except ALLOWED as e:
        if isinstance(e, TypeError):
            assert contract.NAME_PREFIX.match(str(e)) or "unhashable" in str(e) or "not supported" in str(e), e
    except (AttributeError, OSError) as e:
        raise AssertionError(f"{entry.__name__} raised {e!r}") from e


def replay(paths):
    files = [os.path.join(root, f) for p in paths for root, _, names in os.walk(p) for f in names]
    for path in sorted(files):
        with open(path, "rb") as f:
            test_one_input(f.read())
    print(f"replayed {len(files)} inputs")


if __name__ == "__main__":
    if len(sys.argv) > 1 and sys.argv[1] == "--replay":
        replay(sys.argv[2:])
    else:
        atheris.Setup(sys.argv, test_one_input, internal_libfuzzer=True)
        atheris.Fuzz()
