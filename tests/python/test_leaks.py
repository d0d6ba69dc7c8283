"""Calling every entry point many times, on success and on failure, leaks
neither references to its arguments, nor Python objects, nor native memory."""

import ctypes
import gc
import sys
import tracemalloc

from veldra import Globe, Hair, Instance, Palette, Relief, Renderer, Shape

FIELD = Instance([2, 3], seed=4)
FLAT = Renderer(FIELD)
COLOUR = Renderer(Instance([1, 2, 1], seed=5))
SPHERE = Renderer(Instance([1, 1, 1, 2], seed=6))
TABLE = FIELD.table([2, 2])
IMAGE = FLAT.grayscale([2, 2])


def raising(call, *args, **kwargs):
    try:
        call(*args, **kwargs)
    except (TypeError, ValueError, OverflowError, MemoryError, AttributeError):
        return
    raise AssertionError("expected an exception")


def set_and_delete(settings, name, value):
    setattr(settings, name, value)
    raising(delattr, settings, name)


# Each entry takes one argument object `a`, whose reference count must come
# back to where it was; successes and each kind of failure are included.
CALLS = {
    "Instance": (lambda a: Instance(a, seed=3), [2, 2]),
    "Instance refused": (lambda a: raising(Instance, a), [0]),
    "Instance wrong type": (lambda a: raising(Instance, a), "12"),
    "Instance too large": (lambda a: raising(Instance, a), [2**40]),
    "properties": (lambda a: (a.dims, a.shape, a.intersections, a.seed, repr(a)), FIELD),
    "noise": (lambda a: FIELD.noise(a), [0.5, 1.5]),
    "noise outside": (lambda a: raising(FIELD.noise, a), [0.5, 9.0]),
    "noise bad item": (lambda a: raising(FIELD.noise, a), [0.5, "x"]),
    "force": (lambda a: FIELD.force(a), (1.0, 2.0)),
    "gradient": (lambda a: (FIELD.gradient(a), FIELD.gradient([9, 9])), [1, 2]),
    "table": (lambda a: FIELD.table(a).values, [2, 3]),
    "table refused": (lambda a: raising(FIELD.table, a), [2**63, 2]),
    "table_shape": (lambda a: FIELD.table_shape(a), range(1, 3)),
    "Table": (lambda a: (TABLE.get(a), TABLE.get([99, 0]), TABLE.shape, len(TABLE), repr(TABLE)), [1, 1]),
    "Renderer": (lambda a: (Renderer(a).instance(), repr(FLAT)), FIELD),
    "Renderer refused": (lambda a: raising(Renderer, a), Instance([2])),
    "flat images": (lambda a: (FLAT.grayscale(a).pixels, FLAT.colored(a, Palette.HEAT).pixel(0, 0)), [2, 2]),
    "colour images": (lambda a: (COLOUR.rgb_channels([1, 1, 2]), COLOUR.rgb_channels_at([1, 1, 2], a),
                                 COLOUR.rgb_palette([1, 1, 2], 1, Palette.AZURE)), (0, 1, 2)),
    "slices refused": (lambda a: raising(COLOUR.rgb_channels_at, [1, 1, 2], a), (0, 1, 9)),
    "relief": (lambda a: FLAT.relief([2, 2], a), Relief(shape=Shape.RIDGED)),
    "globe": (lambda a: SPHERE.globe(6, 5, a), Globe(samples=2)),
    "globe refused": (lambda a: raising(SPHERE.globe, 6, 5, a), Globe(fill=2.0)),
    "hair": (lambda a: FLAT.hair(9, 7, a), Hair(count=70, steps=5, color_from_field=True)),
    "hair refused": (lambda a: raising(FLAT.hair, 9, 7, a), Hair(step=0)),
    "hair out of memory": (lambda a: raising(FLAT.hair, 9, 7, a), Hair(count=65, steps=2**62, jitter=0)),
    "image": (lambda a: (IMAGE.pixel(*a), IMAGE.pixels, IMAGE.width, repr(IMAGE)), (1, 2)),
    "binding errors": (lambda a: (raising(FIELD.noise, a, a), raising(FIELD.noise, pt=a),
                                  raising(FIELD.noise, a, point=a), raising(FIELD.noise)), [1.0, 1.0]),
    "settings": (lambda a: (Relief(light=a), Hair(light=a[:2]), repr(Globe()), Relief().light),
                 [0.1, 0.2, 0.3]),
    "settings refused": (lambda a: (raising(Relief, light=a[:2]), raising(Hair, light=a),
                                    raising(Globe, background=[1, 2])), [0.1, 0.2, 0.3]),
    "setters": (lambda a: (set_and_delete(Relief(), "light", a), set_and_delete(Hair(), "surface", Relief()),
                           raising(setattr, Relief(), "light", a[:1])), [0.0, 0.0, 1.0]),
    "enumerations": (lambda a: (a.color(0.3), a == 2, a != Shape.SMOOTH, repr(a), int(a),
                                raising(hash, a)), Palette.HEAT),
}


def watched():
    """Reference counts of every argument and of the items of a list or
    tuple, but not of the small integers the interpreter shares."""
    counts = {}
    for name, (_, argument) in CALLS.items():
        items = list(argument) if isinstance(argument, (list, tuple)) else []
        objects = [argument] + [i for i in items if not (isinstance(i, int) and -5 <= i <= 256)]
        counts[name] = [sys.getrefcount(o) - 1 for o in objects]
    return counts


def run_everything(times):
    for _ in range(times):
        for call, argument in CALLS.values():
            call(argument)
    gc.collect()


def native_bytes_in_use():
    """Bytes the C allocator has handed out on the main arena and in mapped
    blocks, or None where glibc's mallinfo2 is missing."""
    try:
        mallinfo2 = ctypes.CDLL("libc.so.6").mallinfo2
    except (OSError, AttributeError):
        return None

    class MallInfo2(ctypes.Structure):
        _fields_ = [(field, ctypes.c_size_t) for field in
                    ["arena", "ordblks", "smblks", "hblks", "hblkhd", "usmblks", "fsmblks", "uordblks",
                     "fordblks", "keepcost"]]

    mallinfo2.restype = MallInfo2
    info = mallinfo2()
    return info.uordblks + info.hblkhd


def test_running_every_entry_point_many_times_leaks_nothing():
    run_everything(5)  # caches, interned strings and free lists settle
    tracemalloc.start()
    try:
        run_everything(5)
        references_before, counts_before = getattr(sys, "gettotalrefcount", lambda: None)(), watched()
        python_before, native_before = tracemalloc.get_traced_memory()[0], native_bytes_in_use()
        run_everything(60)
        python_after, native_after = tracemalloc.get_traced_memory()[0], native_bytes_in_use()
        references_after, counts_after = getattr(sys, "gettotalrefcount", lambda: None)(), watched()
    finally:
        tracemalloc.stop()
    assert {n: c for n, c in counts_after.items() if c != counts_before[n]} == {}  # no argument kept
    if references_before is not None:  # a debug build of the interpreter
        assert references_after - references_before < 1000
    # A leak of a single object per call would grow by 60 * 31 objects.
    assert python_after - python_before < 16 * 1024
    if native_before is not None:
        assert native_after - native_before < 64 * 1024
