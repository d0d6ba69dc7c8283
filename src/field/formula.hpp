// The noise of a point, for 1 to MAX_DIMS axes: the one definition that
// every evaluator of a field is assembled from (the general walk, the
// fixed axis counts, slices, table rows and columns in SIMD lanes, the
// pull). They differ only in which intermediate results they share.
//
// A point lies in one cell of the lattice, at offset f_i from the cell's
// lower side on axis i. Bit i of corner c says whether c lies on the upper
// side of axis i. With s_i = 1.0 - fade(f_i) on the lower side and
// fade(f_i) on the upper, o_i = f_i on the lower side and f_i - 1.0 on the
// upper, and g the corner's gradient:
//
//   weight(c) = (...((1.0 * s_0) * s_1) ...) * s_{n-1}
//   dot(c)    = (...((0.0 + g_0 * o_0) + g_1 * o_1) ...) + g_{n-1} * o_{n-1}
//   noise     = sum from +0.0 of weight(c) * dot(c), c = 0, 1, ..., 2^n - 1
//   pull      = sum from +0.0 of weight(c) * g, component by component
//
// where the sums leave out corners of weight 0. The derivative along axis
// j replaces axis j's side weight by its slope, s'_j = -fade'(f_j) on the
// lower side and fade'(f_j) on the upper (fade' below), and adds the
// pull's component:
//
//   dweight_j(c)  = (...((1.0 * s_0) * s_1) ... * s'_j) ...) * s_{n-1}
//   derivative_j  = sum from +0.0 of (dweight_j(c) * dot(c) + weight(c) * g_j),
//                   c = 0, 1, ..., 2^n - 1
//
// which no corner is left out of: a corner of weight 0 (a fade that
// rounded to 1) may have a slope that is not 0. Every evaluator performs
// exactly these IEEE operations in exactly this order (the steps below),
// so all of them agree bit for bit.
//
// Leaving a term of weight 0 in instead (as the SIMD lanes do, so as not
// to branch) changes nothing: with a finite dot the term is +0 or -0, and
// the total is never -0 (it starts at +0, and a round-to-nearest sum is -0
// only when both addends are), so adding the term leaves it as it was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>

