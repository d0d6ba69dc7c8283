// The hot formula of the table fill: the noise at consecutive positions of
// one cell along the last axis, one position per SIMD lane. Included only by
// table_fill.cpp, which instantiates it once per instruction set; every
// function here is inlined into those instantiations, so it is compiled for
// their instruction set.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

#include "field/formula.hpp"

namespace veldra::table_lanes {

using veldra::dot_step;
using veldra::slope_step;
using veldra::term_step;
using veldra::weight_step;

template <std::size_t Lanes>
struct LanesOf {
  typedef double type __attribute__((vector_size(Lanes * sizeof(double))));
};
// `Lanes` doubles; every operator works lane by lane with the IEEE operation
// of its scalar counterpart (no fused multiply-add: -ffp-contract=off).
template <std::size_t Lanes>
using Vec = typename LanesOf<Lanes>::type;

// Vectors are passed by reference only: these functions are always
// inlined, and by-value vectors would draw ABI warnings for the widths the
// baseline instruction set lacks.
template <typename V>
[[gnu::always_inline]] inline void load(V& v, const double* from) {
  __builtin_memcpy(&v, from, sizeof v);
}

template <typename V>
[[gnu::always_inline]] inline void store(double* to, const V& v) {
  __builtin_memcpy(to, &v, sizeof v);
}

// Stores the first `lanes` lanes of v.
template <typename V>
[[gnu::always_inline]] inline void store_first(double* to, const V& v, std::size_t lanes) {
  for (std::size_t lane = 0; lane < lanes; ++lane) to[lane] = v[lane];
}

// The last axis at consecutive cell offsets: four lists indexed alike.
struct Positions {
  const double* frac;            // the fraction f
  const double* frac_minus_one;  // f - 1.0, the offset from the upper side
  const double* lower;           // 1.0 - fade(f), the weight of the lower side
  const double* upper;           // fade(f), the weight of the upper side
};

// The corners of one cell, split by their side on the last axis. Entry j
// stands for the corner prefix (the sides on axes 0 .. n-2) prefix[j]:
// `weight` is its weight over those axes, and for the lower (lo) and upper
// (hi) intersection along the last axis, `dot` is the dot product over those
// axes and `grad` the gradient's last component.
struct Corners {
  const double* weight;
  const double* lo_dot;
  const double* lo_grad;
  const double* hi_dot;
  const double* hi_grad;
  std::size_t count;
  // Optionally, weight[p] * (1 - fade) and weight[p] * fade at the cell
  // offsets of the Positions lists, prefix p's list at p * weighted_stride.
  const double* lower_weighted = nullptr;
  const double* upper_weighted = nullptr;
  std::size_t weighted_stride = 0;
};

// Writes `v` into every lane of `to`. Spelled as a braced list, which the
// compiler turns into one broadcast (or a broadcast operand).
template <typename V>
[[gnu::always_inline]] inline void splat(V& to, double v) {
  constexpr std::size_t LANES = sizeof(V) / sizeof(double);
  static_assert(LANES == 2 || LANES == 4 || LANES == 8);
  if constexpr (LANES == 2) {
    to = V{v, v};
  } else if constexpr (LANES == 4) {
    to = V{v, v, v, v};
  } else {
    to = V{v, v, v, v, v, v, v, v};
  }
}

// Keeps the compiler from evaluating the sums one after the other: each
// step of every sum is emitted before the next step of any, so that the
// processor has independent additions to overlap. Changes no value.
// Clang (the fuzzing build) cannot place a wide vector in the register
// class of a narrower target, so there the hint is left out.
template <typename V, std::size_t Blocks>
[[gnu::always_inline]] inline void interleave([[maybe_unused]] V (&total)[Blocks]) {
#if !defined(__clang__)
#pragma GCC unroll 8
  for (std::size_t b = 0; b < Blocks; ++b) asm("" : "+v"(total[b]));
#endif
}

// The numbers of a cell's corners in every lane, broadcast once per cell
// rather than once per block of positions: Count fixed prefixes' weights,
// dot products and last gradient components. With Count = 0 (a number of
// prefixes known only at run time) nothing is kept and Sums broadcasts each
// number as it comes.
template <std::size_t Count, typename V>
struct CellLanes {
  V weight[Count], lo_dot[Count], lo_grad[Count], hi_dot[Count], hi_grad[Count];

