// The general walk of one octave over a box of samples placed anywhere on
// its lattice: each axis's samples have a cell and Sides of their own
// (table positions of any divisor, grids of any start and step). Row by
// row along the last axis and cell by cell within a row, like the table
// walk: per row, the corner weights and gradient sums of the other axes;
// per cell, each corner's gradient found once; along the cell, the samples
// in SIMD lanes (table_lanes::fill_cell). Every value is bit for bit the
// octave's noise_in at the sample's cells and Sides: the same steps of
// field/formula.hpp in the same order. Its derivative form walks alike and
// gives each sample's derivatives with its value, bit for bit the
// octave's derivative_in. Included only by the
// table_fill_<set>.cpp files, which instantiate it once per instruction set.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "field/formula.hpp"
#include "field/lattice_axis.hpp"
#include "field/octave.hpp"
#include "table/detail/placed_fill.hpp"
#include "table/detail/table_lanes.hpp"

namespace veldra::placed_walk {

using table_lanes::Corners;
using table_lanes::Positions;

// The numbers of one row: per corner prefix (the sides on axes 0 .. n-2),
// its weight and its gradient sum over those axes; per cell, each prefix's
// dot products at the cell's lower and upper side on the last axis. With
// Dims fixed (1 to 4) they live here, otherwise in the run's scratch.
template <std::size_t Dims>
struct Row {
  static constexpr std::size_t FIXED = Dims ? std::size_t{1} << (Dims - 1) : 1;
  double weight_store[FIXED], lo_dot_store[FIXED], lo_grad_store[FIXED];
  double hi_dot_store[FIXED], hi_grad_store[FIXED];
  std::uint64_t sum_store[FIXED];
  double* weight;
  double* lo_dot;
  double* lo_grad;
  double* hi_dot;
  double* hi_grad;
  std::uint64_t* sum;
  std::size_t count = 1;
  Sides sides[MAX_DIMS];

  explicit Row(PlacedScratch& scratch) {
    if constexpr (Dims != 0) {
      (void)scratch;
      weight = weight_store, lo_dot = lo_dot_store, lo_grad = lo_grad_store;
      hi_dot = hi_dot_store, hi_grad = hi_grad_store, sum = sum_store;
    } else {
      const std::size_t most = scratch.sums.size();
      double* numbers = scratch.numbers.data();
      weight = numbers, lo_dot = numbers + most, lo_grad = numbers + 2 * most;
      hi_dot = numbers + 3 * most, hi_grad = numbers + 4 * most;
      sum = scratch.sums.data();
    }
  }

  // The prefixes of the row at indices q[0 .. n-2].
  [[gnu::always_inline]] void start(const PlacedPlan& plan, const std::uint64_t* q, std::size_t n) {
    const OctaveGradients& g = plan.gradients;
    weight[0] = 1.0;
    sum[0] = g.sum_start();
    count = 1;
#pragma GCC unroll 4
    for (std::size_t i = 0; i + 1 < n; ++i) {
      const AxisPoint& at = plan.places[i][q[i]];
      sides[i] = at.sides;
      const std::uint64_t lower = g.term(i, at.cell), upper = g.term(i, at.cell + 1);
      const std::size_t half = Dims ? std::size_t{1} << i : count;
#pragma GCC unroll 8
      for (std::size_t j = 0; j < half; ++j) {
        sum[half + j] = sum[j] + upper;
        sum[j] = sum[j] + lower;
      }
      formula::split<0>(weight, half, sides[i]);
      count = 2 * half;
    }
  }

