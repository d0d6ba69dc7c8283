// One octave of a Field: a lattice of dims[i] * L^k cells, evaluated at a
// point scaled by L^k, with the formula of field/formula.hpp. Octave 0's
// gradients are the stored lattice of an Instance; a higher octave's come
// from its lattice index (octave_entry), so it stores only a palette.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>
#include <type_traits>
#include <vector>

#include "field/formula.hpp"
#include "field/instance.hpp"
#include "field/lattice_axis.hpp"
#include "base/splitmix64.hpp"

namespace veldra {

// How many unit vectors a higher octave draws.
inline constexpr std::size_t OCTAVE_PALETTE = 256;

// The gradient rule of octaves k >= 1. Lattice index x (n entries, wrapped
// when periodic) under the octave's seed s is palette entry
//
//   h     = (lo(s) ^ hi(s)) + term_0(x_0) + ... + term_{n-1}(x_{n-1})
//   term_i(x) = lo(x) * A_i + hi(x) * B_i
//   entry = mix(h) >> 24
//
// in 32-bit words (every operation mod 2^32), lo and hi the low and high
// 32 bits of a 64-bit word, A_i and B_i the low and high halves of
// splitmix64_mix(2i + 1), each made odd, and mix the finaliser
// x ^= x >> 16; x *= 0x7feb352d; x ^= x >> 15; x *= 0x846ca68b; x ^= x >> 16.
// The terms are summed, not chained, so that the corners of a cell share
// their axes' terms and a corner costs one addition and the two
// multiplications of mix; 32-bit words let SIMD lanes compute it.
struct AxisFactors {
  std::uint32_t low, high;
};

inline constexpr std::array<AxisFactors, MAX_DIMS> AXIS_FACTORS = [] {
  std::array<AxisFactors, MAX_DIMS> factors{};
  for (std::size_t i = 0; i < MAX_DIMS; ++i) {
    const std::uint64_t z = splitmix64_mix(2 * i + 1);
    factors[i] = {static_cast<std::uint32_t>(z) | 1u, static_cast<std::uint32_t>(z >> 32) | 1u};
  }
  return factors;
}();

inline std::uint32_t seed_term(std::uint64_t seed) {
  return static_cast<std::uint32_t>(seed) ^ static_cast<std::uint32_t>(seed >> 32);
}

// term_i of an index given as its low and high halves; T is a 32-bit word,
// or a SIMD vector of them (one index per lane).
template <typename T>
[[gnu::always_inline]] inline T axis_term_of(std::size_t i, T low, T high) {
  return low * AXIS_FACTORS[i].low + high * AXIS_FACTORS[i].high;
}

inline std::uint32_t axis_term(std::size_t i, std::uint64_t x) {
  return axis_term_of(i, static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(x >> 32));
}

// mix(h), whose top 8 bits are the palette entry; T as for axis_term_of.
template <typename T>
[[gnu::always_inline]] inline T mixed(T h) {
  h ^= h >> 16;
  h *= 0x7feb352du;
  h ^= h >> 15;
  h *= 0x846ca68bu;
  h ^= h >> 16;
  return h;
}

inline std::size_t palette_entry(std::uint32_t h) { return mixed(h) >> 24; }

// The whole rule for one index.
inline std::size_t octave_entry(std::uint64_t seed, const std::uint64_t* index, std::size_t n) {
  std::uint32_t h = seed_term(seed);
  for (std::size_t i = 0; i < n; ++i) h += axis_term(i, index[i]);
  return palette_entry(h);
}

// Calls f with std::integral_constant<std::size_t, N>: N = n for the axis
// counts First to Last, which have unrolled evaluators (a field's points: 2
// to 4, the default; table walks: 1 to 4), N = 0 (n at run time) for the
// others. Inlined, like the callers' lambdas should be, so that f runs
// compiled for its caller's instruction set.
template <std::size_t First = 2, std::size_t Last = 4, typename F>
[[gnu::always_inline]] inline decltype(auto) with_fixed_axes(std::size_t n, F&& f) {
  static_assert(First >= 1);
  if constexpr (First > Last) {
    (void)n;
    return f(std::integral_constant<std::size_t, 0>{});
  } else {
    if (n == First) return f(std::integral_constant<std::size_t, First>{});
    return with_fixed_axes<First + 1, Last>(n, f);
  }
}

struct Octave {
  // Per axis: dims[i] * L^k, rounded up when L is not whole; the cells
  // that [0, dims[i]] covers.
  std::vector<std::uint64_t> cells;
  double scale = 1.0;                // L^k by repeated multiplication (exact when L is whole)
  double weight = 1.0;               // gain^k, by repeated multiplication
  std::uint64_t seed = 0;
  // OCTAVE_PALETTE unit vectors of n numbers (empty for octave 0, whose
  // gradients are the stored lattice).
  std::vector<double> palette;
};

// A scaled coordinate q wrapped into [0, cells]: q - floor(q / cells) *
// cells (lattice_bounds.cpp shows where this is exact).
inline double wrapped(double q, std::uint64_t cells) {
  const double d = static_cast<double>(cells);
  return q - std::floor(q / d) * d;
}

// Where coordinate x of a point lies on axis i of an octave: scaled by
// the octave's L^k, then wrapped into [0, cells] on a periodic axis
// (q - floor(q / cells) * cells; `cells` itself stands for 0, whose
// neighbourhood it repeats) and placed by locate_on_axis, or on an
// unbounded axis placed by locate_open.
inline AxisPoint octave_point(double x, double scale, std::uint64_t cells, AxisKind kind) {
  const double q = x * scale;
  if (kind == AxisKind::Open) return locate_open(q);
  return locate_on_axis(kind == AxisKind::Wrap ? wrapped(q, cells) : q, cells);
}

// The gradients of one octave's lattice, looked up by per-axis index
// (on a wrapped axis index cells[i] is index 0).
class OctaveGradients {
 public:
  // `base` is the field's octave-0 lattice; both must outlive this record.
  // Bit i of `wraps` says that axis i wraps.
  OctaveGradients(const Instance& base, const Octave& octave, std::uint32_t wraps)
      : base_(base.gradients().data()),
        strides_(base.strides().data()),
        palette_(octave.palette.empty() ? nullptr : octave.palette.data()),
        cells_(octave.cells.data()),
        seed_(octave.seed),
        n_(base.n()),
        wraps_(wraps) {}