  [[gnu::always_inline]] explicit CellLanes(const Corners& c) {
#pragma GCC unroll 8
    for (std::size_t p = 0; p < Count; ++p) {
      splat(weight[p], c.weight[p]);
      splat(lo_dot[p], c.lo_dot[p]);
      splat(lo_grad[p], c.lo_grad[p]);
      splat(hi_dot[p], c.hi_dot[p]);
      splat(hi_grad[p], c.hi_grad[p]);
    }
  }
};
template <typename V>
struct CellLanes<0, V> {
  explicit CellLanes(const Corners&) {}
};

// The noise at Blocks registers of V of consecutive positions, lane by
// lane.
//
// Per lane these are the steps of field/formula.hpp, the last axis's taken
// here from the prefix's weight and dot, over the corners in increasing
// order (all lower-side corners first, as the last axis is the highest
// bit). Corners of weight 0 are not skipped, which changes nothing (see
// there).
template <std::size_t Blocks, typename V, bool Weighted>
struct Sums {
  static constexpr std::size_t LANES = sizeof(V) / sizeof(double);
  V frac[Blocks], frac_minus_one[Blocks], lower[Blocks], upper[Blocks], total[Blocks];
  std::size_t j;

  // Starts the sums at +0 for the positions j, j + 1, ... of `at`.
  [[gnu::always_inline]] Sums(const Positions& at, std::size_t first) : j(first) {
#pragma GCC unroll 8
    for (std::size_t b = 0; b < Blocks; ++b) {
      load(frac[b], at.frac + j + b * LANES);
      load(frac_minus_one[b], at.frac_minus_one + j + b * LANES);
      if constexpr (!Weighted) {
        load(lower[b], at.lower + j + b * LANES);
        load(upper[b], at.upper + j + b * LANES);
      }
      total[b] = V{};
    }
  }

  // Adds the term of one corner: its `weight`, prefix dot `dot`, last
  // gradient component `grad` (each in every lane), and offset from its
  // side on the last axis.
  [[gnu::always_inline]] void add(const V (&weight)[Blocks], const V& dot, const V& grad,
                                  const V (&offset)[Blocks]) {
#pragma GCC unroll 8
    for (std::size_t b = 0; b < Blocks; ++b) {
      V sum;
      dot_step(sum, dot, grad, offset[b]);
      term_step(total[b], weight[b], sum);
    }
    interleave(total);
  }

  // The weight of a corner: prefix weight (in every lane) * side weight,
  // computed here or read from the lists where the same products were
  // formed.
  [[gnu::always_inline]] void weight_of(const V& prefix, const V (&side)[Blocks],
                                        const double* formed, V (&weight)[Blocks]) const {
#pragma GCC unroll 8
    for (std::size_t b = 0; b < Blocks; ++b) {
      if constexpr (Weighted) {
        load(weight[b], formed + j + b * LANES);
      } else {
        weight_step(weight[b], prefix, side[b]);
      }
    }
  }

  // The corner of prefix p on the lower and on the upper side of the cell,
  // its numbers (weight, dot, grad) given in every lane.
  [[gnu::always_inline]] void add_lower(const Corners& c, std::size_t p, const V& weight,
                                        const V& dot, const V& grad) {
    V weights[Blocks];
    weight_of(weight, lower, c.lower_weighted + p * c.weighted_stride, weights);
    add(weights, dot, grad, frac);
  }
  [[gnu::always_inline]] void add_upper(const Corners& c, std::size_t p, const V& weight,
                                        const V& dot, const V& grad) {
    V weights[Blocks];
    weight_of(weight, upper, c.upper_weighted + p * c.weighted_stride, weights);
    add(weights, dot, grad, frac_minus_one);
  }