  // Each prefix's dot product over axes 0 .. n-2 and last gradient
  // component, at index x of the last axis.
  [[gnu::always_inline]] void corner_dots(const PlacedPlan& plan, std::size_t n, std::uint64_t x,
                                          double* dot, double* grad) const {
    const OctaveGradients& g = plan.gradients;
    const std::uint64_t t = g.term(n - 1, x);
    const std::size_t prefixes = Dims ? FIXED : count;
#pragma GCC unroll 8
    for (std::size_t j = 0; j < prefixes; ++j) {
      const double* gradient = g.gradient_of(sum[j] + t);
      double d = 0.0;
#pragma GCC unroll 4
      for (std::size_t i = 0; i + 1 < (Dims ? Dims : n); ++i) {
        dot_step(d, d, gradient[i], sides[i].offset[(j >> i) & 1]);
      }
      dot[j] = d;
      grad[j] = gradient[(Dims ? Dims : n) - 1];
    }
  }
};

// Calls cell(j, e) for each run of samples j .. e - 1 of the last axis
// that share a cell, over flat indices [begin, end) of the plan's box in
// order, with `row` (a Row or a SlopeRow) started for the sample's row and
// its lo_* and hi_* lists holding the cell's lower and upper intersections.
template <std::size_t Dims, typename RowOf, typename Cell>
[[gnu::always_inline]] inline void walk(const PlacedPlan& plan, RowOf& row, std::uint64_t begin,
                                        std::uint64_t end, Cell&& cell) {
  if (begin >= end) return;
  const std::size_t n = Dims ? Dims : plan.gradients.n();
  const std::size_t last = n - 1;
  std::uint64_t q[MAX_DIMS];
  for (std::size_t i = 0, rest = begin; i < n; ++i) {
    q[i] = rest / plan.strides[i];
    rest -= q[i] * plan.strides[i];
  }
  const std::vector<AxisPoint>& along = plan.places[last];
  for (std::uint64_t k = begin; k < end;) {
    const std::uint64_t m = std::min(plan.shape[last] - q[last], end - k);
    row.start(plan, q, n);
    bool held = false;           // whether row.hi_* hold the upper dots of a cell,
    std::uint64_t upper_of = 0;  // this one
    for (std::uint64_t j = q[last], stop = q[last] + m; j < stop;) {
      // The samples j .. e - 1 share a cell.
      const std::uint64_t at = along[j].cell;
      const std::uint64_t e = std::min(plan.run_ends[j], stop);
      // A cell's lower intersections are the upper ones of the cell before.
      if (held && upper_of + 1 == at) {
        std::swap(row.lo_dot, row.hi_dot);
        std::swap(row.lo_grad, row.hi_grad);
      } else {
        row.corner_dots(plan, n, at, row.lo_dot, row.lo_grad);
      }
      row.corner_dots(plan, n, at + 1, row.hi_dot, row.hi_grad);
      held = true;
      upper_of = at;
      cell(j, e);
      j = e;
    }
    k += m;
    // The next row: the last axis from its start, the others carried.
    q[last] = 0;
    for (std::size_t i = last; i-- > 0;) {
      if (++q[i] < plan.shape[i]) break;
      q[i] = 0;
    }
  }
}

// Fills out[0 .. end - begin) with the octave's noise at flat indices
// [begin, end) of the plan's box.
template <std::size_t Dims, typename Cells>
[[gnu::always_inline]] inline void fill_run(const PlacedPlan& plan, PlacedScratch& scratch,
                                            std::uint64_t begin, std::uint64_t end, double* out) {
  Row<Dims> row(scratch);
  walk<Dims>(plan, row, begin, end, [&] [[gnu::always_inline]] (std::uint64_t j, std::uint64_t e) {
    const Corners corners{row.weight, row.lo_dot, row.lo_grad, row.hi_dot, row.hi_grad, row.count};
    const double* lists = plan.positions.data() + j;
    const Positions at{lists, lists + plan.stride, lists + 2 * plan.stride, lists + 3 * plan.stride};
    Cells::template fill<Dims ? Row<Dims>::FIXED : 0, false>(corners, at,
                                                             static_cast<std::size_t>(e - j), out);
    out += e - j;
  });
}

// The numbers of one row for the derivative, Dims (1 to 4) axes: per
// prefix its weight, its slope weight along each axis j < Dims - 1
// (dweight[j * COUNT + p], formed axis by axis as the weights are, axis j
// contributing its slope), and its gradient sum; per cell, each prefix's
// dot products and whole gradients at the lower and upper side on the
// last axis (component i of prefix p at grad[i * COUNT + p]).
template <std::size_t Dims>
struct SlopeRow {
  static_assert(Dims >= 1 && Dims <= 4);
  static constexpr std::size_t COUNT = std::size_t{1} << (Dims - 1);
  double weight[COUNT], dweight[(Dims - 1) * COUNT + 1];
  double dot_store[2][COUNT], grad_store[2][Dims * COUNT];
  std::uint64_t sum[COUNT];
  double* lo_dot = dot_store[0];
  double* hi_dot = dot_store[1];
  double* lo_grad = grad_store[0];
  double* hi_grad = grad_store[1];
  Sides sides[Dims];

