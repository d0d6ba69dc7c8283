// Noise of one field sampled on a refined lattice.
#pragma once

#include <cstdint>
#include <vector>

#include "lib/buffer.hpp"
#include "field/instance.hpp"

namespace veldra {

// The smallest number of values worth a worker thread.
inline constexpr std::uint64_t TABLE_CHUNK = 16384;

// How a table of `count` values is cut into runs for scoped workers: none
// below TABLE_CHUNK values (the caller fills it), otherwise
// min(processors, ceil(count / TABLE_CHUNK)) runs of `chunk` values, the
// last one possibly shorter.
struct TableSplit {
  std::uint64_t runs = 0;
  std::uint64_t chunk = 0;
};
TableSplit split_table(std::uint64_t count, std::uint64_t processors);

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
