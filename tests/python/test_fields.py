"""Field: the defaults are the Instance, octaves follow their documented
rule, periodic fields wrap, and noise_at / force_at equal noise / force."""

import math
import pickle

import numpy as np
import pytest

from veldra import Field, Globe, Hair, Instance, Palette, Relief, Renderer, Shape

NAN, INF = float("nan"), float("inf")
M = 2**64 - 1


def mix(z):
    z = ((z ^ (z >> 30)) * 0xBF58476D1CE4E5B9) & M
    z = ((z ^ (z >> 27)) * 0x94D049BB133111EB) & M
    return z ^ (z >> 31)


class SplitMix:
    def __init__(self, seed):
        self.state = seed

    def next(self):
        self.state = (self.state + 0x9E3779B97F4A7C15) & M
        return mix(self.state)

    def unit(self, n):
        while True:
            u = [(self.next() >> 11) * 2.0**-53 for _ in range(2 * n)]
            c = [math.sqrt(math.log(1.0 - a) * -2.0) * math.cos(b * 6.283185307179586) for a, b in zip(u[::2], u[1::2])]
            length = math.sqrt(sum(x * x for x in c))
            if length > 1e-12 and math.isfinite(length):
                return [x / length for x in c]


def octave_noise(point, cells, gradient, walls):
    """The formula walked plainly, in a lattice of `cells` (on the axes with `walls`:
    unbounded ones go on), and its derivative."""
    fade = lambda t: (t * (t * t)) * (t * (t * 6.0 - 15.0) + 10.0)  # noqa: E731
    slope = lambda t: 30 * t * t * (t - 1) ** 2  # noqa: E731
    lows = [min(math.floor(x), c - 1) if wall else math.floor(x) for x, c, wall in zip(point, cells, walls)]
    fs = [x - low for x, low in zip(point, lows)]
    total, derivative = 0.0, [0.0] * len(point)
    for corner in range(2 ** len(point)):
        ups = [(corner >> i) & 1 for i in range(len(point))]
        sides = [fade(f) if up else 1.0 - fade(f) for f, up in zip(fs, ups)]
        g = gradient([low + up for low, up in zip(lows, ups)])
        dot = sum(gi * (f - up) for gi, f, up in zip(g, fs, ups))
        total += math.prod(sides) * dot
        for j, (f, up) in enumerate(zip(fs, ups)):
            slopes = sides[:j] + [slope(f) if up else -slope(f)] + sides[j + 1:]
            derivative[j] += math.prod(slopes) * dot + math.prod(sides) * g[j]
    return total, derivative


def reference(dims, seed, octaves, lacunarity, gain, shape, periodic, point, unbounded=False):
    """A field's value and derivative by their documented rules, point by point."""
    seeds, first, total, weights, weight = SplitMix(seed), Instance(dims, seed), 0.0, 0.0, 1.0
    n, scale, derivative = len(dims), 1.0, [0.0] * len(dims)
    wraps = list(periodic) if isinstance(periodic, (list, tuple)) else [periodic] * n
    for k in range(octaves):
        whole = lacunarity == int(lacunarity)
        cells = [d * int(lacunarity) ** k if whole else math.ceil(d * scale) for d in dims]
        wrap = lambda j, cells=cells: [0 if w and a == c else a for a, c, w in zip(j, cells, wraps)]  # noqa: E731
        if k == 0 and not unbounded:
            gradient = lambda j: first.gradient(wrap(j))  # noqa: E731
        else:
            s = seeds.next() if k else seed
            draw = SplitMix(s)
            palette = [draw.unit(n) for _ in range(256)]
            gradient = lambda j, s=s, palette=palette: palette[_entry(s, wrap(j))]  # noqa: E731
        q = [x * scale for x in point]
        q = [x - math.floor(x / c) * c if w else x for x, c, w in zip(q, cells, wraps)]
        v, d = octave_noise(q, cells, gradient, [not (w or unbounded) for w in wraps])
        sign = 1 if shape == Shape.SMOOTH else (v > 0) - (v < 0) if shape == Shape.BILLOW else (v < 0) - (v > 0)
        total += weight * (v if shape == Shape.SMOOTH else abs(v) if shape == Shape.BILLOW else -abs(v))
        derivative = [a + weight * sign * b * scale for a, b in zip(derivative, d)]
        weights += weight
        weight *= gain
        scale *= lacunarity
    return total / weights, [a / weights for a in derivative]