  [[gnu::always_inline]] void start(const PlacedPlan& plan, const std::uint64_t* q, std::size_t) {
    const OctaveGradients& g = plan.gradients;
    weight[0] = 1.0;
    sum[0] = g.sum_start();
#pragma GCC unroll 4
    for (std::size_t j = 0; j + 1 < Dims; ++j) dweight[j * COUNT] = 1.0;
#pragma GCC unroll 4
    for (std::size_t i = 0; i + 1 < Dims; ++i) {
      const AxisPoint& at = plan.places[i][q[i]];
      sides[i] = at.sides;
      const Slopes slopes = slopes_at(at.sides.offset[0]);
      const std::uint64_t lower = g.term(i, at.cell), upper = g.term(i, at.cell + 1);
      const std::size_t half = std::size_t{1} << i;
#pragma GCC unroll 8
      for (std::size_t k = 0; k < half; ++k) {
        sum[half + k] = sum[k] + upper;
        sum[k] = sum[k] + lower;
      }
      formula::split<0>(weight, half, sides[i]);
#pragma GCC unroll 4
      for (std::size_t j = 0; j + 1 < Dims; ++j) {
        double* dw = dweight + j * COUNT;
        const double* by = i == j ? slopes.slope : sides[i].weight;
#pragma GCC unroll 8
        for (std::size_t k = 0; k < half; ++k) {
          weight_step(dw[half + k], dw[k], by[1]);
          weight_step(dw[k], dw[k], by[0]);
        }
      }
    }
  }

  [[gnu::always_inline]] void corner_dots(const PlacedPlan& plan, std::size_t, std::uint64_t x,
                                          double* dot, double* grad) const {
    const OctaveGradients& g = plan.gradients;
    const std::uint64_t t = g.term(Dims - 1, x);
#pragma GCC unroll 8
    for (std::size_t p = 0; p < COUNT; ++p) {
      const double* gradient = g.gradient_of(sum[p] + t);
      double d = 0.0;
#pragma GCC unroll 4
      for (std::size_t i = 0; i + 1 < Dims; ++i) {
        dot_step(d, d, gradient[i], sides[i].offset[(p >> i) & 1]);
      }
      dot[p] = d;
#pragma GCC unroll 4
      for (std::size_t i = 0; i < Dims; ++i) grad[i * COUNT + p] = gradient[i];
    }
  }
};

// Fills out[0 .. (end - begin) * (Dims + 1)) with the octave's
// derivatives along the Dims axes and its noise, sample by sample, at flat
// indices [begin, end) of the plan's box (made with slopes): each sample's
// numbers bit for bit OctaveGradients::derivative_in's at its cells and
// Sides.
template <std::size_t Dims, typename Cells>
[[gnu::always_inline]] inline void fill_derivative_run(const PlacedPlan& plan, std::uint64_t begin,
                                                       std::uint64_t end, double* out) {
  SlopeRow<Dims> row;
  walk<Dims>(plan, row, begin, end, [&] [[gnu::always_inline]] (std::uint64_t j, std::uint64_t e) {
    const table_lanes::SlopeCorners corners{row.weight,  row.dweight, row.lo_dot,
                                            row.lo_grad, row.hi_dot,  row.hi_grad,
                                            SlopeRow<Dims>::COUNT};
    const double* lists = plan.positions.data() + j;
    const std::size_t s = plan.stride;
    const table_lanes::SlopePositions at{{lists, lists + s, lists + 2 * s, lists + 3 * s},
                                         lists + 4 * s, lists + 5 * s};
    Cells::template slopes<Dims>(corners, at, static_cast<std::size_t>(e - j), out);
    out += (e - j) * (Dims + 1);
  });
}

}  // namespace veldra::placed_walk
