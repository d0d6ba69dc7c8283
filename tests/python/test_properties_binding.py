"""Property tests of argument binding: any mix of positional and keyword
arguments binds, or fails with CPython's own message for a surplus, an
unknown, a repeated or a missing argument, naming the callable."""

from hypothesis import given
from hypothesis import strategies as st

from contract import outcome, Refusal
from values import bounded
from veldra import Globe, Hair, Instance, Palette, Relief, Renderer

FIELD = Instance([1, 1])
RENDERER = Renderer(FIELD)
IMAGE = RENDERER.grayscale([1, 1])

# (what errors call it, the callable, parameter names, how many are required)
CALLABLES = [
    ("Instance.__new__()", Instance, ["dims", "seed"], 1),
    ("Instance.noise()", FIELD.noise, ["point"], 1),
    ("Instance.force()", FIELD.force, ["point"], 1),
    ("Instance.gradient()", FIELD.gradient, ["index"], 1),
    ("Instance.table()", FIELD.table, ["divisors"], 1),
    ("Instance.table_shape()", FIELD.table_shape, ["divisors"], 1),
    ("Table.get()", FIELD.table([1, 1]).get, ["index"], 1),
    ("Renderer.__new__()", Renderer, ["noise"], 1),
    ("Renderer.instance()", RENDERER.instance, [], 0),
    ("Renderer.grayscale()", RENDERER.grayscale, ["divisors"], 1),
    ("Renderer.colored()", RENDERER.colored, ["divisors", "palette"], 2),
    ("Renderer.rgb_channels()", RENDERER.rgb_channels, ["divisors"], 1),
    ("Renderer.rgb_channels_at()", RENDERER.rgb_channels_at, ["divisors", "slices"], 2),
    ("Renderer.rgb_palette()", RENDERER.rgb_palette, ["divisors", "slice", "palette"], 3),
    ("Renderer.relief()", RENDERER.relief, ["divisors", "relief"], 1),
    ("Renderer.globe()", RENDERER.globe, ["width", "height", "globe"], 2),
    ("Renderer.hair()", RENDERER.hair, ["width", "height", "hair"], 2),
    ("Image.pixel()", IMAGE.pixel, ["x", "y"], 2),
    ("Image.write_png()", IMAGE.write_png, ["path"], 1),
    ("Palette.color()", Palette.GRAY.color, ["position"], 1),
    ("Relief.__new__()", Relief, ["shape", "palette", "light", "height", "gamma", "occlusion", "ambient",
                                  "diffuse", "specular", "gloss"], 0),
    ("Globe.__new__()", Globe, ["surface", "rgb_from_fourth_axis", "fill", "background", "samples"], 0),
    ("Hair.__new__()", Hair, ["count", "steps", "step", "force", "drag", "swirl", "thickness", "opacity",
                              "frizz", "jitter", "depth", "taper", "light", "ambient", "diffuse", "specular",
                              "gloss", "color_from_field", "surface", "palette", "seed"], 0),
]


class Unconvertible:
    """Binds to any parameter and fails every conversion at once."""


def quoted(names):
    quoted = [f"'{n}'" for n in names]
    if len(quoted) <= 2:
        return " and ".join(quoted)
    return ", ".join(quoted[:-1]) + ", and " + quoted[-1]


def binding(fn, parameters, required, positional, keywords):
    """The binding error CPython's conventions give, or None when it binds."""
    total = len(parameters)
    if positional > total:
        verb = "was" if positional == 1 else "were"
        if required == total:
            return f"{fn} takes {total} positional arguments but {positional} {verb} given"
        return f"{fn} takes from {required} to {total} positional arguments but {positional} {verb} given"
    for name in keywords:
        if name not in parameters:
            return f"{fn} got an unexpected keyword argument '{name}'"
        if parameters.index(name) < positional:
            return f"{fn} got multiple values for argument '{name}'"
    missing = [p for p in parameters[positional:required] if p not in keywords]
    if missing:
        s = "" if len(missing) == 1 else "s"
        return f"{fn} missing {len(missing)} required positional argument{s}: {quoted(missing)}"
    return None


@bounded
@given(entry=st.sampled_from(CALLABLES), data=st.data())
def test_any_mix_of_arguments_binds_or_fails_with_the_binding_message(entry, data):
    fn, call, parameters, required = entry
    positional = data.draw(st.integers(0, len(parameters) + 2), label="positional")
    names = data.draw(st.lists(st.sampled_from(parameters + ["bogus", "self"]), unique=True, max_size=4),
                      label="keywords")
    keywords = {name: Unconvertible() for name in names}
    expected = binding(fn, parameters, required, positional, keywords)

    given_names = parameters[:positional] + list(keywords)
    first_given = next((p for p in parameters if p in given_names), None)

    def model():
        if expected is not None:
            raise Refusal(TypeError, expected)
        if first_given is not None:
            # Bound; the first given argument (in parameter order) then
            # fails its conversion.
            raise Refusal(TypeError, None, first_given)
        return None

    outcome(model, call, *[Unconvertible()] * positional, **keywords)