def _entry(seed, index):
    """The palette entry of a lattice index: the 32-bit sum of the axes' terms, mixed."""
    low, high = lambda x: x & 0xFFFFFFFF, lambda x: x >> 32
    h = low(seed) ^ high(seed)
    for i, j in enumerate(index):
        j, a = j & M, mix(2 * i + 1)
        h += low(j) * (low(a) | 1) + high(j) * (high(a) | 1)
    h &= 0xFFFFFFFF
    for shift, factor in [(16, 0x7FEB352D), (15, 0x846CA68B), (16, 1)]:
        h = ((h ^ (h >> shift)) * factor) & 0xFFFFFFFF
    return h >> 24


@pytest.mark.parametrize("settings", [
    dict(octaves=3, lacunarity=2, gain=0.5, shape=Shape.SMOOTH, periodic=False),
    dict(octaves=3, lacunarity=3, gain=0.35, shape=Shape.BILLOW, periodic=False),
    dict(octaves=4, lacunarity=2, gain=0.8, shape=Shape.RIDGED, periodic=True),
    # The top octaves' indices pass 2^32: their high halves take part.
    dict(octaves=15, lacunarity=5, gain=0.9, shape=Shape.SMOOTH, periodic=False),
    dict(octaves=3, lacunarity=2, gain=0.5, shape=Shape.RIDGED, periodic=(True, False), unbounded=True),
    dict(octaves=4, lacunarity=1.93, gain=0.6, shape=Shape.BILLOW, periodic=False),
    dict(octaves=4, lacunarity=2.5, gain=0.5, shape=Shape.SMOOTH, periodic=False, unbounded=True),
])
def test_octaves_follow_their_documented_rule(settings):
    dims, seed = [3, 2], 5
    field = Field(dims, seed, octaves=settings["octaves"], lacunarity=settings["lacunarity"],
                  gain=settings["gain"], octave_shape=settings["shape"], periodic=settings["periodic"],
                  unbounded=settings.get("unbounded", False))
    low = -4 if settings["periodic"] is True or settings.get("unbounded") else 0
    points = (np.random.default_rng(1).uniform(low, 1, (40, 2)) * dims).tolist()
    for p in points:
        value, derivative = reference(dims, seed, point=p, **settings)
        assert field.noise(p) == pytest.approx(value, abs=1e-14)
        assert field.derivative(p) == pytest.approx(derivative, rel=1e-12, abs=1e-12)


@pytest.mark.parametrize("n", range(1, 7))
@pytest.mark.parametrize("shape", [Shape.SMOOTH, Shape.BILLOW, Shape.RIDGED])
@pytest.mark.parametrize("settings", [dict(), dict(periodic=True), dict(lacunarity=1.9, unbounded=True)])
def test_derivatives_are_the_slopes_of_the_values(n, shape, settings):
    field = Field([3] * n, n, octaves=5 if n < 5 else 3, octave_shape=shape, **settings)
    def central(p, h):  # fourth order
        f = [np.asarray(field.noise_at(p + side * h * np.eye(n))) for side in (-2, -1, 1, 2)]
        return (8 * (f[2] - f[1]) - (f[3] - f[0])) / (12 * h)

    checked = 0
    for p in np.random.default_rng(n).uniform(0.1, 2.9, (30, n)):
        d, wide, narrow = np.asarray(field.derivative(p.tolist())), central(p, 2e-4), central(p, 1e-4)
        # Near a fold (|v| at v = 0) the value has no slope, and the two estimates disagree.
        if np.linalg.norm(wide - narrow) > 1e-7 * np.linalg.norm(d):
            continue
        assert np.linalg.norm(d - narrow) < 1e-6 * np.linalg.norm(d)
        checked += 1
    assert checked >= 20


