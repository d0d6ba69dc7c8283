// Instance: a seeded gradient-noise field.
#include "python/boxed_types.hpp"
#include "python/classes.hpp"
#include "python/field_methods.hpp"
#include "python/kit/class_spec.hpp"
#include "python/kit/text.hpp"

namespace veldra::py {
namespace instance_class_detail {
namespace {

Result<Instance> make(std::vector<std::uint64_t> dims, std::uint64_t seed) {
  return Instance::create(std::move(dims), seed);
}

std::vector<std::uint64_t> dims(const Instance& self) { return self.dims(); }
std::vector<std::uint64_t> shape(const Instance& self) { return self.shape(); }
std::uint64_t intersections(const Instance& self) { return self.intersections(); }
std::uint64_t seed(const Instance& self) { return self.seed(); }

std::optional<std::vector<double>> gradient(const Instance& self, std::vector<std::uint64_t> index) {
  auto components = self.gradient(index);
  if (!components) return std::nullopt;
  return std::vector<double>(components->begin(), components->end());
}

Result<double> noise(const Instance& self, std::vector<double> point) {
  if (auto inside = self.expect_inside(point); !inside) return std::unexpected(inside.error());
  return self.sample(point);
}

std::string repr(const Instance& self) {
  return "Instance(dims=" + list_text(self.dims()) + ", seed=" + std::to_string(self.seed()) + ")";
}

}  // namespace
}  // namespace instance_class_detail

PyObject* make_instance_class() {
  using namespace instance_class_detail;
  ClassSpec spec = class_owning<Instance, make, RangeErrors::Bare>(
      "Instance",
      "Instance(dims, seed=1)\n--\n\n"
      "A seeded gradient-noise field on a regular lattice.\n\n"
      "``dims`` counts *cells* per axis, so ``[3, 1, 2]`` is a 3x1x2 grid with\n"
      "24 intersections. Every intersection holds a random unit vector derived\n"
      "from ``seed``, so the same seed always rebuilds the same field.\n\n"
      "Sample with :meth:`noise` for one point inside ``[0, dims[i]]`` on every\n"
      "axis, or :meth:`table` for every intersection of a finer lattice.");
  spec.properties = {
      readonly<dims>("dims", "Cells per axis, as passed to the constructor."),
      readonly<shape>("shape", "Intersections per axis, one more than the cell count."),
      readonly<intersections>("intersections", "Total number of intersections."),
      readonly<seed>("seed", "The seed this field was built from."),
  };
  spec.methods = {
      method<gradient, RangeErrors::Bare>("gradient($self, index)\n--\n\n"
                       "Gradient stored at an intersection, or ``None`` if ``index`` is out of\n"
                       "the lattice."),
      method<noise, RangeErrors::Bare>("noise($self, point)\n--\n\n"
                    "Noise at a single point.\n\n"
                    "``point`` must have one coordinate per dimension and lie within\n"
                    "``[0, dims[i]]`` on every axis. The result is 0 exactly at the\n"
                    "intersections and stays within ``\u00b1sqrt(n)`` elsewhere."),
      method<field_methods::force<Instance>, RangeErrors::Bare>("force($self, point)\n--\n\n"
                    "The force the lattice applies at ``point``.\n\n"
                    "This is the surrounding gradients blended under the same fade weights\n"
                    "as :meth:`noise`, never longer than 1."),
      method<field_methods::table<Instance>, RangeErrors::Bare>("table($self, divisors)\n--\n\n"
                    "Noise on a refined lattice.\n\n"
                    "``divisors`` holds one positive integer per dimension telling how many\n"
                    "pieces each cell of that axis is cut into, so axis ``i`` ends up with\n"
                    "``dims[i] * divisors[i] + 1`` intersections."),
      method<field_methods::table_region<Instance>>("table_region($self, divisors, start, shape)\n--\n\n"
                           "A box of :meth:`table`'s values, without computing the rest.\n\n"
                           "A table of shape ``shape`` whose value at index ``i`` is, bit for bit,\n"
                           "``table(divisors)``'s at ``start + i``. ``start`` and ``shape`` hold one\n"
                           "integer per dimension; the box must lie inside the table."),
      method<field_methods::table_shape<Instance>>("table_shape($self, divisors)\n--\n\n"
                          "Intersections per axis that :meth:`table` would produce, without\n"
                          "computing any noise."),
      method<field_methods::noise_at<Instance>>("noise_at($self, points)\n--\n\n"
                       "Noise at many points: a table of shape ``[N]``.\n\n"
                       "``points`` is any ``(N, n)`` array of real numbers (a numpy array of\n"
                       "any float or integer dtype and layout, a memoryview) or a sequence of\n"
                       "``N`` points; ``(N,)`` too when the field has one axis. A C-contiguous,\n"
                       "aligned float64 buffer is read in place, anything else is copied\n"
                       "once into float64. Entry ``i`` is ``noise(points[i])``, bit for bit.\n"
                       "A refused point raises ``ValueError`` naming its index."),
      method<field_methods::force_at<Instance>>("force_at($self, points)\n--\n\n"
                       "The force at many points: a table of shape ``[N, n]`` whose row ``i``\n"
                       "is ``force(points[i])``, bit for bit. ``points`` as for\n"
                       ":meth:`noise_at`."),
  };
  spec.repr = &repr_of<repr>;
  return make_class<Instance>(std::move(spec));
}

}  // namespace veldra::py
