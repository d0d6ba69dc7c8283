// Noise of one field sampled on a refined lattice.
#pragma once

#include <cstdint>
#include <vector>

#include "lib/instance.hpp"

namespace veldra {

// The smallest number of values worth a worker thread.
inline constexpr std::uint64_t TABLE_CHUNK = 16384;

// `values` is row-major over `shape` (the last axis fastest): the value at
// per-axis index q is at sum(q[i] * row_major_strides(shape)[i]).
struct Table {
  std::vector<std::uint64_t> shape;
  std::vector<double> values;
};

}  // namespace veldra