  // Adds every corner of a fixed number of prefixes, their numbers
  // broadcast once per cell.
  template <std::size_t Count>
  [[gnu::always_inline]] void add_all(const Corners& c, const CellLanes<Count, V>& lanes) {
    add_fixed(c, lanes, std::make_index_sequence<Count>{});
  }
  template <std::size_t Count, std::size_t... P>
  [[gnu::always_inline]] void add_fixed(const Corners& c, const CellLanes<Count, V>& lanes,
                                        std::index_sequence<P...>) {
    (add_lower(c, P, lanes.weight[P], lanes.lo_dot[P], lanes.lo_grad[P]), ...);
    (add_upper(c, P, lanes.weight[P], lanes.hi_dot[P], lanes.hi_grad[P]), ...);
  }

  // Adds every corner of c.count prefixes, broadcasting their numbers as
  // they come.
  [[gnu::always_inline]] void add_all(const Corners& c, const CellLanes<0, V>&) {
    V weight{}, dot{}, grad{};
    for (std::size_t p = 0; p < c.count; ++p) {
      if constexpr (!Weighted) splat(weight, c.weight[p]);
      splat(dot, c.lo_dot[p]);
      splat(grad, c.lo_grad[p]);
      add_lower(c, p, weight, dot, grad);
    }
    for (std::size_t p = 0; p < c.count; ++p) {
      if constexpr (!Weighted) splat(weight, c.weight[p]);
      splat(dot, c.hi_dot[p]);
      splat(grad, c.hi_grad[p]);
      add_upper(c, p, weight, dot, grad);
    }
  }

  // Writes the first `count` lanes of the sums to `out`.
  [[gnu::always_inline]] void store_to(double* __restrict out, std::size_t count) const {
#pragma GCC unroll 8
    for (std::size_t b = 0; b < Blocks; ++b) {
      if (count >= (b + 1) * LANES) {
        store(out + b * LANES, total[b]);
      } else if (count > b * LANES) {
        store_first(out + b * LANES, total[b], count - b * LANES);
      }
    }
  }
};

// Writes to out[0 .. count) the noise at `count` (at most Blocks * lanes of
// V) consecutive positions of `at` from offset j.
template <std::size_t Count, std::size_t Blocks, typename V, bool Weighted>
[[gnu::always_inline]] inline void noise(const Corners& corners, const CellLanes<Count, V>& lanes,
                                         const Positions& at, std::size_t j, std::size_t count,
                                         double* __restrict out) {
  Sums<Blocks, V, Weighted> sums(at, j);
  sums.add_all(corners, lanes);
  sums.store_to(out, count);
}

// Writes the noise at `count` consecutive positions of `at` to out[0 ..
// count): blocks of Blocks registers of V, then one block of as many
// registers as the rest needs. `Count` is the number of corner prefixes
// when it is fixed (0: corners.count); with Weighted, the corner weights
// are read from corners' lists. The lists of `at` (and the weighted ones)
// are readable for Blocks / 2 registers past `count`.
template <std::size_t Count, std::size_t Blocks, typename V, bool Weighted>
[[gnu::always_inline]] inline void fill_cell(const Corners& corners, const Positions& at,
                                             std::size_t count, double* __restrict out) {
  constexpr std::size_t LANES = sizeof(V) / sizeof(double);
  const CellLanes<Count, V> lanes(corners);
  std::size_t j = 0;
  for (; j + Blocks * LANES <= count; j += Blocks * LANES) {
    noise<Count, Blocks, V, Weighted>(corners, lanes, at, j, Blocks * LANES, out + j);
  }
  const std::size_t rest = count - j;
  if (rest == 0) return;
  const std::size_t registers = (rest + LANES - 1) / LANES;
  if constexpr (Blocks > 1) {
    if (registers > Blocks / 2) {
      return noise<Count, Blocks, V, Weighted>(corners, lanes, at, j, rest, out + j);
    }
  }
  if constexpr (Blocks > 2) {
    if (registers > 1) return noise<Count, Blocks / 2, V, Weighted>(corners, lanes, at, j, rest, out + j);
  }
  noise<Count, 1, V, Weighted>(corners, lanes, at, j, rest, out + j);
}

// `*from` in every lane of `to`, read as one number. The walk has just
// stored a cell's numbers one by one; left to itself GCC reads several at
// once as a vector and shuffles them apart, a read that waits for those
// stores to reach the cache instead of taking their values, on every
// cell. Spelled as a shuffle of a vector holding the one number, each
// stays a read of its own.
template <typename V>
[[gnu::always_inline]] inline void splat_one(V& to, const double* from) {
#if defined(__clang__)
  splat(to, *from);
#else
  typedef long long Mask __attribute__((vector_size(sizeof(V))));
  V one{};
  one[0] = *from;
  to = __builtin_shuffle(one, Mask{});
#endif
}

// The derivative's kernel: at consecutive positions of one cell along the
// last axis, one position per lane, the noise and its derivative along
// every axis. The cell's corners for an octave of Dims axes, split by their
// side on the last axis as in Corners; besides each prefix's weight, its
// slope weight along each axis j < Dims - 1 (the same product with axis
// j's side weight replaced by its slope) at dweight[j * count + p], and
// each prefix's whole gradient at the lower and upper intersection,
// component i of prefix p at grad[i * count + p].
struct SlopeCorners {
  const double* weight;
  const double* dweight;
  const double* lo_dot;
  const double* lo_grad;
  const double* hi_dot;
  const double* hi_grad;
  std::size_t count;
};

// The last axis's positions with the slopes of its side weights: -fade'(f)
// for the lower side, fade'(f) for the upper.
struct SlopePositions : Positions {
  const double* lower_slope;
  const double* upper_slope;
};

// The noise and the Dims derivatives at Blocks registers of V of
// consecutive positions, lane by lane: formula::derivative's steps, the
// last axis's taken here from the prefix's numbers, over the corners in
// increasing order (all lower-side corners first). Each corner's
//   weight = weight[p] * side,  dot = prefix dot + g_last * offset
// adds weight * dot to the value, and for axis j < Dims - 1 the slope
// weight dweight[j][p] * side, for the last axis weight[p] * slope, into
// its derivative with slope_step.
template <std::size_t Dims, std::size_t Blocks, typename V>
struct SlopeSums {
  static constexpr std::size_t LANES = sizeof(V) / sizeof(double);
  static constexpr std::size_t COUNT = std::size_t{1} << (Dims - 1);
  V total[Blocks], d[Dims][Blocks];

