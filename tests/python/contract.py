"""What the module promises for any argument, written as a model.

Each `expect_*` function takes the Python value given for a parameter and
returns what the module converts it into, or raises `Refusal` describing
the exception the module must raise instead. The property tests and the
fuzzer call the module with arbitrary values and compare the two.
"""

import decimal
import math
import operator

from hypothesis import assume

U64_LIMIT = 2**64


class Refusal(Exception):
    """The exception a call must raise: its type and, when the module
    writes it, its exact message (None: the interpreter's own text, of
    which only the argument-name prefix of a TypeError is known)."""

    def __init__(self, kind, message=None, argument=None):
        super().__init__(kind, message, argument)
        self.kind, self.message, self.argument = kind, message, argument

    def check(self, raised):
        assert type(raised) is self.kind, f"expected {self.kind.__name__}, got {raised!r}"
        prefix = f"argument '{self.argument}': " if self.argument and self.kind is TypeError else ""
        assert str(raised).startswith(prefix), f"{raised!r} lacks {prefix!r}"
        if self.message is not None:
            assert str(raised) == prefix + self.message, f"{raised!r} != {prefix + self.message!r}"


def invalid(message):
    return Refusal(ValueError, message)


def plain_float(x):
    """Shortest round-trip digits, never an exponent, whole numbers bare."""
    if not math.isfinite(x):
        return "NaN" if math.isnan(x) else ("inf" if x > 0 else "-inf")
    text = format(decimal.Decimal(repr(x)), "f")
    return text[:-2] if text.endswith(".0") else text


def marked_float(x):
    """Shortest round-trip digits; whole numbers keep ".0"; an exponent
    without plus sign or leading zeros from 1e16 up and below 1e-4."""
    if not math.isfinite(x):
        return plain_float(x)
    mantissa, e, exponent = repr(x).partition("e")
    return mantissa + (e and e + exponent[0].replace("+", "") + exponent[1:].lstrip("0"))


def list_text(items):
    return "[" + ", ".join(marked_float(i) if isinstance(i, float) else str(i) for i in items) + "]"


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


def expect_list(value, item, argument):
    """A sequence (a __getitem__ that is not a mapping's, not a str), each item converted by `item`."""
    if isinstance(value, str):
        raise Refusal(TypeError, "Can't extract `str` to `Vec`", argument)
    if isinstance(value, dict) or not hasattr(type(value), "__getitem__"):
        raise Refusal(TypeError, f"'{type_name(value)}' object cannot be converted to 'Sequence'", argument)
    return [item(v, argument) for v in value]


def expect_floats(value, argument):
    return expect_list(value, expect_float, argument)


def expect_u64s(value, argument):
    return expect_list(value, expect_u64, argument)


def expect_object(value, cls, argument):
    if isinstance(value, cls):
        return value
    raise Refusal(TypeError, f"'{type_name(value)}' object cannot be converted to '{cls.__name__}'", argument)


# Requests above this many bytes cannot be had on any machine these tests
# run on (nor under AddressSanitizer, which stops at 2^40): MemoryError.
IMPOSSIBLE_BYTES = 2**44
# Requests up to this many values are cheap enough to compute in a test.
AFFORDABLE = 1 << 16


def memory_class(count, item_bytes):
    """"cheap", "impossible" (the bytes cannot be had) or "costly" in between (a test avoids those)."""
    if count <= AFFORDABLE:
        return "cheap"
    return "impossible" if count * item_bytes >= IMPOSSIBLE_BYTES else "costly"


def affordable(count, item_bytes):
    """Skips costly requests (Hypothesis's assume); refuses impossible ones."""
    size = memory_class(count, item_bytes)
    assume(size != "costly")
    if size == "impossible":
        raise Refusal(MemoryError)


def expect_field(dims):
    """The checks of a new field, in order; returns its intersections."""
    if not dims:
        raise invalid("At least one dimension is required")
    if len(dims) > 16:
        raise invalid("At most 16 dimensions are supported")
    if 0 in dims:
        raise invalid("Dimension cannot be 0")
    return expect_layout(dims, [1] * len(dims), math.prod)


def expect_layout(dims, divisors, result=list):
    """The table shape of `divisors`, with the checks in their order."""
    if len(divisors) != len(dims):
        raise invalid(f"Expected {len(dims)} divisors, got {len(divisors)}")
    shape = []
    for d, k in zip(dims, divisors):
        if k == 0:
            raise invalid("Divisor cannot be 0")
        shape.append(d * k + 1)
        if shape[-1] >= U64_LIMIT or math.prod(shape) >= U64_LIMIT:
            raise invalid("Grid size overflows usize")
    return result(shape)


def expect_dims(field_dims, wanted):
    if len(field_dims) != wanted:
        raise invalid(f"This image needs a {wanted} dimensional field, got {len(field_dims)}")


def finite_above_zero(v):
    return math.isfinite(v) and v > 0


def finite_not_negative(v):
    return math.isfinite(v) and v >= 0


def unit(v):
    return 0 <= v <= 1


HAIR_RULES = [
    ("step", finite_above_zero, "The step has to be above 0, got {}"),
    ("drag", finite_not_negative, "Drag cannot be negative, got {}"),
    ("force", math.isfinite, "The force has to be a number, got {}"),
    ("thickness", finite_above_zero, "Thickness has to be above 0, got {}"),
    ("opacity", unit, "Opacity has to be 0 to 1, got {}"),
    ("frizz", finite_not_negative, "Frizz cannot be negative, got {}"),
    ("jitter", unit, "Jitter has to be 0 to 1, got {}"),
    ("depth", unit, "Depth has to be 0 to 1, got {}"),
    ("taper", lambda v: 0 <= v <= 0.5, "Taper has to be 0 to 0.5, got {}"),
    ("ambient", unit, "Ambient has to be 0 to 1, got {}"),
    ("diffuse", unit, "Diffuse has to be 0 to 1, got {}"),
    ("specular", unit, "Specular has to be 0 to 1, got {}"),
    ("gloss", finite_above_zero, "Gloss has to be above 0, got {}"),
]


def expect_hair_settings(hair):
    for name, passes, template in HAIR_RULES:
        if not passes(getattr(hair, name)):
            raise invalid(template.format(plain_float(getattr(hair, name))))


def outcome(model, function, *args, **kwargs):
    """Calls `function` and checks it against `model()`, which returns the
    expected result summary or raises the expected Refusal. Returns the
    (model value, actual result), or None when a refusal was confirmed."""
    try:
        expected = model()
    except Refusal as refusal:
        try:
            got = function(*args, **kwargs)
        except (TypeError, ValueError, OverflowError, MemoryError, AttributeError, OSError) as e:
            refusal.check(e)
            return None
        raise AssertionError(f"expected {refusal.kind.__name__} ({refusal.message}), got {got!r}") from None
    return expected, function(*args, **kwargs)