RENDERINGS = {
    "grayscale": ([5, 4], lambda r: r.grayscale([6, 5])),
    "colored": ([5, 4], lambda r: r.colored([6, 5], Palette.HEAT)),
    "relief": ([5, 4], lambda r: r.relief([6, 5], Relief(shape=Shape.BILLOW))),
    "hair": ([5, 4], lambda r: r.hair(60, 50, Hair(count=300, steps=40, color_from_field=True))),
    "rgb_channels": ([3, 3, 2], lambda r: r.rgb_channels([5, 5, 2])),
    "rgb_channels_at": ([3, 3, 2], lambda r: r.rgb_channels_at([5, 5, 2], (0, 2, 4))),
    "rgb_palette": ([3, 3, 2], lambda r: r.rgb_palette([5, 5, 2], 3, Palette.AZURE)),
    "globe": ([2, 2, 2, 2], lambda r: r.globe(40, 30, Globe(samples=2))),
}


@pytest.mark.parametrize("dims, render", RENDERINGS.values(), ids=RENDERINGS)
def test_the_defaults_are_the_instance(dims, render):
    field, instance = Field(dims, 9), Instance(dims, 9)
    assert render(Renderer(field)).pixels == render(Renderer(instance)).pixels
    point = [d * 0.37 for d in dims]
    assert (field.noise(point), field.force(point)) == (instance.noise(point), instance.force(point))
    assert bytes(field.table([3] * len(dims))) == bytes(instance.table([3] * len(dims)))
    assert Renderer(field).instance() == field and type(Renderer(instance).instance()) is Instance


@pytest.mark.parametrize("dims, periodic, unbounded", [
    ([3, 2], True, False), ([2, 3, 2], True, False), ([3, 2], [False, True], False), ([2, 3, 2], [True, False, True], True)])
def test_periodic_axes_wrap_and_the_others_do_not(dims, periodic, unbounded):
    field = Field(dims, 4, octaves=3, periodic=periodic, unbounded=unbounded)
    wraps = periodic if isinstance(periodic, list) else [periodic] * len(dims)
    table = np.asarray(field.table([4] * len(dims)))
    for axis in range(len(dims)):
        assert np.array_equal(np.take(table, 0, axis), np.take(table, -1, axis)) == wraps[axis]
    for p in np.random.default_rng(2).uniform(0, 1.9, (20, len(dims))).tolist():
        for axis, m in zip(range(len(dims)), [-3, 7, 1000]):
            moved = list(p)
            moved[axis] += m * dims[axis]
            if wraps[axis]:
                assert field.noise(moved) == pytest.approx(field.noise(p), abs=1e-9)
                assert field.derivative(moved) == pytest.approx(field.derivative(p), abs=1e-8)
            elif unbounded:
                assert field.noise(moved) != field.noise(p)


PERIODIC_CALLS = {
    "noise": lambda f, p: f.noise(p), "force": lambda f, p: f.force(p),
    "noise_at": lambda f, p: np.asarray(f.noise_at(np.array([p]))).tolist(),
    "force_at": lambda f, p: np.asarray(f.force_at([p])).tolist(),
}


@pytest.mark.parametrize("settings, point, message", [
    (dict(), [2**52, -(2**52)], None),
    (dict(), [2**52 + 1, 0], "Coordinate 0 is 4503599627370497, beyond the unbounded field's reach 2^52"),
    (dict(octaves=3), [0, -(2**50) - 1], "Coordinate 1 is -1125899906842625, beyond the unbounded field's reach 2^52 / 4"),
    # The largest x with x * 2.25 <= 2^52 once rounded, a quarter above the rounded quotient.
    (dict(octaves=3, lacunarity=1.5), [2001599834386887.25, 0], None),
    (dict(octaves=3, lacunarity=1.5), [2001599834386887.5, 0],
     "Coordinate 0 is 2001599834386887.5, beyond the unbounded field's reach 2^52 / 2.25"),
    (dict(periodic=[True, False]), [NAN, 0], "Coordinate 0 is NaN, not a finite number"),
    (dict(periodic=[True, False]), [0, -INF], "Coordinate 1 is -inf, not a finite number"),
])
def test_unbounded_fields_take_points_up_to_their_reach(settings, point, message):
    field = Field([3, 3], 5, unbounded=True, **settings)
    calls = [lambda: field.noise(point), lambda: field.derivative_at([point]), lambda: field.grid(point, [1, 1], [1, 1])]
    for call in calls:
        if message is None:
            call()
        else:
            with pytest.raises(ValueError) as caught:
                call()
            assert str(caught.value).removeprefix("Point 0: ") == message


