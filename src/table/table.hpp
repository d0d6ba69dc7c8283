// Noise of a field sampled on a refined lattice: the tables of an Instance
// and of a Field, whole or a box of them. Axis i of the table of `divisors`
// has dims[i] * divisors[i] + 1 positions, index q at q / divisors[i].
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "base/buffer.hpp"
#include "base/error.hpp"
#include "field/field.hpp"
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

// A table's shape and its number of values.
struct TableLayout {
  std::vector<std::uint64_t> shape;
  std::uint64_t count;
};

// The layout of the table of `divisors` (table.cpp): fails unless there are
// n() divisors, none 0, and the count fits 64 bits. A Field's is its
// Instance's.
Result<TableLayout> table_layout(const Instance& field, std::span<const std::uint64_t> divisors);
Result<TableLayout> table_layout(const Field& field, std::span<const std::uint64_t> divisors);

// The whole table of `divisors`, every value bit for bit the field's noise
// at its position (table_region.cpp): the box from 0 to the table's shape.
Result<Table> table(const Instance& field, std::span<const std::uint64_t> divisors);
Result<Table> table(const Field& field, std::span<const std::uint64_t> divisors);

// The box of table(field, divisors) from per-axis index `start`, `shape`
// values per axis: value i is the table's at start + i, bit for bit
// (table_region.cpp). Fails when the divisors do, then as check_region.
Result<Table> table_region(const Instance& field, std::span<const std::uint64_t> divisors,
                           std::span<const std::uint64_t> start,
                           std::span<const std::uint64_t> shape);
Result<Table> table_region(const Field& field, std::span<const std::uint64_t> divisors,
                           std::span<const std::uint64_t> start,
                           std::span<const std::uint64_t> shape);

// The grid of `shape` samples per axis from `start` by `step`, or the box
// of it from index `first` (empty: 0): value j is the field at
// start[i] + (first[i] + j[i]) * step[i] on every axis i, each coordinate
// computed as exactly that expression (the index converted to a double),
// bit for bit what Field::sample gives there (table_region.cpp). Fails unless
// start, step and first have n() entries, no extent is 0 and the count
// fits 64 bits; then, as Field::expect_point words it, when a coordinate
// lies beyond the field's bounds.
Result<Table> grid(const Field& field, std::span<const double> start, std::span<const double> step,
                   std::span<const std::uint64_t> shape, std::span<const std::uint64_t> first = {});

// The derivative on that grid: a table of shape [*shape, n] whose entry j
// is Field::derivative at sample j, bit for bit; checked as grid() is.
Result<Table> derivative_grid(const Field& field, std::span<const double> start,
                              std::span<const double> step, std::span<const std::uint64_t> shape,
                              std::span<const std::uint64_t> first = {});

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
