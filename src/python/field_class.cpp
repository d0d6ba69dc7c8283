// Field: a fractal sum of gradient-noise octaves, optionally periodic.
#include "python/classes.hpp"
#include "python/field_methods.hpp"
#include "python/kit/class_spec.hpp"
#include "python/kit/text.hpp"

namespace veldra::py {

// periodic: a bool for every axis, or a sequence of one bool per axis.
template <>
struct Convert<Periodic> {
  static std::optional<Periodic> from(PyObject* object) {
    if (!PySequence_Check(object)) {
      auto every = Convert<bool>::from(object);
      if (!every) return std::nullopt;
      return Periodic(*every);
    }
    auto flags = Convert<std::vector<bool>>::from(object);
    if (!flags) return std::nullopt;
    return Periodic(std::move(*flags));
  }
};

namespace field_class_detail {
namespace {

using veldra::Field;

Result<Field> make(std::vector<std::uint64_t> dims, IntegerMod64 seed, std::uint64_t octaves,
                   double lacunarity, double gain, std::optional<Shape> octave_shape, Periodic periodic,
                   bool unbounded) {
  return Field::create(std::move(dims), seed.value,
                       {octaves, lacunarity, gain, octave_shape.value_or(Shape::Smooth), std::move(periodic),
                        unbounded});
}

std::vector<std::uint64_t> dims(const Field& self) { return self.dims(); }
std::vector<std::uint64_t> shape(const Field& self) { return self.base().shape(); }
std::uint64_t seed(const Field& self) { return self.seed(); }
std::uint64_t octaves(const Field& self) { return self.settings().octaves; }
double gain(const Field& self) { return self.settings().gain; }
Shape octave_shape(const Field& self) { return self.settings().shape; }
bool unbounded(const Field& self) { return self.settings().unbounded; }

// A whole lacunarity reads back as an int, as it was given.
PyObject* lacunarity(const Field& self) {
  const OctaveSettings& s = self.settings();
  if (s.whole_lacunarity()) return to_python(static_cast<std::uint64_t>(s.lacunarity));
  return to_python(s.lacunarity);
}

// Whether every axis wraps, or none, as a bool; otherwise whether each does.
std::optional<bool> every_axis(const Field& self) {
  const std::uint32_t all = (std::uint32_t{1} << self.n()) - 1;
  if (self.wraps() == 0 || self.wraps() == all) return self.wraps() == all;
  return std::nullopt;
}

PyObject* periodic(const Field& self) {
  if (auto every = every_axis(self)) return to_python(*every);
  PyObject* flags = PyTuple_New(static_cast<Py_ssize_t>(self.n()));
  if (!flags) return nullptr;
  for (std::size_t i = 0; i < self.n(); ++i) {
    PyTuple_SetItem(flags, static_cast<Py_ssize_t>(i), to_python(self.kind(i) == AxisKind::Wrap));
  }
  return flags;
}

Result<double> noise(const Field& self, std::vector<double> point) {
  if (auto valid = self.expect_point(point); !valid) return std::unexpected(valid.error());
  return self.sample(point);
}

Result<std::vector<double>> derivative(const Field& self, std::vector<double> point) {
  return self.derivative(point);
}

Result<Table> grid(const Field& self, std::vector<double> start, std::vector<double> step,
                   std::vector<std::uint64_t> shape, std::optional<std::vector<std::uint64_t>> first) {
  return veldra::grid(self, start, step, shape, first.value_or(std::vector<std::uint64_t>{}));
}

Result<Table> derivative_grid(const Field& self, std::vector<double> start, std::vector<double> step,
                              std::vector<std::uint64_t> shape,
                              std::optional<std::vector<std::uint64_t>> first) {
  return veldra::derivative_grid(self, start, step, shape, first.value_or(std::vector<std::uint64_t>{}));
}

PyObject* derivative_at(const Field& self, PointsArg points) {
  if (!points.fits(self.n())) return nullptr;
  return to_python(points.apply(self, [](const Field& f, PointRows rows) { return veldra::derivative_at(f, rows); }));
}

// Only the settings that differ from the defaults, so that the repr reads
// as the call that made the field.
}  // namespace
}  // namespace field_class_detail

std::string field_repr(const Field& self) {
  using namespace field_class_detail;
  const OctaveSettings& s = self.settings();
  const OctaveSettings defaults;
  std::string text = "Field(dims=" + list_text(self.dims()) + ", seed=" + std::to_string(self.seed());
  if (s.octaves != defaults.octaves) text += ", octaves=" + std::to_string(s.octaves);
  if (s.lacunarity != defaults.lacunarity) {
    text += ", lacunarity=" + (s.whole_lacunarity() ? std::to_string(static_cast<std::uint64_t>(s.lacunarity))
                                                    : marked_float(s.lacunarity));
  }
  if (s.gain != defaults.gain) text += ", gain=" + marked_float(s.gain);
  if (s.shape != defaults.shape) {
    const char* names[] = {"SMOOTH", "BILLOW", "RIDGED"};
    text += std::string(", octave_shape=Shape.") + names[static_cast<int>(s.shape)];
  }
  if (auto every = every_axis(self)) {
    if (*every) text += ", periodic=True";
  } else {
    std::string flags;
    for (std::size_t i = 0; i < self.n(); ++i) {
      flags += std::string(i ? ", " : "") + (self.kind(i) == AxisKind::Wrap ? "True" : "False");
    }
    text += ", periodic=(" + flags + (self.n() == 1 ? ",)" : ")");
  }
  if (s.unbounded) text += ", unbounded=True";
  return text + ")";
}

namespace field_class_detail {
namespace {

PyObject* compare(PyObject* self, PyObject* other, int op) {
  if ((op != Py_EQ && op != Py_NE) || !is_instance<Field>(other)) Py_RETURN_NOTIMPLEMENTED;
  const bool equal = core_of<Field>(self) == core_of<Field>(other);
  return PyBool_FromLong(op == Py_EQ ? equal : !equal);
}

}  // namespace
}  // namespace field_class_detail

PyObject* make_field_class() {
  using namespace field_class_detail;
  ClassSpec spec = class_owning<Field, make>(
      "Field",
      "Field(dims, seed=1, *, octaves=1, lacunarity=2, gain=0.5, octave_shape=None, "
      "periodic=False, unbounded=False)\n--\n\n"
      "A fractal sum of gradient-noise octaves, with walls, wrapping or unbounded.\n\n"
      "``seed`` is any integer, taken modulo 2**64 (``-1`` is ``2**64 - 1``).\n\n"
      "Octave ``k`` (``k = 0 .. octaves - 1``) is a lattice of\n"
      "``dims[i] * lacunarity**k`` cells per axis evaluated at\n"
      "``point * lacunarity**k``, with weight ``w_k = gain**k`` (``w_0 = 1.0``,\n"
      "``w_k = w_{k-1} * gain``). The value is the sum, in octave order, of\n"
      "``w_k * shape(v_k)`` divided by the sum of the weights, where\n"
      "``octave_shape`` (``None``: ``Shape.SMOOTH``) folds each octave's noise: ``SMOOTH`` keeps it\n"
      "(range ``[-sqrt(n), sqrt(n)]``), ``BILLOW`` takes ``|v|`` (``[0, sqrt(n)]``)\n"
      "and ``RIDGED`` ``-|v|`` (``[-sqrt(n), 0]``). :meth:`force` is the same\n"
      "weighted sum of the octaves' forces, :meth:`derivative` the exact\n"
      "derivative of the value.\n\n"
      "``lacunarity`` is any finite number above 1. ``lacunarity**k`` is\n"
      "formed by repeated multiplication, exact when the lacunarity is whole;\n"
      "otherwise octave ``k`` has ``ceil(dims[i] * lacunarity**k)`` cells, enough\n"
      "to cover ``[0, dims[i]]``, and table index ``q`` lies at ``q / divisors[i]``\n"
      "computed as a float.\n\n"
      "Octave 0 is ``Instance(dims, seed)``, so with the defaults a Field is that\n"
      "Instance, bit for bit. Octave ``k >= 1`` has seed ``s_k``, the ``k``-th\n"
      "output of a SplitMix64 generator started at ``seed``, and stores no\n"
      "lattice: its gradient at lattice index ``j`` is entry ``mix(h) >> 24`` of\n"
      "256 unit vectors drawn from a SplitMix64 started at ``s_k``, where, in\n"
      "32-bit arithmetic, ``h = (lo(s_k) ^ hi(s_k)) + sum(lo(j[i]) * A[i] +\n"
      "hi(j[i]) * B[i])`` over the axes (the README gives the constants and\n"
      "``mix``).\n\n"
      "``periodic`` is a bool for every axis or one bool per axis. A periodic\n"
      "axis wraps (the gradient at index ``dims[i] * lacunarity**k`` is the one\n"
      "at index 0), so tables tile seamlessly along it and it takes coordinates\n"
      "of any sign; it needs a whole lacunarity. With ``unbounded=True`` the\n"
      "other axes have no walls either: octave 0 too takes its gradients from\n"
      "its lattice index, with ``s_0 = seed``, and lattice index ``floor(x)`` of\n"
      "a negative ``x`` is taken modulo 2**64. Otherwise those axes take points\n"
      "within ``[0, dims[i]]`` as :class:`Instance` does. An axis that wraps or\n"
      "has no walls takes finite coordinates up to ``2**52 / lacunarity**(octaves - 1)`` in\n"
      "magnitude, where every octave's cell and fraction are exact; tables\n"
      "and regions cover ``[0, dims]``, :meth:`grid` reaches anywhere.");
  spec.properties = {
      readonly<dims>("dims", "Cells per axis of octave 0, as passed to the constructor."),
      readonly<shape>("shape", "Intersections per axis of octave 0, one more than the cell count."),
      readonly<seed>("seed", "The seed this field was built from, modulo 2**64."),
      readonly<octaves>("octaves", "How many octaves are summed."),
      readonly<lacunarity>("lacunarity", "How many times finer each octave is than the one before (an int when whole)."),
      readonly<gain>("gain", "How much each octave's weight is multiplied by over the one before."),
      readonly<octave_shape>("octave_shape", "How each octave's noise is folded before the sum."),
      readonly<periodic>("periodic", "Whether every axis wraps around (a bool), or each (a tuple)."),
      readonly<unbounded>("unbounded", "Whether the axes that do not wrap go on without walls."),
  };
  spec.methods = {
      method<noise>("noise($self, point)\n--\n\n"
                    "The field's value at a single point."),
      method<field_methods::force<Field>>("force($self, point)\n--\n\n"
                    "The weighted sum of the octaves' forces at ``point``, over the weight sum."),
      method<field_methods::table<Field>>("table($self, divisors)\n--\n\n"
                    "Values on a refined lattice, laid out as :meth:`Instance.table`'s.\n\n"
                    "Index ``q`` of axis ``i`` lies at ``q / divisors[i]`` in octave 0's\n"
                    "cells; with the defaults the table is the Instance's."),
      method<field_methods::table_region<Field>>("table_region($self, divisors, start, shape)\n--\n\n"
                           "A box of :meth:`table`'s values, as :meth:`Instance.table_region`'s."),
      method<grid>("grid($self, start, step, shape, *, first=None)\n--\n\n"
                   "The field on a grid at any offset and frequency: a :class:`Table` of\n"
                   "shape ``shape`` whose entry ``j`` is the value at\n"
                   "``start[i] + j[i] * step[i]`` on every axis ``i``, computed as exactly\n"
                   "that expression (the index converted to a float), so each entry is\n"
                   ":meth:`noise` there, bit for bit. ``first`` (default zeros) shifts the\n"
                   "indices: entry ``j`` is at ``start[i] + (first[i] + j[i]) * step[i]``, so\n"
                   "the boxes of one grid tile it exactly. A coordinate outside the field\n"
                   "raises ``ValueError`` as :meth:`noise` does."),
      method<derivative_grid>("derivative_grid($self, start, step, shape, *, first=None)\n--\n\n"
                   "The derivative on :meth:`grid`'s grid: a :class:`Table` of shape\n"
                   "``[*shape, n]`` whose entry ``j`` is :meth:`derivative` at sample ``j``,\n"
                   "bit for bit. Arguments as for :meth:`grid`."),
      method<field_methods::table_shape<Field>>("table_shape($self, divisors)\n--\n\n"
                          "Intersections per axis that :meth:`table` would produce, without\n"
                          "computing any value."),
      method<field_methods::noise_at<Field>>("noise_at($self, points)\n--\n\n"
                       "The value at many points: a table of shape ``[N]``.\n\n"
                       "``points`` is any ``(N, n)`` array of real numbers (a numpy array of\n"
                       "any float or integer dtype and layout, a memoryview) or a sequence of\n"
                       "``N`` points; ``(N,)`` too when the field has one axis. A C-contiguous,\n"
                       "aligned float64 buffer is read in place, anything else is copied\n"
                       "once into float64. Entry ``i`` is ``noise(points[i])``, bit for bit.\n"
                       "A refused point raises ``ValueError`` naming its index."),
      method<field_methods::force_at<Field>>("force_at($self, points)\n--\n\n"
                       "The force at many points: a table of shape ``[N, n]`` whose row ``i``\n"
                       "is ``force(points[i])``, bit for bit. ``points`` as for\n"
                       ":meth:`noise_at`."),
      method<derivative>("derivative($self, point)\n--\n\n"
                         "The exact derivative of :meth:`noise` at ``point``: a list of ``n``\n"
                         "floats, ``d value / d point[i]``. Each octave's noise is differentiated\n"
                         "through its fade (``30 t**2 (t - 1)**2``), times ``lacunarity**k`` (the\n"
                         "chain rule), folded by the octave shape (``+0.0`` where the value is\n"
                         "exactly 0, at a fold) and summed under the weights as the value is.\n"
                         "A periodic wrap changes nothing. Where cells meet the derivative is\n"
                         "continuous; at a wall it is one-sided."),
      method<derivative_at>("derivative_at($self, points)\n--\n\n"
                            "The derivative at many points: a table of shape ``[N, n]`` whose row\n"
                            "``i`` is ``derivative(points[i])``, bit for bit. ``points`` as for\n"
                            ":meth:`noise_at`."),
  };
  spec.repr = &repr_of<field_repr>;
  spec.compare = &compare;
  spec.unhashable = true;
  return make_class<Field>(std::move(spec));
}

}  // namespace veldra::py