@pytest.mark.parametrize("start", [[1e12, 3.5e9], [-1e12 - 0.3, -7.25], [-(2**52) / 8 + 1, 2**52 / 8 - 20]])
def test_a_chunk_far_from_the_origin_is_its_points(start):
    field = Field([1, 1], 7, octaves=4, unbounded=True)
    grid = np.asarray(field.grid(start, [1 / 8, 1 / 8], [17, 19]))
    axes = [start[i] + np.arange(m) / 8 for i, m in enumerate([17, 19])]
    points = np.stack(np.meshgrid(*axes, indexing="ij"), -1).reshape(-1, 2)
    assert grid.tobytes() == np.asarray(field.noise_at(points)).tobytes()
    assert np.abs(grid).max() <= math.sqrt(2) and np.abs(grid).std() > 0.05


@pytest.mark.parametrize("call", PERIODIC_CALLS.values(), ids=PERIODIC_CALLS)
@pytest.mark.parametrize("settings, point, wrapped, beyond", [
    (dict(), [2**52, 0.75], [1.0, 0.75], None),  # 2**52 = 1 mod 3
    (dict(), [2**53, 0.75], None, "Coordinate 0 is 9007199254740992, beyond the periodic bound 2^52"),
    (dict(), [-(2**55), 0.75], None, "Coordinate 0 is -36028797018963970, beyond the periodic bound 2^52"),
    (dict(octaves=4), [0.75, 2**49], [0.75, 2.0], None),
    (dict(octaves=4), [0.75, 2**49 + 1], None, "Coordinate 1 is 562949953421313, beyond the periodic bound 2^52 / 8"),
    (dict(octaves=3, lacunarity=3), [-500399958596721, 0.5], [0.0, 0.5], None),  # 2**52 // 9, 0 mod 3
    (dict(octaves=3, lacunarity=3), [0.5, 500399958596722], None,
     "Coordinate 1 is 500399958596722, beyond the periodic bound 2^52 / 9"),
])
def test_periodic_coordinates_wrap_exactly_up_to_the_bound(call, settings, point, wrapped, beyond):
    field = Field([3, 3], 5, periodic=True, **settings)
    if beyond is None:
        assert call(field, point) == call(field, wrapped)
    else:
        with pytest.raises(ValueError) as caught:
            call(field, point)
        assert str(caught.value).removeprefix("Point 0: ") == beyond


FIELDS = [Instance([4, 3], 2), Instance([2, 1, 2], 2), Instance([1, 2, 1, 1, 1], 2),
          Field([4, 3], 2, octaves=3, octave_shape=Shape.RIDGED), Field([2, 1, 2], 2, octaves=2, periodic=True),
          Field([3, 2], 2, octaves=3, lacunarity=2.2, octave_shape=Shape.BILLOW, unbounded=True),
          Field([1, 2, 1, 1, 1], 2, octaves=2, periodic=[True, False, True, False, False]),
          Field([3, 2], 2, octaves=4, lacunarity=1000, periodic=True),  # 3e9 cells: indices past 32 bits
          Field([3, 1, 2], 2, octaves=2, octave_shape=Shape.BILLOW), Field([2, 1, 2, 3], 2, octaves=2)]


@pytest.mark.parametrize("field", FIELDS, ids=repr)
def test_values_at_many_points_are_the_single_point_values(field):
    n, open_ = len(field.dims), getattr(field, "periodic", False) is True or getattr(field, "unbounded", False)
    points = np.random.default_rng(3).uniform(-5 if open_ else 0, 1, (20000, n)) * field.dims
    points[0, -1] = field.dims[-1]  # on the upper boundary, which is inside
    points[997] = np.asarray(field.dims) - 1e-10  # in the last cell of every octave
    noise, force = np.asarray(field.noise_at(points)), np.asarray(field.force_at(points.tolist()))
    assert noise.shape == (20000,) and force.shape == (20000, n)
    slopes = np.asarray(field.derivative_at(points)) if isinstance(field, Field) else force
    for i in range(0, 20000, 997):
        assert noise[i] == field.noise(points[i].tolist()) and force[i].tolist() == field.force(points[i].tolist())
        if isinstance(field, Field):
            assert slopes[i].tolist() == field.derivative(points[i].tolist())
    assert field.noise_at([]).shape == [0] and field.noise_at(np.zeros((0, n))).shape == [0]
    empty = field.force_at([])
    assert pickle.loads(pickle.dumps(empty)).shape == empty.shape == [0, n]


