// The walk of one run of a table: row by row along the last axis, cell by
// cell within a row. Included only by table_fill.cpp, which instantiates it
// once per instruction set; everything here is inlined into those
// instantiations.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "field/formula.hpp"
#include "field/instance.hpp"
#include "field/lattice_axis.hpp"
#include "table/detail/table_fill.hpp"
#include "table/detail/table_lanes.hpp"

namespace veldra::table_walk {

using table_lanes::Corners;
using table_lanes::Positions;

// Cell offsets per window of the last axis beyond the plan's cached ones.
inline constexpr std::size_t WINDOW = 1024;
// Entries past the end of every position list, so that a partial block of
// lanes reads initialised numbers.
inline constexpr std::size_t PADDING = 16;

// The Sides of offset r of a cell cut into d pieces (field/lattice_axis.hpp).
[[gnu::always_inline]] inline Sides position(std::uint64_t r, std::uint64_t d) {
  return cut_position(r, d);
}

// Fills four lists of `stride` entries at `lists` with the positions at
// offsets first .. first + count - 1: offsets from the lower and the upper
// side, then the weights of the two sides.
[[gnu::always_inline]] inline void fill_positions(std::uint64_t first, std::size_t count,
                                                  std::uint64_t d, double* lists,
                                                  std::size_t stride) {
  for (std::size_t j = 0; j < count; ++j) {
    const Sides at = position(first + j, d);
    lists[j] = at.offset[0];
    lists[stride + j] = at.offset[1];
    lists[2 * stride + j] = at.weight[0];
    lists[3 * stride + j] = at.weight[1];
  }
}

// The per-row and per-cell numbers of one run. With Dims fixed (1 to 4)
// every corner prefix is kept and the lists live here; with Dims = 0 the
// lists live in the run's scratch space and prefixes of weight 0 are
// dropped (their corners would add +-0 only, see table_lanes::Sums).
template <std::size_t Dims>
struct Row {
  static constexpr std::size_t FIXED = Dims ? std::size_t{1} << (Dims - 1) : 1;
  double weight_store[FIXED], lo_dot_store[FIXED], lo_grad_store[FIXED];
  double hi_dot_store[FIXED], hi_grad_store[FIXED];
  std::uint64_t offset_store[FIXED], prefix_store[FIXED];

  double* weight;
  double* lo_dot;
  double* lo_grad;
  double* hi_dot;
  double* hi_grad;
  std::uint64_t* offset;  // where the prefix's corner gradient starts, relative to the row's cell
  std::uint64_t* prefix;  // bit i: the corner's side on axis i
  std::size_t count = 0;

  // Per prefix axis i: the position's cell, its offset r in the cell
  // (r = d only at the axis's last position) and its Sides.
  std::uint64_t cell[MAX_DIMS];
  std::uint64_t within[MAX_DIMS];
  Sides sides[MAX_DIMS];
  std::uint64_t base = 0;  // linear index of the row's cell corner, last axis 0

  explicit Row(TableScratch& scratch, std::size_t n) {
    if constexpr (Dims != 0) {
      (void)scratch;
      (void)n;
      weight = weight_store, lo_dot = lo_dot_store, lo_grad = lo_grad_store;
      hi_dot = hi_dot_store, hi_grad = hi_grad_store;
      offset = offset_store, prefix = prefix_store;
    } else {
      const std::size_t most = std::size_t{1} << (n - 1);
      double* numbers = scratch.numbers.data();
      weight = numbers, lo_dot = numbers + most, lo_grad = numbers + 2 * most;
      hi_dot = numbers + 3 * most, hi_grad = numbers + 4 * most;
      offset = scratch.indices.data(), prefix = scratch.indices.data() + most;
    }
  }

  // Places the row at positions q[0 .. n-2] of the prefix axes: on each
  // the cell q / d, except that the axis's last position lies in its last
  // cell, at offset d.
  [[gnu::always_inline]] void locate(const TablePlan& plan, const std::uint64_t* q, std::size_t n) {
    const std::uint64_t* dims = plan.field->dims().data();
    for (std::size_t i = 0; i + 1 < n; ++i) {
      const std::uint64_t d = plan.divisors[i];
      cell[i] = std::min(q[i] / d, dims[i] - 1);
      within[i] = q[i] - cell[i] * d;
      numbers(plan, i);
    }
  }

  // Moves to the next row; false after the last one.
  [[gnu::always_inline]] bool advance(const TablePlan& plan, std::size_t n) {
    const std::uint64_t* dims = plan.field->dims().data();
    for (std::size_t i = n - 1; i-- > 0;) {
      const std::uint64_t d = plan.divisors[i];
      if (within[i] + 1 < d || (within[i] + 1 == d && cell[i] + 1 == dims[i])) {
        ++within[i];
      } else if (cell[i] + 1 < dims[i]) {
        ++cell[i];
        within[i] = 0;
      } else {
        cell[i] = 0;
        within[i] = 0;
        numbers(plan, i);
        continue;
      }
      numbers(plan, i);
      return true;
    }
    return false;
  }

