// Table: noise values sampled on a refined lattice.
#include "python/boxed_types.hpp"
#include "python/classes.hpp"
#include "python/kit/buffer_export.hpp"
#include "python/kit/class_spec.hpp"
#include "python/kit/text.hpp"
#include "table/table.hpp"

namespace veldra::py {
namespace table_class_detail {
namespace {

std::vector<std::uint64_t> shape(const Table& self) { return self.shape; }
PyObject* values(const Table& self) { return to_python(std::span(self.values)); }

std::optional<double> get(const Table& self, std::vector<std::uint64_t> index) {
  if (index.size() != self.shape.size()) return std::nullopt;
  std::uint64_t flat = 0;
  for (std::size_t i = 0; i < index.size(); ++i) {
    if (index[i] >= self.shape[i]) return std::nullopt;
    flat = flat * self.shape[i] + index[i];
  }
  return self.values[flat];
}

Py_ssize_t length(PyObject* self) {
  return static_cast<Py_ssize_t>(core_of<Table>(self).values.size());
}

BufferLayout layout(const Table& self) {
  return {self.values.data(), sizeof(double), "d",
          std::vector<Py_ssize_t>(self.shape.begin(), self.shape.end())};
}

std::string repr(const Table& self) { return "Table(shape=" + list_text(self.shape) + ")"; }

}  // namespace
}  // namespace table_class_detail

PyObject* make_table_class() {
  using namespace table_class_detail;
  ClassSpec spec = class_owning<Table>(
      "Table", "Noise values sampled on a refined lattice, in row-major order.");
  spec.properties = {
      readonly<shape>("shape", "Intersections per axis."),
      readonly<values>("values", "All values, row-major: the last axis varies fastest."),
  };
  spec.methods = {
      method<get, RangeErrors::Bare>("get($self, index)\n--\n\n"
                  "Value at a lattice index, or ``None`` if the index is out of the table."),
  };
  spec.repr = &repr_of<repr>;
  spec.length = &length;
  spec.get_buffer = &get_buffer<layout>;
  spec.release_buffer = &release_buffer;
  return make_class<Table>(std::move(spec));
}

}  // namespace veldra::py
