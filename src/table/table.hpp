// Noise of one field sampled on a refined lattice.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "base/buffer.hpp"
#include "base/error.hpp"
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

// Whether the box of shape[i] indices from start[i] on every axis lies
// inside a table of shape `table`. The errors, in this order: a start or
// shape whose length is not the table's dimension count, a zero extent, a
// box that ends beyond the table (naming the first such axis).
Status check_region(std::span<const std::uint64_t> table, std::span<const std::uint64_t> start,
                    std::span<const std::uint64_t> shape);

// The most values, up to `most`, that are whole rows of `row` values (or
// `most` when a row is longer): how much of a table a fill takes at once,
// so that the fill's per-row setup is not repeated within a piece.
inline std::uint64_t whole_rows_within(std::uint64_t most, std::uint64_t row) {
  return row <= most ? most - most % row : most;
}

// The most corner terms (values times 2^dimensions) an Instance's table
// fill takes between two looks at stop_requested(): a few milliseconds of
// work at any dimension.
inline constexpr std::uint64_t CORNERS_PER_LOOK = std::uint64_t{1} << 22;

// How many values an Instance's table fill takes between two looks at
// stop_requested(): whole rows of `row` values when they fit, so that the
// fill's per-row setup is not repeated.
inline std::uint64_t values_per_look(std::size_t dimensions, std::uint64_t row) {
  return whole_rows_within(std::max<std::uint64_t>(CORNERS_PER_LOOK >> dimensions, 1), row);
}

}  // namespace veldra