  // Fraction and fade weights of prefix axis i.
  [[gnu::always_inline]] void numbers(const TablePlan& plan, std::size_t i) {
    sides[i] = position(within[i], plan.divisors[i]);
  }

  // The corner prefixes of the row: weights, offsets and sides.
  [[gnu::always_inline]] void start(const TablePlan& plan, std::size_t n) {
    const std::uint64_t* strides = plan.field->strides().data();
    base = 0;
    weight[0] = 1.0;
    offset[0] = 0;
    prefix[0] = 0;
    count = 1;
#pragma GCC unroll 4
    for (std::size_t i = 0; i + 1 < n; ++i) {
      base += cell[i] * strides[i];
      // Each prefix splits into its lower and upper side on axis i.
      const std::size_t half = Dims ? std::size_t{1} << i : count;
#pragma GCC unroll 8
      for (std::size_t j = 0; j < half; ++j) {
        offset[half + j] = offset[j] + strides[i] * n;
        prefix[half + j] = prefix[j] | std::uint64_t{1} << i;
      }
      formula::split<0>(weight, half, sides[i]);
      count = 2 * half;
      if constexpr (Dims == 0) {
        std::size_t kept = 0;
        for (std::size_t j = 0; j < count; ++j) {
          if (weight[j] == 0.0) continue;
          weight[kept] = weight[j];
          offset[kept] = offset[j];
          prefix[kept] = prefix[j];
          ++kept;
        }
        count = kept;
      }
    }
  }

  // The dot products over the prefix axes at the intersections of the row
  // at index x of the last axis, and their gradients' last components.
  [[gnu::always_inline]] void corner_dots(const Instance& field, std::size_t n, std::uint64_t x,
                                          double* dot, double* grad) const {
    const double* row_gradients = field.gradients().data() + (base + x) * n;
    if constexpr (Dims != 0) {
      fixed_dots(row_gradients, dot, grad, std::make_index_sequence<FIXED>{});
    } else {
      for (std::size_t j = 0; j < count; ++j) {
        const double* g = row_gradients + offset[j];
        double sum = 0.0;
        for (std::size_t i = 0; i + 1 < n; ++i) {
          dot_step(sum, sum, g[i], sides[i].offset[(prefix[j] >> i) & 1]);
        }
        dot[j] = sum;
        grad[j] = g[n - 1];
      }
    }
  }

  // corner_dots with the prefixes J (their sides) known at compile time.
  template <std::size_t... J>
  [[gnu::always_inline]] void fixed_dots(const double* row_gradients, double* dot, double* grad,
                                         std::index_sequence<J...>) const {
    (fixed_dot<J>(row_gradients, dot, grad, std::make_index_sequence<Dims - 1>{}), ...);
  }
  template <std::size_t J, std::size_t... I>
  [[gnu::always_inline]] void fixed_dot(const double* row_gradients, double* dot, double* grad,
                                        std::index_sequence<I...>) const {
    const double* g = row_gradients + offset[J];
    double sum = 0.0;
    (dot_step(sum, sum, g[I], sides[I].offset[(J >> I) & 1]), ...);
    dot[J] = sum;
    grad[J] = g[Dims - 1];
  }

  // Writes weight[p] * (1 - fade) and weight[p] * fade at every cached cell
  // offset: the lower side's lists, prefix p's at p * plan.stride, then the
  // upper side's. Whole blocks of FORMED_BLOCK offsets are written, reaching
  // into the padding (zeros times a weight), so that the loop has no
  // remainder: with rows of a hundred values or so, a scalar remainder and
  // two loops per prefix cost as much as the products.
  static constexpr std::size_t FORMED_BLOCK = 8;
  static_assert(PADDING >= FORMED_BLOCK - 1);
  [[gnu::always_inline]] void form_weights(const TablePlan& plan, double* formed) const {
    const double* __restrict lower = plan.positions.data() + 2 * plan.stride;
    const double* __restrict upper = plan.positions.data() + 3 * plan.stride;
    const std::size_t blocks = (static_cast<std::size_t>(plan.cached) + FORMED_BLOCK - 1) /
                               FORMED_BLOCK;
    for (std::size_t p = 0; p < FIXED; ++p) {
      // Named apart so that the compiler knows no store changes them and
      // vectorises the loop.
      const double prefix = weight[p];
      double* __restrict lower_formed = formed + p * plan.stride;
      double* __restrict upper_formed = formed + (FIXED + p) * plan.stride;
      for (std::size_t block = 0; block < blocks; ++block) {
        const std::size_t r = block * FORMED_BLOCK;
#pragma GCC unroll 8
        for (std::size_t k = 0; k < FORMED_BLOCK; ++k) {
          lower_formed[r + k] = prefix * lower[r + k];
          upper_formed[r + k] = prefix * upper[r + k];
        }
      }
    }
  }