  [[gnu::always_inline]] SlopeSums() {
#pragma GCC unroll 8
    for (std::size_t b = 0; b < Blocks; ++b) {
      total[b] = V{};
#pragma GCC unroll 4
      for (std::size_t i = 0; i < Dims; ++i) d[i][b] = V{};
    }
  }

  // The corner of prefix p on one side of the last axis: `dot` and `grad`
  // are that side's prefix dots and gradients, `offset`, `side` and `slope`
  // its positions' offsets, side weights and their slopes.
  [[gnu::always_inline]] void add(const SlopeCorners& c, std::size_t p, const double* dot,
                                  const double* grad, const V (&offset)[Blocks],
                                  const V (&side)[Blocks], const V (&slope)[Blocks]) {
    V prefix, last, base, weight[Blocks], sum[Blocks];
    splat_one(prefix, c.weight + p);
    splat_one(last, grad + (Dims - 1) * COUNT + p);
    splat_one(base, dot + p);
#pragma GCC unroll 8
    for (std::size_t b = 0; b < Blocks; ++b) {
      weight_step(weight[b], prefix, side[b]);
      dot_step(sum[b], base, last, offset[b]);
      term_step(total[b], weight[b], sum[b]);
    }
#pragma GCC unroll 4
    for (std::size_t j = 0; j + 1 < Dims; ++j) {
      V dprefix, g;
      splat_one(dprefix, c.dweight + j * COUNT + p);
      splat_one(g, grad + j * COUNT + p);
#pragma GCC unroll 8
      for (std::size_t b = 0; b < Blocks; ++b) {
        V dweight;
        weight_step(dweight, dprefix, side[b]);
        slope_step(d[j][b], dweight, sum[b], weight[b], g);
      }
    }
#pragma GCC unroll 8
    for (std::size_t b = 0; b < Blocks; ++b) {
      V dweight;
      weight_step(dweight, prefix, slope[b]);
      slope_step(d[Dims - 1][b], dweight, sum[b], weight[b], last);
    }
    interleave(total);
  }

