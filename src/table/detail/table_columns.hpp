// The fill of tables whose last axis is short (a three-axis colour table
// has 3 to 5 samples along it). Walking rows of such a table shares almost
// nothing, so these tables are walked by columns instead: SIMD lanes run
// along the second-to-last axis, one lane per row, and each lane block is
// evaluated at every position of the short last axis in turn. Included
// only by table_fill.cpp, like table_walk.hpp.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "field/formula.hpp"
#include "field/instance.hpp"
#include "table/detail/table_fill.hpp"
#include "table/detail/table_lanes.hpp"
#include "table/detail/table_walk.hpp"

namespace veldra::table_columns {

using table_lanes::load;
using table_lanes::splat;

// Whether a table of n axes whose last axis has `last_extent` samples and
// whose second-to-last axis is cut `lane_divisor` times per cell is filled
// faster by columns than by rows. A lane block stays within one cell of the
// lane axis, so short cells there leave lanes idle; rows gain on columns as
// they lengthen (measured on AVX2 and SSE2: columns are 3 to 4 times faster
// for rows of 3 to 8 samples, about a third faster up to 64, even at 129).
inline bool fills_by_columns(std::size_t n, std::uint64_t last_extent,
                             std::uint64_t lane_divisor) {
  if (n < 2 || n > 4) return false;
  if (last_extent <= 8) return lane_divisor >= 2;
  return last_extent <= 64 && lane_divisor >= 8;
}

// The corners of one cell of the lane axis (the second-to-last) and one
// cell of the last axis, for a fixed position on the outer axes (those
// before the lane axis). Corner k has bit i set when it lies on the upper
// side of axis i; with Outer outer corners, k = outer + Outer * lane side
// + 2 * Outer * last side, the order of the formula.
template <std::size_t Outer>
struct ColumnCorners {
  double outer_weight[Outer];   // the weight over the outer axes, from 1.0
  double outer_dot[4 * Outer];  // the dot product over the outer axes
  double lane_grad[4 * Outer];  // the gradient's lane-axis component
  double last_grad[4 * Outer];  // the gradient's last component
};

// Positions of one axis at consecutive cell offsets: the four lists of
// table_walk::position.
using table_lanes::Positions;

// Writes the noise at `lanes` consecutive lane-axis positions `lane_at`
// (at most the lanes of V) and the `count` last-axis positions `last_at`,
// all in the cells of `c`, to out[lane * stride + j].
//
// Per lane and last position these are the steps of field/formula.hpp,
// as in table_lanes::Sums: the outer axes', then the lane axis's, then the
// last axis's, over the corners in increasing order, corners of weight 0
// included. The steps that do not depend on the last position are taken
// once for all of them.
template <std::size_t Outer, typename V>
[[gnu::always_inline]] inline void fill_column(const ColumnCorners<Outer>& c,
                                               const Positions& lane_at, std::size_t lanes,
                                               const Positions& last_at, std::size_t count,
                                               double* __restrict out, std::size_t stride) {
  V lane_offset[2], lane_weight[2];
  load(lane_offset[0], lane_at.frac);
  load(lane_offset[1], lane_at.frac_minus_one);
  load(lane_weight[0], lane_at.lower);
  load(lane_weight[1], lane_at.upper);
  // (outer weight * lane side weight) per outer corner and lane side.
  V weight_over[2 * Outer];
  // (outer dot + lane gradient * lane offset) per corner.
  V dot_over[4 * Outer];
#pragma GCC unroll 16
  for (std::size_t k = 0; k < 2 * Outer; ++k) {
    V outer;
    splat(outer, c.outer_weight[k % Outer]);
    weight_step(weight_over[k], outer, lane_weight[k / Outer]);
  }
#pragma GCC unroll 32
  for (std::size_t k = 0; k < 4 * Outer; ++k) {
    V dot, grad;
    splat(dot, c.outer_dot[k]);
    splat(grad, c.lane_grad[k]);
    dot_step(dot_over[k], dot, grad, lane_offset[(k / Outer) % 2]);
  }
  for (std::size_t j = 0; j < count; ++j) {
    const double last_offset[2] = {last_at.frac[j], last_at.frac_minus_one[j]};
    const double last_weight[2] = {last_at.lower[j], last_at.upper[j]};
    V total{};
#pragma GCC unroll 32
    for (std::size_t k = 0; k < 4 * Outer; ++k) {
      const std::size_t side = k / (2 * Outer);
      V weight, dot;
      splat(weight, last_weight[side]);
      weight_step(weight, weight_over[k % (2 * Outer)], weight);
      dot_step(dot, dot_over[k], c.last_grad[k], last_offset[side]);
      term_step(total, weight, dot);
    }
    for (std::size_t lane = 0; lane < lanes; ++lane) out[lane * stride + j] = total[lane];
  }
}

// Lane-axis positions cached for a table filled by planes: the lane
// axis's divisor, four lists of `stride` entries (zero-padded past d + 1).
struct LanePlan {
  std::uint64_t divisor = 0;
  std::size_t stride = 0;
  const double* positions = nullptr;
};

// Fills the whole rows [first_row, end_row) of the table (a row: the values
// along the last axis at one position of the others), Dims 2 to 4, writing
// from `out`. The rows are taken plane by plane (a plane: every row with the
// same outer position), each plane's part of them lane block by lane block.
// Cells::column evaluates one lane block.
template <std::size_t Dims, typename Cells>
[[gnu::always_inline]] inline void fill_whole_rows(const TablePlan& plan,
                                                   const LanePlan& lanes, std::uint64_t first_row,
                                                   std::uint64_t end_row, double* out) {
  static_assert(Dims >= 2 && Dims <= 4);
  constexpr std::size_t OUTER_AXES = Dims - 2;
  constexpr std::size_t OUTER = std::size_t{1} << OUTER_AXES;
  constexpr std::size_t LANE = Dims - 2;  // the lane axis
  constexpr std::size_t LAST = Dims - 1;
  const Instance& field = *plan.field;
  const std::uint64_t* dims = field.dims().data();
  const std::uint64_t* strides = field.strides().data();
  const double* gradients = field.gradients().data();
  const std::uint64_t last_extent = plan.shape[LAST];
  const std::uint64_t lane_extent = plan.shape[LANE];
  const std::uint64_t d_last = plan.divisors[LAST];
  const std::uint64_t d_lane = lanes.divisor;
  const double* last_lists = plan.positions.data();
  const double* lane_lists = lanes.positions;

  const std::uint64_t end_plane = (end_row + lane_extent - 1) / lane_extent;
  for (std::uint64_t plane = first_row / lane_extent; plane < end_plane; ++plane) {
    // The lane positions [lane_first, lane_end) of this plane are wanted.
    const std::uint64_t plane_row = plane * lane_extent;
    const std::uint64_t lane_first = std::max(first_row, plane_row) - plane_row;
    const std::uint64_t lane_end = std::min(end_row, plane_row + lane_extent) - plane_row;
    // The outer position of this plane, its cells, offsets and weights.
    std::uint64_t outer_base = 0;
    Sides outer_sides[OUTER_AXES > 0 ? OUTER_AXES : 1];
    double outer_weight[OUTER];
    outer_weight[0] = 1.0;
    {
      std::uint64_t rem = plane;
      std::uint64_t q[OUTER_AXES > 0 ? OUTER_AXES : 1];
      for (std::size_t i = OUTER_AXES; i-- > 0;) {
        q[i] = rem % plan.shape[i];
        rem /= plan.shape[i];
      }
      for (std::size_t i = 0; i < OUTER_AXES; ++i) {
        const std::uint64_t d = plan.divisors[i];
        const std::uint64_t cell = std::min(q[i] / d, dims[i] - 1);
        outer_sides[i] = table_walk::position(q[i] - cell * d, d);
        outer_base += cell * strides[i];
        formula::split<0>(outer_weight, std::size_t{1} << i, outer_sides[i]);
      }
    }

    ColumnCorners<OUTER> corners;
    for (std::size_t o = 0; o < OUTER; ++o) corners.outer_weight[o] = outer_weight[o];
    for (std::uint64_t lane_cell = std::min(lane_first / d_lane, dims[LANE] - 1);
         lane_cell < dims[LANE] && lane_cell * d_lane < lane_end; ++lane_cell) {
      // The cell's offsets [r_first, r_end) hold wanted positions.
      const std::uint64_t cell_first = lane_cell * d_lane;
      const std::uint64_t lane_span = lane_cell + 1 == dims[LANE] ? d_lane + 1 : d_lane;
      const std::uint64_t r_first = std::max(lane_first, cell_first) - cell_first;
      const std::uint64_t r_end = std::min(lane_end, cell_first + lane_span) - cell_first;
      if (r_first >= r_end) continue;
      for (std::uint64_t last_cell = 0; last_cell < dims[LAST]; ++last_cell) {
        // The gradients of this cell's corners, and their dot products
        // over the outer axes, in the order of the formula.
        const std::uint64_t cell_base =
            outer_base + lane_cell * strides[LANE] + last_cell * strides[LAST];
        for (std::size_t k = 0; k < 4 * OUTER; ++k) {
          std::uint64_t at = cell_base;
          for (std::size_t i = 0; i < Dims; ++i) {
            if ((k >> i) & 1) at += strides[i];
          }
          const double* g = gradients + at * Dims;
          double sum = 0.0;
          for (std::size_t i = 0; i < OUTER_AXES; ++i) {
            dot_step(sum, sum, g[i], outer_sides[i].offset[(k >> i) & 1]);
          }
          corners.outer_dot[k] = sum;
          corners.lane_grad[k] = g[LANE];
          corners.last_grad[k] = g[LAST];
        }
        const std::uint64_t last_span = last_cell + 1 == dims[LAST] ? d_last + 1 : d_last;
        const Positions last_at{last_lists, last_lists + plan.stride,
                                last_lists + 2 * plan.stride, last_lists + 3 * plan.stride};
        for (std::uint64_t r = r_first; r < r_end; r += Cells::COLUMN_LANES) {
          const double* lists = lane_lists + r;
          const Positions lane_at{lists, lists + lanes.stride, lists + 2 * lanes.stride,
                                  lists + 3 * lanes.stride};
          const std::size_t here =
              static_cast<std::size_t>(std::min<std::uint64_t>(Cells::COLUMN_LANES, r_end - r));
          Cells::template column<OUTER>(corners, lane_at, here, last_at,
                                        static_cast<std::size_t>(last_span),
                                        out + (plane_row + cell_first + r - first_row) *
                                                      last_extent + last_cell * d_last,
                                        static_cast<std::size_t>(last_extent));
        }
      }
    }
  }
}

}  // namespace veldra::table_columns