  Corners corners() const { return {weight, lo_dot, lo_grad, hi_dot, hi_grad, count}; }
};

// Fills out[0 .. m) with the row's values at last-axis positions q0 ..
// q0 + m - 1, all within the row.
template <std::size_t Dims, typename Cells>
[[gnu::always_inline]] inline void fill_row(const TablePlan& plan, TableScratch& scratch,
                                            Row<Dims>& row, std::size_t n, std::uint64_t q0,
                                            std::uint64_t m, double* out) {
  const Instance& field = *plan.field;
  const std::size_t last = n - 1;
  const std::uint64_t d = plan.divisors[last];
  const std::uint64_t cells = field.dims()[last];
  std::uint64_t cell = std::min(q0 / d, cells - 1);
  std::uint64_t r = q0 - cell * d;
  row.corner_dots(field, n, cell, row.lo_dot, row.lo_grad);
  row.corner_dots(field, n, cell + 1, row.hi_dot, row.hi_grad);
  // When the row spans four cells or more, every corner weight (prefix
  // weight times side weight) is formed once per row and cell offset; with
  // fewer, forming them costs about what it saves.
  bool weighted = false;
  if constexpr (Dims != 0) {
    weighted = !scratch.weighted.empty() && m >= 4 * d;
    if (weighted) row.form_weights(plan, scratch.weighted.data());
  }
  for (;;) {
    Corners corners = row.corners();
    // Offsets r .. r + run - 1 of this cell; the last cell also holds the
    // axis's last position, offset d.
    const std::uint64_t span = (cell + 1 == cells ? d + 1 : d) - r;
    std::uint64_t run = std::min(span, m);
    m -= run;
    while (run > 0) {
      Positions at;
      std::uint64_t available;
      if (r < plan.cached) {
        const double* lists = plan.positions.data() + r;
        at = {lists, lists + plan.stride, lists + 2 * plan.stride, lists + 3 * plan.stride};
        available = plan.cached - r;
      } else {
        double* lists = scratch.numbers.data() + scratch.numbers.size() - 4 * (WINDOW + PADDING);
        available = std::min<std::uint64_t>(WINDOW, d + 1 - r);
        fill_positions(r, available, d, lists, WINDOW + PADDING);
        at = {lists, lists + (WINDOW + PADDING), lists + 2 * (WINDOW + PADDING),
              lists + 3 * (WINDOW + PADDING)};
      }
      const std::size_t here = static_cast<std::size_t>(std::min(available, run));
      if constexpr (Dims != 0) {
        constexpr std::size_t FIXED = Row<Dims>::FIXED;
        if (weighted) {
          const double* formed = scratch.weighted.data() + r;
          corners.lower_weighted = formed;
          corners.upper_weighted = formed + FIXED * plan.stride;
          corners.weighted_stride = plan.stride;
          Cells::template fill<FIXED, true>(corners, at, here, out);
        } else {
          Cells::template fill<FIXED, false>(corners, at, here, out);
        }
      } else {
        Cells::template fill<0, false>(corners, at, here, out);
      }
      out += here;
      r += here;
      run -= here;
    }
    if (m == 0) return;
    // The next cell: its lower intersections are this cell's upper ones.
    ++cell;
    r = 0;
    std::swap(row.lo_dot, row.hi_dot);
    std::swap(row.lo_grad, row.hi_grad);
    row.corner_dots(field, n, cell + 1, row.hi_dot, row.hi_grad);
  }
}

// Fills out[0 .. end - begin) with the values at flat indices [begin, end).
template <std::size_t Dims, typename Cells>
[[gnu::always_inline]] inline void fill_run(const TablePlan& plan, TableScratch& scratch,
                                            std::uint64_t begin, std::uint64_t end, double* out) {
  if (begin >= end) return;
  const std::size_t n = Dims ? Dims : plan.field->n();
  const std::size_t last = n - 1;
  std::uint64_t q[MAX_DIMS];
  std::uint64_t rem = begin;
  for (std::size_t i = 0; i < n; ++i) {
    q[i] = rem / plan.table_strides[i];
    rem -= q[i] * plan.table_strides[i];
  }
  Row<Dims> row(scratch, n);
  row.locate(plan, q, n);
  for (std::uint64_t k = begin;;) {
    const std::uint64_t m = std::min(plan.shape[last] - q[last], end - k);
    row.start(plan, n);
    fill_row<Dims, Cells>(plan, scratch, row, n, q[last], m, out);
    out += m;
    k += m;
    if (k == end || !row.advance(plan, n)) return;
    q[last] = 0;
  }
}

}  // namespace veldra::table_walk