namespace veldra {

// The quintic fade 6t^5 - 15t^4 + 10t^3, bracketed exactly as written so
// that every build rounds it the same way. T is double, or a SIMD vector
// of doubles (one point per lane) whose operators work lane by lane.
template <typename T>
[[gnu::always_inline]] inline T fade(T t) {
  return (t * (t * t)) * (t * (t * 6.0 - 15.0) + 10.0);
}

// The slope of the fade, fade'(t) = 30t^2 (t - 1)^2, bracketed as written.
template <typename T>
[[gnu::always_inline]] inline T fade_slope(T t) {
  const T below = t - 1.0;
  return ((t * t) * 30.0) * (below * below);
}

// A point's numbers on one axis of its cell; index 0 is the lower side,
// 1 the upper. With T a SIMD vector, one point's numbers per lane.
template <typename T>
struct SidesOf {
  T offset[2];  // f and f - 1.0
  T weight[2];  // 1.0 - fade(f) and fade(f)
};
using Sides = SidesOf<double>;

template <typename T>
[[gnu::always_inline]] inline SidesOf<T> sides_at(T f) {
  const T w = fade(f);
  return {{f, f - 1.0}, {1.0 - w, w}};
}

// The slopes of a point's side weights on one axis: -fade'(f) for the
// lower side, fade'(f) for the upper.
template <typename T>
struct SlopesOf {
  T slope[2];
};
using Slopes = SlopesOf<double>;

template <typename T>
[[gnu::always_inline]] inline SlopesOf<T> slopes_at(T f) {
  const T s = fade_slope(f);
  return {{-s, s}};
}

// `v` as a T: the number itself, or v in every lane of a vector.
template <typename T>
[[gnu::always_inline]] inline T broadcast(double v) {
  if constexpr (std::is_same_v<T, double>) {
    return v;
  } else {
    T lanes{};
    for (std::size_t lane = 0; lane < sizeof(T) / sizeof(double); ++lane) lanes[lane] = v;
    return lanes;
  }
}

// The three steps of the formula, for numbers and for SIMD vectors alike
// (vectors are passed by reference: by value they draw ABI warnings on
// instruction sets that lack them). `out` may be the first operand.

// A corner's weight after one more axis.
template <typename T, typename W, typename S>
[[gnu::always_inline]] inline void weight_step(T& out, const W& weight, const S& side) {
  out = weight * side;
}

// A corner's dot product after one more axis.
template <typename T, typename D, typename G, typename O>
[[gnu::always_inline]] inline void dot_step(T& out, const D& dot, const G& g, const O& offset) {
  out = dot + g * offset;
}

// The sum after one more corner (or, for the pull, one more component).
template <typename T, typename W, typename D>
[[gnu::always_inline]] inline void term_step(T& total, const W& weight, const D& dot) {
  total = total + weight * dot;
}

// A derivative's sum after one more corner: its slope-weighted dot plus
// its weighted gradient component.
template <typename T, typename S, typename D, typename W, typename G>
[[gnu::always_inline]] inline void slope_step(T& total, const S& dweight, const D& dot, const W& weight,
                                              const G& g) {
  total = total + (dweight * dot + weight * g);
}

namespace formula {

// Calls f(i) for i = 0 .. count - 1 in order: with Count fixed (not 0) as
// std::integral_constant, so that every index is known when compiling and
// small arrays stay in registers; with Count = 0, `count` times at run
// time.
template <std::size_t Count, typename F>
[[gnu::always_inline]] inline void each(std::size_t count, F&& f) {
  if constexpr (Count == 0) {
    for (std::size_t i = 0; i < count; ++i) f(i);
  } else {
    (void)count;
    [&]<std::size_t... I> [[gnu::always_inline]] (std::index_sequence<I...>) {
      (f(std::integral_constant<std::size_t, I>{}), ...);
    }(std::make_index_sequence<Count>{});
  }
}

// Splits `count` corner weights over the axes before axis i into 2 *
// count over the axes up to i: entry j + count is j's upper side, entry j
// its lower side. Starting from {1.0} this forms weight(c) axis by axis,
// the same product for every corner as the formula.
template <std::size_t Count, typename T>
[[gnu::always_inline]] inline void split(T* weights, std::size_t count, const Sides& axis) {
  each<Count>(count, [&](auto j) {
    weight_step(weights[count + j], weights[j], axis.weight[1]);
    weight_step(weights[j], weights[j], axis.weight[0]);
  });
}

// weight(c) at a point of N axes (N = 0: n at run time) whose weights over
// its first K axes are `prefix` (2^K entries; {1.0} with K = 0), `axes`
// holding the point's Sides.
template <std::size_t N, std::size_t K, typename C, typename T>
[[gnu::always_inline]] inline T weight_of(std::size_t n, const SidesOf<T>* axes,
                                          const double* prefix, C c) {
  static_assert(N == 0 ? K == 0 : K <= N);
  T weight = broadcast<T>(prefix[c & ((std::size_t{1} << K) - 1)]);
  each<N ? N - K : 0>((N ? N : n) - K, [&](auto rest) {
    const std::size_t i = K + rest;
    weight_step(weight, weight, axes[i].weight[(c >> i) & 1]);
  });
  return weight;
}

// The noise at a point of N axes (N = 0: n at run time), its weights over
// the first K axes given as in weight_of. gradient(c) is corner c's
// gradient: where the gradients come from is the caller's. Corners are
// passed as std::integral_constant when N is fixed. With Skip false no
// corner is left out (the same total, see the top of this file): for
// loops over many points, which then take no branch, and for SIMD vectors
// T of one point per lane, whose gradient(c)[i] gives each lane's
// component i.
template <std::size_t N, std::size_t K = 0, bool Skip = true, typename T, typename Gradient>
[[gnu::always_inline]] inline T noise(std::size_t n, const SidesOf<T>* axes, const double* prefix,
                                      Gradient&& gradient) {
  static_assert(!Skip || std::is_same_v<T, double>);
  T total{};
  each<N ? std::size_t{1} << N : 0>(std::size_t{1} << n, [&](auto c) {
    const T weight = weight_of<N, K>(n, axes, prefix, c);
    if constexpr (Skip) {
      if (weight == 0.0) return;
    }
    const auto g = gradient(c);
    T dot{};
    each<N>(n, [&](auto i) { dot_step(dot, dot, g[i], axes[i].offset[(c >> i) & 1]); });
    term_step(total, weight, dot);
  });
  return total;
}

// The pull at a point of N axes as `noise` places it, summed into sum[0 ..
// n), which holds +0.0 on entry. With Skip false no corner is left out
// (the same sums: a term of weight 0 adds +-0 to a sum that is never -0),
// for SIMD vectors T of one point per lane as in `noise`.
template <std::size_t N, bool Skip = true, typename T, typename Gradient>
[[gnu::always_inline]] inline void pull(std::size_t n, const SidesOf<T>* axes, Gradient&& gradient,
                                        T* sum) {
  static_assert(!Skip || std::is_same_v<T, double>);
  static constexpr double ONE = 1.0;
  each<N ? std::size_t{1} << N : 0>(std::size_t{1} << n, [&](auto c) {
    const T weight = weight_of<N, 0>(n, axes, &ONE, c);
    if constexpr (Skip) {
      if (weight == 0.0) return;
    }
    const auto g = gradient(c);
    each<N>(n, [&](auto j) { term_step(sum[j], weight, g[j]); });
  });
}

// The noise (into `value`, +0.0 on entry) and its derivative along every
// axis (into out[0 .. n), +0.0 on entry) at a point of N axes placed as
// `noise` places it, `slopes` holding each axis's SlopesOf. No corner is
// left out; T and gradient(c) as in `noise` with Skip false.
template <std::size_t N, typename T, typename Gradient>
[[gnu::always_inline]] inline void derivative(std::size_t n, const SidesOf<T>* axes,
                                              const SlopesOf<T>* slopes, Gradient&& gradient,
                                              T& value, T* out) {
  static constexpr double ONE = 1.0;
  each<N ? std::size_t{1} << N : 0>(std::size_t{1} << n, [&](auto c) {
    const T weight = weight_of<N, 0>(n, axes, &ONE, c);
    const auto g = gradient(c);
    T dot{};
    each<N>(n, [&](auto i) { dot_step(dot, dot, g[i], axes[i].offset[(c >> i) & 1]); });
    term_step(value, weight, dot);
    each<N>(n, [&](auto j) {
      T dweight = broadcast<T>(1.0);
      each<N>(n, [&](auto i) {
        const std::size_t side = (c >> i) & 1;
        weight_step(dweight, dweight, std::size_t{i} == std::size_t{j} ? slopes[i].slope[side] : axes[i].weight[side]);
      });
      slope_step(out[j], dweight, dot, weight, g[j]);
    });
  });
}

}  // namespace formula
}  // namespace veldra