@pytest.mark.parametrize("field", FIELDS, ids=repr)
def test_a_grid_is_noise_at_its_points(field):
    field = Field(field.dims, field.seed) if isinstance(field, Instance) else field
    n, periodic = len(field.dims), field.periodic is True or field.unbounded
    rng = np.random.default_rng(4)
    step = rng.uniform(-0.3, 0.3, n) if periodic else rng.uniform(0.01, 0.1, n) * field.dims / 12
    start, shape, first = rng.uniform(-3, 0, n) if periodic else np.zeros(n) + 0.01, [7, 9, 11, 3, 5][:n], [2] * n
    axes = [start[i] + (first[i] + np.arange(shape[i])) * step[i] for i in range(n)]
    points = np.stack(np.meshgrid(*axes, indexing="ij"), -1).reshape(-1, n)
    grid = field.grid(start.tolist(), step.tolist(), shape, first=first)
    assert grid.shape == shape
    assert np.asarray(grid).tobytes() == np.asarray(field.noise_at(points)).tobytes()
    slopes = field.derivative_grid(start.tolist(), step.tolist(), shape, first=first)
    assert slopes.shape == [*shape, n]
    assert np.asarray(slopes).tobytes() == np.asarray(field.derivative_at(points)).tobytes()
    # At a step of 1 / 4 the grid's coordinates are the table's positions, exactly.
    table = field.table([4] * n)
    assert bytes(field.grid([0] * n, [0.25] * n, table.shape)) == bytes(table)


@pytest.mark.parametrize("dims, step", [([64], [-0.37]), ([64], [0.011]), ([40, 64], [0.013, -0.21]),
                                        ([6, 5, 64], [0.3, -0.2, 0.09]), ([3, 3, 3, 64], [0.3, 0.2, 0.1, -0.05])])
def test_grid_rows_split_between_workers_are_noise_at_their_points(dims, step):
    # Rows of 60000 samples, a few cells to many per sample over the octaves,
    # walked forwards and backwards and cut where the workers' shares meet.
    field = Field(dims, seed=5, octaves=4, unbounded=True)
    n = len(dims)
    shape, start = [2] * (n - 1) + [60000], [1.5] * n
    axes = [start[i] + np.arange(shape[i]) * step[i] for i in range(n)]
    points = np.stack(np.meshgrid(*axes, indexing="ij"), -1).reshape(-1, n)
    assert bytes(field.grid(start, step, shape)) == bytes(field.noise_at(points))


AT_ERRORS = [
    (lambda f: Field([4, 3]).grid([0.5, 0.5], [0.25, 0.25], [9, 12]), ValueError,
     "Coordinate 1 is 3.25, outside the boundary [0, 3]"),
    (lambda f: Field([4, 3]).grid([0.5], [0.25, 0.25], [9, 9]), ValueError, "Expected 2 start coordinates, got 1"),
    (lambda f: Field([4, 3]).grid([0.5, 0.5], [0.25, 0.25], [9, 9, 1]), ValueError, "Expected 2 extents, got 3"),
    (lambda f: f.noise_at([[1, 1], [1, 3.5]]), ValueError, "Point 1: Coordinate 1 is 3.5, outside the boundary [0, 3]"),
    (lambda f: f.force_at(np.array([[0, 0], [0, 0], [NAN, 0]])), ValueError, "Point 2: Coordinate 0 is NaN, outside the boundary [0, 4]"),
    (lambda f: f.noise_at([[1, 1], [1, 1, 1]]), ValueError, "Point 1: Expected 2 coordinates, got 3"),
    (lambda f: f.noise_at(np.zeros((3, 3))), ValueError, "Point 0: Expected 2 coordinates, got 3"),
    (lambda f: f.noise_at(np.zeros(4)), TypeError,
     "argument 'points': expected a 2-dimensional buffer of float64, got 1 dimensions of format 'd'"),
    (lambda f: Field([4, 3], periodic=True).noise_at([[1e15, 0], [0, -INF]]), ValueError,
     "Point 1: Coordinate 1 is -inf, not a finite number"),
]


