// Noise of one field sampled on a refined lattice.
#pragma once

#include <cstdint>
#include <vector>

#include "lib/buffer.hpp"
#include "field/instance.hpp"

namespace veldra {

// A table's values: a vector of doubles whose sizing writes nothing, as the
// fill writes every value once, on the workers that compute it.
using TableValues = std::vector<double, DeferredInit<double>>;

// `values` is row-major over `shape` (the last axis fastest): the value at
// per-axis index q is at sum(q[i] * row_major_strides(shape)[i]).
struct Table {
  std::vector<std::uint64_t> shape;
  TableValues values;
};

}  // namespace veldra
