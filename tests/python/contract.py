"""What the module promises for any argument, written as a model.

Each `expect_*` function takes the Python value given for a parameter and
returns what the module converts it into, or raises `Refusal` describing
the exception the module must raise instead. The property tests and the
fuzzer call the module with arbitrary values and compare what happens with
what this model says.
"""

import decimal
import math
import operator
import os

U64_LIMIT = 2**64


class Refusal(Exception):
    """The exception a call must raise: its type and, when the module
    writes it, its exact message. `message` None means the interpreter's
    own text, of which only the argument-name prefix is known."""

    def __init__(self, kind, message=None, argument=None):
        super().__init__(kind, message, argument)
        self.kind = kind
        self.message = message
        self.argument = argument

    def check(self, raised):
        """Asserts that `raised` is this refusal."""
        assert type(raised) is self.kind, f"expected {self.kind.__name__}, got {raised!r}"
        text = str(raised)
        # Only a TypeError is renamed for the argument; the others pass as raised.
        prefix = f"argument '{self.argument}': " if self.argument and self.kind is TypeError else ""
        assert text.startswith(prefix), f"{text!r} lacks {prefix!r}"
        if self.message is not None:
            assert text == prefix + self.message, f"{text!r} != {prefix + self.message!r}"


def invalid(message):
    return Refusal(ValueError, message)


# Text of floats and lists in messages and reprs.


def plain_float(x):
    """Shortest round-trip digits, never an exponent, whole numbers bare."""
    if math.isnan(x):
        return "NaN"
    if math.isinf(x):
        return "inf" if x > 0 else "-inf"
    text = format(decimal.Decimal(repr(x)), "f")
    return text[:-2] if text.endswith(".0") else text


def marked_float(x):
    """Shortest round-trip digits; whole numbers keep ".0"; an exponent
    without plus sign or leading zeros from 1e16 up and below 1e-4."""
    if math.isnan(x):
        return "NaN"
    if math.isinf(x):
        return "inf" if x > 0 else "-inf"
    text = repr(x)
    if "e" in text:
        mantissa, exponent = text.split("e")
        sign = "-" if exponent.startswith("-") else ""
        text = f"{mantissa}e{sign}{exponent.lstrip('+-').lstrip('0')}"
    return text


def list_text(items):
    return "[" + ", ".join(marked_float(i) if isinstance(i, float) else str(i) for i in items) + "]"


# Argument conversions, one per kind of parameter.


def type_name(value):
    return type(value).__name__


def expect_float(value, argument):
    kind = type(value)
    if isinstance(value, float):
        return float(value)
    try:
        if hasattr(kind, "__float__"):
            return float(kind.__float__(value))
        if hasattr(kind, "__index__"):
            return float(operator.index(value))
    except OverflowError:
        raise Refusal(OverflowError) from None
    raise Refusal(TypeError, None, argument)


def as_integer(value, argument):
    if isinstance(value, int):
        return int(value)
    if hasattr(type(value), "__index__"):
        return operator.index(value)
    raise Refusal(TypeError, None, argument)


def expect_u64(value, argument):
    value = as_integer(value, argument)
    if not 0 <= value < U64_LIMIT:
        raise Refusal(OverflowError)
    return value


def expect_byte(value, argument):
    value = as_integer(value, argument)
    if not 0 <= value <= 255:
        raise Refusal(OverflowError, "out of range integral type conversion attempted")
    return value


def expect_flag(value, argument):
    if value is True or value is False:
        return value
    raise Refusal(TypeError, f"'{type_name(value)}' object cannot be converted to 'PyBool'", argument)


def is_sequence(value):
    """Python's sequence test: a __getitem__ that is not a mapping's."""
    return not isinstance(value, dict) and hasattr(type(value), "__getitem__")


def expect_list(value, item, argument):
    """A list, tuple, range or bytes object, each item converted by `item`."""
    if isinstance(value, str):
        raise Refusal(TypeError, "Can't extract `str` to `Vec`", argument)
    if not is_sequence(value):
        raise Refusal(TypeError, f"'{type_name(value)}' object cannot be converted to 'Sequence'", argument)
    return [item(v, argument) for v in value]


def expect_floats(value, argument):
    return expect_list(value, expect_float, argument)


def expect_u64s(value, argument):
    return expect_list(value, expect_u64, argument)


def expect_bytes(value, argument):
    return expect_list(value, expect_byte, argument)


def expect_triple(value, argument):
    if not isinstance(value, tuple):
        raise Refusal(TypeError, f"'{type_name(value)}' object cannot be converted to 'PyTuple'", argument)
    if len(value) != 3:
        raise Refusal(ValueError, f"expected tuple of length 3, but got tuple of length {len(value)}")
    return [expect_u64(v, argument) for v in value]


def expect_object(value, cls, argument, optional=False):
    if optional and value is None:
        return None
    if isinstance(value, cls):
        return value
    raise Refusal(TypeError, f"'{type_name(value)}' object cannot be converted to '{cls.__name__}'", argument)