@pytest.mark.parametrize("call, error, message", AT_ERRORS)
@pytest.mark.parametrize("field", FIELDS[0:4:3], ids=repr)
def test_points_refused(field, call, error, message):
    with pytest.raises(error) as caught:
        call(field)
    assert str(caught.value) == message


FIELD_ERRORS = [
    (dict(octaves=0), ValueError, "Octaves has to be 1 to 32, got 0"),
    (dict(octaves=33), ValueError, "Octaves has to be 1 to 32, got 33"),
    (dict(lacunarity=1), ValueError, "Lacunarity has to be finite and above 1, got 1"),
    (dict(lacunarity=NAN), ValueError, "Lacunarity has to be finite and above 1, got NaN"),
    (dict(lacunarity=1.5, periodic=[False, True]), ValueError,
     "Lacunarity 1.5 is not a whole number, which a periodic axis needs"),
    (dict(periodic=[True]), ValueError, "Expected 2 periodic flags, got 1"),
    (dict(periodic="yes"), TypeError, "argument 'periodic': Can't extract `str` to `Vec`"),
    (dict(gain=0.0), ValueError, "Gain has to be finite and above 0, got 0"),
    (dict(gain=INF), ValueError, "Gain has to be finite and above 0, got inf"),
    (dict(gain=1e300, octaves=3), ValueError, "Gain 1e300 makes the octave weights overflow"),
    (dict(dims=[2**40], octaves=30), ValueError, "Grid size overflows usize"),
    (dict(dims=[1], lacunarity=5, octaves=24), ValueError, "Lacunarity 5 to the power 23 is not exact as a float"),
    (dict(dims=[3, 0], octaves=30), ValueError, "Dimension cannot be 0"),
    (dict(dims=[2**40, 2**20], octaves=2), MemoryError,
     "Cannot allocate 2305845208239046658 values of 8 bytes (more than 16 EiB)"),
]


@pytest.mark.parametrize("arguments, error, message", FIELD_ERRORS)
def test_settings_refused(arguments, error, message):
    with pytest.raises(error) as caught:
        Field(**{"dims": [4, 4], **arguments})
    assert str(caught.value) == message


def test_settings_read_back_and_the_repr_rebuilds_the_field():
    field = Field([8, 8], 7, octaves=6, lacunarity=3, gain=0.25, octave_shape=Shape.RIDGED, periodic=True)
    assert (field.dims, field.shape, field.seed, field.octaves, field.lacunarity, field.gain,
            field.octave_shape, field.periodic) == ([8, 8], [9, 9], 7, 6, 3, 0.25, Shape.RIDGED, True)
    assert repr(Field([8, 8], 7, octaves=6)) == "Field(dims=[8, 8], seed=7, octaves=6)"
    assert eval(repr(field), {"Field": Field, "Shape": Shape}) == field != Field([8, 8], 7, octaves=6)
    other = Field([8, 8], 7, lacunarity=1.75, unbounded=True)
    assert repr(other) == "Field(dims=[8, 8], seed=7, lacunarity=1.75, unbounded=True)"
    assert (other.lacunarity, other.periodic, other.unbounded) == (1.75, False, True)
    other = Field([8, 8], 7, periodic=(False, True), unbounded=True)
    assert repr(other) == "Field(dims=[8, 8], seed=7, periodic=(False, True), unbounded=True)"
    assert eval(repr(other), {"Field": Field}) == other != Field([8, 8], 7, periodic=(False, True))
    assert Field([8, 8], lacunarity=2.0).lacunarity == 2 and Field([8, 8], periodic=[True, True]).periodic is True
    with pytest.raises(AttributeError):
        field.octaves = 2
