// Declarations for the binding kit whose docstrings name one parameter more
// or fewer than their C++ function takes; each WRONG case must fail to
// compile, with the compiler naming the function, and the file without
// WRONG (every docstring right) must compile. Only compiled, never run.
#include "python/kit/box.hpp"

struct Gauge {
  double scale = 1;
};

template <>
inline constexpr bool veldra::py::is_boxed<Gauge> = true;

#include "python/kit/module_kit.hpp"

namespace veldra::py {
namespace {

double stretch_by(const Gauge& self, double factor, double offset) {
  return self.scale * factor + offset;
}

double gauge_sum(double a, double b) { return a + b; }

Gauge make_gauge(double scale) { return {scale}; }

#ifndef WRONG
[[maybe_unused]] MethodSpec stretch = method<stretch_by>("stretch_by($self, factor, offset=0)\n--\n\n");
[[maybe_unused]] MethodSpec sum = function<gauge_sum>("gauge_sum(a, b)\n--\n\n");
[[maybe_unused]] ClassSpec gauge = class_owning<Gauge, make_gauge>("Gauge", "Gauge(scale)\n--\n\n");
#elif WRONG == 1  // a name too many
[[maybe_unused]] MethodSpec stretch = method<stretch_by>("stretch_by($self, factor, offset, extra)\n--\n\n");
#elif WRONG == 2  // a name missing
[[maybe_unused]] MethodSpec stretch = method<stretch_by>("stretch_by($self, factor)\n--\n\n");
#elif WRONG == 3
[[maybe_unused]] MethodSpec sum = function<gauge_sum>("gauge_sum(a)\n--\n\n");
#elif WRONG == 4
[[maybe_unused]] ClassSpec gauge = class_owning<Gauge, make_gauge>("Gauge", "Gauge(scale, unit)\n--\n\n");
#endif

}  // namespace
}  // namespace veldra::py
