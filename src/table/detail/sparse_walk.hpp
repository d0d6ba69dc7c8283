// The walk of an octave whose samples are sparse along the last axis
// (fewer than about four to a cell): there the general walk's
// per-cell work (each corner's gradient and dot products found, then
// broadcast to lanes that hold one or two samples) is most of the time.
// Instead each sample has a lane of its own: per row, the corner prefixes'
// weights and hash sums over axes 0 .. n-2 are found once; per group of
// samples, each corner's hash is finished in 32-bit lanes (the octave's
// rule, field/octave.hpp), its gradient gathered from the palette and its
// dot product formed, lane by lane, with the steps of field/formula.hpp in
// their order: every value is bit for bit the octave's noise_in. Only
// octaves whose gradients come from a palette, for 1 to 4 axes. Included
// only by the table_fill_<set>.cpp files, through table_simd.hpp.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "field/formula.hpp"
#include "field/octave.hpp"
#include "table/detail/placed_fill.hpp"
#include "table/detail/table_lanes.hpp"

namespace veldra::sparse_walk {

template <std::size_t Lanes>
struct WordsOf {
  typedef std::uint32_t type __attribute__((vector_size(Lanes * sizeof(std::uint32_t))));
};

// Fills out[0 .. end - begin) with the octave's noise at flat indices
// [begin, end) of the plan's box, Lanes samples at a time; WithSlopes,
// Dims + 1 numbers per sample, the derivative along each axis and then the
// value, as PlacedFill::fill_derivative gives them (formula::derivative:
// per row each prefix's slope weights too, the product with one axis's
// side weight replaced by its slope; the last axis's slopes per lane).
template <std::size_t Dims, std::size_t Lanes, bool WithSlopes = false>
[[gnu::always_inline]] inline void fill_run(const PlacedPlan& plan, std::uint64_t begin, std::uint64_t end,
                                            double* out) {
  static_assert(Dims >= 1 && Dims <= 4);
  using V = table_lanes::Vec<Lanes>;
  using W = typename WordsOf<Lanes>::type;
  constexpr std::size_t LAST = Dims - 1, PREFIXES = std::size_t{1} << LAST;
  if (begin >= end) return;
  const OctaveGradients& g = plan.gradients;
  const double* palette = g.palette();
  const std::size_t stride = plan.stride;
  const double* frac = plan.positions.data();
  const std::uint32_t* terms = plan.last_terms.data();
  std::uint64_t q[Dims];
  for (std::size_t i = 0, rest = begin; i < Dims; ++i) {
    q[i] = rest / plan.strides[i];
    rest -= q[i] * plan.strides[i];
  }
  for (std::uint64_t k = begin; k < end;) {
    const std::uint64_t m = std::min(plan.shape[LAST] - q[LAST], end - k);
    // The row's corner prefixes, split axis by axis as the general walk's.
    double weight[PREFIXES];
    double slope_weight[LAST ? LAST : 1][PREFIXES];
    std::uint32_t sum[PREFIXES];
    Sides sides[Dims];
    weight[0] = 1.0;
    for (std::size_t j = 0; j < LAST; ++j) slope_weight[j][0] = 1.0;
    sum[0] = static_cast<std::uint32_t>(g.sum_start());
    for (std::size_t i = 0, half = 1; i < LAST; ++i, half *= 2) {
      const AxisPoint& at = plan.places[i][q[i]];
      sides[i] = at.sides;
      const auto lower = static_cast<std::uint32_t>(g.term(i, at.cell));
      const auto upper = static_cast<std::uint32_t>(g.term(i, at.cell + 1));
      for (std::size_t j = 0; j < half; ++j) {
        sum[half + j] = sum[j] + upper;
        sum[j] = sum[j] + lower;
      }
      if constexpr (WithSlopes) {
        const Slopes by = slopes_at(at.sides.offset[0]);
        for (std::size_t j = 0; j < LAST; ++j) {
          Sides own = at.sides;
          if (j == i) own.weight[0] = by.slope[0], own.weight[1] = by.slope[1];
          formula::split<0>(slope_weight[j], half, own);
        }
      }
      formula::split<0>(weight, half, sides[i]);
    }
    for (std::uint64_t j = q[LAST], stop = q[LAST] + m; j < stop; j += Lanes) {
      V offset[2], side_weight[2];
      W term[2];
      table_lanes::load(offset[0], frac + j);
      table_lanes::load(offset[1], frac + stride + j);
      table_lanes::load(side_weight[0], frac + 2 * stride + j);
      table_lanes::load(side_weight[1], frac + 3 * stride + j);
      __builtin_memcpy(&term[0], terms + j, sizeof(W));
      __builtin_memcpy(&term[1], terms + stride + j, sizeof(W));
      V total{}, slope[2], derivative[Dims] = {};
      if constexpr (WithSlopes) {
        table_lanes::load(slope[0], frac + 4 * stride + j);
        table_lanes::load(slope[1], frac + 5 * stride + j);
      }
#pragma GCC unroll 16
      for (std::size_t c = 0; c < 2 * PREFIXES; ++c) {
        const std::size_t p = c % PREFIXES, side = c / PREFIXES;
        const W entry = mixed(sum[p] + term[side]) >> 24;
        double gathered[Dims][Lanes];
#pragma GCC unroll 8
        for (std::size_t lane = 0; lane < Lanes; ++lane) {
          const double* at = palette + entry[lane] * Dims;
#pragma GCC unroll 4
          for (std::size_t i = 0; i < Dims; ++i) gathered[i][lane] = at[i];
        }
        V gradient[Dims];
#pragma GCC unroll 4
        for (std::size_t i = 0; i < Dims; ++i) table_lanes::load(gradient[i], gathered[i]);
        V dot{};
#pragma GCC unroll 4
        for (std::size_t i = 0; i < LAST; ++i) {
          V o;
          table_lanes::splat(o, sides[i].offset[(p >> i) & 1]);
          dot_step(dot, dot, gradient[i], o);
        }
        dot_step(dot, dot, gradient[LAST], offset[side]);
        V prefix, w;
        table_lanes::splat(prefix, weight[p]);
        weight_step(w, prefix, side_weight[side]);
        term_step(total, w, dot);
        if constexpr (WithSlopes) {
#pragma GCC unroll 4
          for (std::size_t i = 0; i < LAST; ++i) {
            V by, dweight;
            table_lanes::splat(by, slope_weight[i][p]);
            weight_step(dweight, by, side_weight[side]);
            slope_step(derivative[i], dweight, dot, w, gradient[i]);
          }
          V dweight;
          weight_step(dweight, prefix, slope[side]);
          slope_step(derivative[LAST], dweight, dot, w, gradient[LAST]);
        }
      }
      const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(Lanes, stop - j));
      if constexpr (WithSlopes) {
        for (std::size_t lane = 0; lane < count; ++lane, out += Dims + 1) {
#pragma GCC unroll 4
          for (std::size_t i = 0; i < Dims; ++i) out[i] = derivative[i][lane];
          out[Dims] = total[lane];
        }
      } else if (count == Lanes) {
        table_lanes::store(out, total);
        out += count;
      } else {
        table_lanes::store_first(out, total, count);
        out += count;
      }
    }
    k += m;
    // The next row: the last axis from its start, the others carried.
    q[LAST] = 0;
    for (std::size_t i = LAST; i-- > 0;) {
      if (++q[i] < plan.shape[i]) break;
      q[i] = 0;
    }
  }
}

}  // namespace veldra::sparse_walk
