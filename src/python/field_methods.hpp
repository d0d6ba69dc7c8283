// The methods Instance and Field share, as the core functions they call:
// one adapter per method for both classes (`F` is Instance or Field).
#pragma once

#include <vector>

#include "python/boxed_types.hpp"
#include "python/points_arg.hpp"
#include "table/at_points.hpp"
#include "table/table.hpp"

namespace veldra::py::field_methods {

template <typename F>
Result<std::vector<double>> force(const F& self, std::vector<double> point) {
  return self.force(point);
}

template <typename F>
Result<Table> table(const F& self, std::vector<std::uint64_t> divisors) {
  return veldra::table(self, divisors);
}

template <typename F>
Result<Table> table_region(const F& self, std::vector<std::uint64_t> divisors,
                           std::vector<std::uint64_t> start, std::vector<std::uint64_t> shape) {
  return veldra::table_region(self, divisors, start, shape);
}

template <typename F>
Result<std::vector<std::uint64_t>> table_shape(const F& self, std::vector<std::uint64_t> divisors) {
  auto layout = veldra::table_layout(self, divisors);
  if (!layout) return std::unexpected(layout.error());
  return std::move(layout->shape);
}

template <typename F>
PyObject* noise_at(const F& self, PointsArg points) {
  if (!points.fits(self.n())) return nullptr;
  return to_python(points.apply(self, [](const F& f, PointRows rows) { return veldra::noise_at(f, rows); }));
}

template <typename F>
PyObject* force_at(const F& self, PointsArg points) {
  if (!points.fits(self.n())) return nullptr;
  return to_python(points.apply(self, [](const F& f, PointRows rows) { return veldra::force_at(f, rows); }));
}

}  // namespace veldra::py::field_methods