  // The gradient (n numbers) at `index` (n entries, each at most cells[i]);
  // N is n, or 0 for n at run time.
  template <std::size_t N = 0>
  const double* at(const std::uint64_t* index) const {
    std::uint64_t sum = sum_start();
    for (std::size_t i = 0; i < (N ? N : n_); ++i) sum += term(i, index[i]);
    return gradient_of(sum);
  }

  // The rule as a sum over the axes, for walks that share the terms of
  // the axes they hold still: the gradient at index x is
  // gradient_of(sum_start() + term(0, x_0) + ... + term(n-1, x_{n-1})),
  // the sum wrapping mod 2^64 (octave_entry's 32-bit sum is its low half;
  // the stored lattice's is the offset of x).
  std::uint64_t sum_start() const { return palette_ ? seed_term(seed_) : 0; }
  std::uint64_t term(std::size_t i, std::uint64_t index) const {
    if (wraps(i) && index == cells_[i]) index = 0;
    return palette_ ? axis_term(i, index) : index * strides_[i];
  }
  const double* gradient_of(std::uint64_t sum) const {
    return palette_ ? palette_ + palette_entry(static_cast<std::uint32_t>(sum)) * n_ : base_ + sum * n_;
  }
  std::size_t n() const { return n_; }
  // The palette (OCTAVE_PALETTE unit vectors), or null for the stored lattice.
  const double* palette() const { return palette_; }
  bool wraps(std::size_t i) const { return (wraps_ >> i) & 1; }
  std::uint64_t cells(std::size_t i) const { return cells_[i]; }

  // The evaluators of a point placed on the octave's lattice: the cell
  // whose lowest corner is `lowest` (n entries) and the point's Sides
  // there, from octave_point; N is n, or 0 for n at run time. With N fixed
  // no corner is skipped (the same total), so the loops take no branch.

  // The derivative along each axis (per lattice unit) into out[0 .. n),
  // and the noise, returned: formula::derivative (the Sides' offset[0] is
  // the fraction f).
  template <std::size_t N>
  double derivative_in(const std::uint64_t* lowest, const Sides* axes, double* out) const {
    Slopes slopes[MAX_DIMS];
    for (std::size_t i = 0; i < (N ? N : n_); ++i) {
      slopes[i] = slopes_at(axes[i].offset[0]);
      out[i] = 0.0;
    }
    double value = 0.0;
    formula::derivative<N>(n_, axes, slopes, corners<N>(lowest), value, out);
    return value;
  }

  // The pull, summed into sum[0 .. n), which holds +0.0 on entry.
  template <std::size_t N>
  void pull_in(const std::uint64_t* lowest, const Sides* axes, double* sum) const {
    formula::pull<N>(n_, axes, corners<N>(lowest), sum);
  }

  // The noise.
  template <std::size_t N>
  double noise_in(const std::uint64_t* lowest, const Sides* axes) const {
    const double one = 1.0;
    return formula::noise<N>(n_, axes, &one, corners<N>(lowest));
  }

 private:
  // The formula's gradient(c) for the cell whose lowest corner is `lowest`.
  // With N fixed, every corner's gradient is found at once, the way
  // formula::split forms weights: axis by axis, each partial sum split into
  // its lower and upper side, so that corners share the work of the axes
  // before; with N = 0 (up to 2^16 corners), one at a time.
  template <std::size_t N>
  auto corners(const std::uint64_t* lowest) const {
    if constexpr (N == 0) {
      return [this, lowest](std::uint64_t c) {
        std::uint64_t index[MAX_DIMS];
        for (std::size_t i = 0; i < n_; ++i) index[i] = lowest[i] + ((c >> i) & 1);
        return at<0>(index);
      };
    } else {
      std::array<std::uint64_t, std::size_t{1} << N> partial;
      partial[0] = sum_start();
      for (std::size_t i = 0, count = 1; i < N; ++i, count *= 2) {
        for (std::size_t side = 2; side-- > 0;) {
          const std::uint64_t t = term(i, lowest[i] + side);
          for (std::size_t j = 0; j < count; ++j) partial[j + side * count] = partial[j] + t;
        }
      }
      std::array<const double*, std::size_t{1} << N> gradients;
      for (std::size_t c = 0; c < gradients.size(); ++c) gradients[c] = gradient_of(partial[c]);
      return [gradients](std::uint64_t c) { return gradients[c]; };
    }
  }

  const double* base_;
  const std::uint64_t* strides_;
  const double* palette_;
  const std::uint64_t* cells_;
  std::uint64_t seed_;
  std::size_t n_;
  std::uint32_t wraps_;
};

}  // namespace veldra
