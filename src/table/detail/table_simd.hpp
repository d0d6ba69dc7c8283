// The walk of one run of a table compiled for one instruction set: each
// table_fill_<set>.cpp instantiates it once, so that the three compile on
// separate processors (together they are most of the build's time).
#pragma once

#include <cstdint>

#include "field/octave.hpp"
#include "table/detail/placed_walk.hpp"
#include "table/detail/sparse_walk.hpp"
#include "table/detail/table_columns.hpp"
#include "table/detail/table_fill.hpp"
#include "table/detail/table_walk.hpp"

namespace veldra {

// Fills flat indices [begin, end) of the planned table into out[0 ..
// end - begin) with one instruction set's kernels.
void fill_sse2(const TablePlan& plan, TableScratch& scratch, std::uint64_t begin,
               std::uint64_t end, double* out);
void fill_avx2(const TablePlan& plan, TableScratch& scratch, std::uint64_t begin,
               std::uint64_t end, double* out);
void fill_avx512(const TablePlan& plan, TableScratch& scratch, std::uint64_t begin,
                 std::uint64_t end, double* out);

namespace table_simd {

// Registers of positions the derivative's kernel takes at a time.
inline constexpr std::size_t SLOPE_BLOCKS = 2;

// The kernels for one instruction set, `Lanes` doubles to a register: the
// cell kernel (two registers at a time) and the column kernel of short last
// axes (one). They are compiled out of line: inlined into the walk, the
// cell kernel left the compiler short of vector registers, and the running
// sums went through the stack on every corner, halving the speed.
#define VELDRA_CELLS(Name, Target, Lanes)                                                     \
  struct Name {                                                                               \
    template <std::size_t Count, bool Weighted>                                               \
    [[gnu::target(Target), gnu::noinline]] static void fill(                                  \
        const table_lanes::Corners& corners, const table_lanes::Positions& at,                \
        std::size_t count, double* __restrict out) {                                          \
      table_lanes::fill_cell<Count, 2, table_lanes::Vec<Lanes>, Weighted>(corners, at, count, \
                                                                          out);               \
    }                                                                                         \
    static constexpr std::size_t COLUMN_LANES = Lanes;                                        \
    template <std::size_t Outer>                                                              \
    [[gnu::target(Target), gnu::noinline]] static void column(                                \
        const table_columns::ColumnCorners<Outer>& corners,                                   \
        const table_lanes::Positions& lane_at, std::size_t lanes,                             \
        const table_lanes::Positions& last_at, std::size_t count, double* __restrict out,     \
        std::size_t stride) {                                                                 \
      table_columns::fill_column<Outer, table_lanes::Vec<Lanes>>(corners, lane_at, lanes,     \
                                                                 last_at, count, out, stride); \
    }                                                                                         \
    /* The derivative's kernel. Cells of few positions are rare here: */                       \
    /* octaves that have them go one position per lane (sparse_walk.hpp). */                   \
    template <std::size_t Dims>                                                               \
    [[gnu::target(Target), gnu::noinline]] static void slopes(                                \
        const table_lanes::SlopeCorners& corners, const table_lanes::SlopePositions& at,      \
        std::size_t count, double* __restrict out) {                                          \
      table_lanes::fill_cell_slopes<Dims, SLOPE_BLOCKS, table_lanes::Vec<Lanes>>(corners, at,  \
                                                                                count, out);  \
    }                                                                                         \
  };

// The row walk, specialised for 1 to 4 dimensions, general beyond.
template <typename Cells>
[[gnu::always_inline]] inline void walk_rows(const TablePlan& plan, TableScratch& scratch,
                                             std::uint64_t begin, std::uint64_t end,
                                             double* out) {
  with_fixed_axes<1, 4>(plan.divisors.size(), [&] [[gnu::always_inline]] (auto axes) {
    table_walk::fill_run<decltype(axes)::value, Cells>(plan, scratch, begin, end, out);
  });
}

// Whole rows by columns when the plan has lane positions, the partial rows
// at either end of the run by the row walk.
template <typename Cells>
[[gnu::always_inline]] inline void fill_any(const TablePlan& plan, TableScratch& scratch,
                                            std::uint64_t begin, std::uint64_t end, double* out) {
  const std::size_t n = plan.divisors.size();
  // Plans have lane positions for 2 to 4 axes only (fills_by_columns).
  if (plan.lane_positions.empty() || n < 2 || n > 4 || begin >= end) {
    return walk_rows<Cells>(plan, scratch, begin, end, out);
  }
  const std::uint64_t row = plan.shape[n - 1];
  const std::uint64_t first_row = (begin + row - 1) / row;
  const std::uint64_t end_row = end / row;
  if (first_row >= end_row) return walk_rows<Cells>(plan, scratch, begin, end, out);
  walk_rows<Cells>(plan, scratch, begin, first_row * row, out);
  double* rows_out = out + (first_row * row - begin);
  const table_columns::LanePlan lanes{plan.divisors[n - 2], plan.lane_stride,
                                      plan.lane_positions.data()};
  with_fixed_axes<2, 4>(n, [&] [[gnu::always_inline]] (auto axes) {
    // N is never 0: n is 2 to 4 here.
    if constexpr (decltype(axes)::value != 0) {
      table_columns::fill_whole_rows<decltype(axes)::value, Cells>(plan, lanes, first_row, end_row,
                                                                 rows_out);
    }
  });
  walk_rows<Cells>(plan, scratch, end_row * row, end, out + (end_row * row - begin));
}

// The general walk of an octave's placed samples, specialised for 1 to 4
// dimensions, general beyond.
template <typename Cells>
[[gnu::always_inline]] inline void fill_placed_any(const PlacedPlan& plan, PlacedScratch& scratch,
                                                   std::uint64_t begin, std::uint64_t end,
                                                   double* out) {
  with_fixed_axes<1, 4>(plan.gradients.n(), [&] [[gnu::always_inline]] (auto axes) {
    constexpr std::size_t N = decltype(axes)::value;
    if constexpr (N != 0) {
      if (plan.sparse) {
        return sparse_walk::fill_values<N, Cells::COLUMN_LANES>(plan, scratch, begin, end, out);
      }
    }
    placed_walk::fill_run<N, Cells>(plan, scratch, begin, end, out);
  });
}

// The derivative form of the general walk, for 1 to 4 dimensions.
template <typename Cells>
[[gnu::always_inline]] inline void fill_placed_derivative_any(const PlacedPlan& plan,
                                                              std::uint64_t begin,
                                                              std::uint64_t end, double* out) {
  with_fixed_axes<1, 4>(plan.gradients.n(), [&] [[gnu::always_inline]] (auto axes) {
    constexpr std::size_t N = decltype(axes)::value;
    if constexpr (N != 0) {
      if (plan.sparse_slopes) return sparse_walk::fill_slopes<N, Cells::COLUMN_LANES>(plan, begin, end, out);
      placed_walk::fill_derivative_run<N, Cells>(plan, begin, end, out);
    }
  });
}

}  // namespace table_simd
}  // namespace veldra