def expect_path(value, argument):
    if isinstance(value, str):
        path = value
    elif hasattr(type(value), "__fspath__"):
        path = os.fspath(value)
    else:
        raise Refusal(TypeError, None, argument)
    if not isinstance(path, str):
        raise Refusal(TypeError, None, argument)
    if "\0" in path:
        raise Refusal(ValueError, "embedded null byte")
    return path


# Sizes: what the module can compute here, what it must refuse for memory.

# Requests above this many bytes cannot be had on any machine these tests
# run on (nor under AddressSanitizer, which stops at 2^40), so the module
# must raise MemoryError for them.
IMPOSSIBLE_BYTES = 2**44

# Requests up to this many values are cheap enough to compute in a test.
AFFORDABLE = 1 << 16


def grid_size(extents):
    """The product of `extents`, or None when it leaves 64 bits."""
    count = 1
    for e in extents:
        count *= e
        if count >= U64_LIMIT:
            return None
    return count


def memory_class(count, item_bytes):
    """"cheap" when `count` items are affordable, "impossible" when their
    bytes cannot be had, "costly" in between (a test avoids those)."""
    if count <= AFFORDABLE:
        return "cheap"
    if count * item_bytes >= IMPOSSIBLE_BYTES:
        return "impossible"
    return "costly"


def expect_field(dims):
    """The checks of a new field, in order; returns its intersections."""
    if not dims:
        raise invalid("At least one dimension is required")
    if len(dims) > 16:
        raise invalid("At most 16 dimensions are supported")
    if 0 in dims:
        raise invalid("Dimension cannot be 0")
    if any(d + 1 >= U64_LIMIT for d in dims) or grid_size([d + 1 for d in dims]) is None:
        raise invalid("Grid size overflows usize")
    return grid_size([d + 1 for d in dims])


def expect_layout(dims, divisors):
    """The table shape of `divisors`, with the checks in their order."""
    if len(divisors) != len(dims):
        raise invalid(f"Expected {len(dims)} divisors, got {len(divisors)}")
    shape = []
    count = 1
    for d, k in zip(dims, divisors):
        if k == 0:
            raise invalid("Divisor cannot be 0")
        extent = d * k + 1
        count *= extent
        if extent >= U64_LIMIT or count >= U64_LIMIT:
            raise invalid("Grid size overflows usize")
        shape.append(extent)
    return shape


def expect_dims(field_dims, wanted):
    if len(field_dims) != wanted:
        raise invalid(f"This image needs a {wanted} dimensional field, got {len(field_dims)}")


HAIR_RULES = [
    ("step", lambda v: math.isfinite(v) and v > 0, "The step has to be above 0, got {}"),
    ("drag", lambda v: math.isfinite(v) and v >= 0, "Drag cannot be negative, got {}"),
    ("force", math.isfinite, "The force has to be a number, got {}"),
    ("thickness", lambda v: math.isfinite(v) and v > 0, "Thickness has to be above 0, got {}"),
    ("opacity", lambda v: 0 <= v <= 1, "Opacity has to be 0 to 1, got {}"),
    ("frizz", lambda v: math.isfinite(v) and v >= 0, "Frizz cannot be negative, got {}"),
    ("jitter", lambda v: 0 <= v <= 1, "Jitter has to be 0 to 1, got {}"),
    ("depth", lambda v: 0 <= v <= 1, "Depth has to be 0 to 1, got {}"),
    ("taper", lambda v: 0 <= v <= 0.5, "Taper has to be 0 to 0.5, got {}"),
    ("ambient", lambda v: 0 <= v <= 1, "Ambient has to be 0 to 1, got {}"),
    ("diffuse", lambda v: 0 <= v <= 1, "Diffuse has to be 0 to 1, got {}"),
    ("specular", lambda v: 0 <= v <= 1, "Specular has to be 0 to 1, got {}"),
    ("gloss", lambda v: math.isfinite(v) and v > 0, "Gloss has to be above 0, got {}"),
]


def expect_hair_settings(hair):
    for name, passes, template in HAIR_RULES:
        value = getattr(hair, name)
        if not passes(value):
            raise invalid(template.format(plain_float(value)))


def call(function, *args, **kwargs):
    """Runs the call; returns ("ok", result) or ("raised", exception)."""
    try:
        return "ok", function(*args, **kwargs)
    except (TypeError, ValueError, OverflowError, MemoryError, AttributeError, OSError) as e:
        return "raised", e


def outcome(model, function, *args, **kwargs):
    """Calls `function` and checks it against `model()`, which returns the
    expected result summary or raises the expected Refusal. Returns the
    (model value, actual result), or None when a refusal was confirmed."""
    try:
        expected = model()
    except Refusal as refusal:
        status, got = call(function, *args, **kwargs)
        assert status == "raised", f"expected {refusal.kind.__name__} ({refusal.message}), got {got!r}"
        refusal.check(got)
        return None
    return expected, function(*args, **kwargs)