  // Every corner at positions j, j + 1, ... of `at`: the lower side's,
  // then the upper side's, each side's lists read for its corners.
  [[gnu::always_inline]] void add_all(const SlopeCorners& c, const SlopePositions& at,
                                      std::size_t j) {
    const double* lists[2][3] = {{at.frac, at.lower, at.lower_slope},
                                 {at.frac_minus_one, at.upper, at.upper_slope}};
    const double* dots[2] = {c.lo_dot, c.hi_dot};
    const double* grads[2] = {c.lo_grad, c.hi_grad};
#pragma GCC unroll 2
    for (std::size_t s = 0; s < 2; ++s) {
      V offset[Blocks], side[Blocks], slope[Blocks];
#pragma GCC unroll 8
      for (std::size_t b = 0; b < Blocks; ++b) {
        load(offset[b], lists[s][0] + j + b * LANES);
        load(side[b], lists[s][1] + j + b * LANES);
        load(slope[b], lists[s][2] + j + b * LANES);
      }
#pragma GCC unroll 8
      for (std::size_t p = 0; p < COUNT; ++p) add(c, p, dots[s], grads[s], offset, side, slope);
    }
  }

  // Writes the first `count` positions' Dims + 1 numbers (the
  // derivatives, then the value) to out, position by position.
  [[gnu::always_inline]] void store_to(double* __restrict out, std::size_t count) const {
    double lanes[Dims + 1][Blocks * LANES];
#pragma GCC unroll 8
    for (std::size_t b = 0; b < Blocks; ++b) {
#pragma GCC unroll 4
      for (std::size_t i = 0; i < Dims; ++i) store(lanes[i] + b * LANES, d[i][b]);
      store(lanes[Dims] + b * LANES, total[b]);
    }
    for (std::size_t t = 0; t < count; ++t) {
#pragma GCC unroll 5
      for (std::size_t i = 0; i <= Dims; ++i) out[t * (Dims + 1) + i] = lanes[i][t];
    }
  }
};

// The derivatives and the noise at `count` (at most Blocks * lanes of V)
// consecutive positions of `at` from offset j into out.
template <std::size_t Dims, std::size_t Blocks, typename V>
[[gnu::always_inline]] inline void slopes(const SlopeCorners& corners, const SlopePositions& at,
                                          std::size_t j, std::size_t count,
                                          double* __restrict out) {
  SlopeSums<Dims, Blocks, V> sums;
  sums.add_all(corners, at, j);
  sums.store_to(out + j * (Dims + 1), count);
}

// Writes to out[0 .. count * (Dims + 1)) the derivatives and the noise at
// `count` consecutive positions of `at` in blocks of Blocks registers of V,
// then the rest in as few registers as it needs. The lists of `at` are
// readable as fill_cell's.
template <std::size_t Dims, std::size_t Blocks, typename V>
[[gnu::always_inline]] inline void fill_cell_slopes(const SlopeCorners& corners,
                                                    const SlopePositions& at, std::size_t count,
                                                    double* __restrict out) {
  constexpr std::size_t LANES = sizeof(V) / sizeof(double);
  constexpr std::size_t STEP = Blocks * LANES;
  std::size_t j = 0;
  for (; j + STEP <= count; j += STEP) slopes<Dims, Blocks, V>(corners, at, j, STEP, out);
  const std::size_t rest = count - j;
  if (rest == 0) return;
  if constexpr (Blocks > 1) {
    if (rest > LANES) return slopes<Dims, Blocks, V>(corners, at, j, rest, out);
  }
  slopes<Dims, 1, V>(corners, at, j, rest, out);
}

}  // namespace veldra::table_lanes
