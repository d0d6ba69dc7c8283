// Which points a field evaluates, stated once: the checks that word a
// refusal, the screens of many points (at_points.cpp) and the SIMD lanes
// that screen points while evaluating them (FixedField::noise_lanes) all
// apply these comparisons.
//
// - An axis with walls takes coordinate x on an axis of d cells when
//   0 <= x <= d (d converted to a double); NaN is refused.
// - An axis that wraps or has no walls, in a field whose top octave scales
//   by L^(octaves - 1), takes x when |x| L^(octaves - 1) <= 2^52, the
//   product rounded: there every octave's scaled coordinate is at most
//   2^52 in magnitude, where a wrap is exact (lattice_bounds.cpp proves
//   it) and the cell and the fraction of an unbounded axis are. NaN and
//   infinities are refused.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>

#include "base/error.hpp"
#include "field/formula.hpp"
#include "field/instance.hpp"
#include "field/lattice_axis.hpp"

namespace veldra {

// Whether x lies in [0, upper]: for doubles a truth value, for SIMD
// vectors of doubles a mask per lane, from the same two IEEE comparisons.
template <typename T>
[[gnu::always_inline]] inline auto inside_axis(const T& x, const T& upper) {
  return (T{} <= x) & (x <= upper);
}

// The largest magnitude of a scaled coordinate on an axis without walls.
inline constexpr double OPEN_BOUND = 0x1p52;

// Whether `bounds` takes every coordinate of `point`, which has its n().
template <typename Bounds>
[[gnu::always_inline]] inline bool takes(const Bounds& bounds, std::span<const double> point) {
  if (point.size() != bounds.n()) return false;
  bool all = true;
  for (std::size_t i = 0; i < point.size(); ++i) all = all & bounds.accepts(i, point[i]);
  return all;
}

// The bounds of a field that does not wrap: [0, dims[i]] on axis i.
class LatticeBounds {
 public:
  // `dims` (1 to MAX_DIMS entries) must outlive this record.
  explicit LatticeBounds(std::span<const std::uint64_t> dims) : dims_(dims) {
    for (std::size_t i = 0; i < dims.size(); ++i) upper_[i] = static_cast<double>(dims[i]);
  }

  std::size_t n() const { return dims_.size(); }

  [[gnu::always_inline]] bool accepts(std::size_t axis, double x) const {
    return inside_axis(x, upper_[axis]);
  }

  // Success when `point` has n() coordinates, each accepted; otherwise
  // "Expected 2 coordinates, got 3" or "Coordinate 0 is -1, outside the
  // boundary [0, 4]" for the first refused.
  Status expect(std::span<const double> point) const {
    return takes(*this, point) ? Status{} : refusal(point);
  }

 private:
  // The words of expect's refusal of `point`.
  Status refusal(std::span<const double> point) const;

  std::span<const std::uint64_t> dims_;
  // The first n() entries: left unwritten beyond, as making this record is
  // part of every single point's check.
  std::array<double, MAX_DIMS> upper_;
};

// The bounds of a Field, an interval per axis: [0, dims[i]] for walls,
// [-reach, reach] otherwise, reach the largest x with fl(x top_scale) <=
// 2^52 (so that, rounding being monotonic, |x| <= reach exactly when
// fl(|x| top_scale) <= 2^52).
class FieldBounds {
 public:
  FieldBounds() = default;
  // `kinds` and `dims` have one entry per axis (1 to MAX_DIMS); top_scale
  // is L^(octaves - 1), at least 1.
  FieldBounds(std::span<const std::uint64_t> dims, std::span<const AxisKind> kinds, double top_scale);

  std::size_t n() const { return n_; }

  [[gnu::always_inline]] bool accepts(std::size_t axis, double x) const {
    return (lower_[axis] <= x) & (x <= upper_[axis]);
  }

  // Success when `point` has n() coordinates, each accepted; otherwise
  // the count refused as LatticeBounds::expect words it, or for the first
  // refused coordinate "Coordinate 0 is -1, outside the boundary [0, 4]"
  // (walls), "Coordinate 0 is nan, not a finite number", "Coordinate 1 is
  // 1e+300, beyond the periodic bound 2^52 / 32" (wrapping; no " / ..."
  // when top_scale is 1) or "Coordinate 1 is 1e+300, beyond the unbounded
  // field's reach 2^52 / 32" (no walls; the scale as a float when L is not
  // whole).
  Status expect(std::span<const double> point) const {
    return takes(*this, point) ? Status{} : refusal(point);
  }

 private:
  Status refusal(std::span<const double> point) const;

  std::size_t n_ = 0;
  std::array<double, MAX_DIMS> lower_{}, upper_{};
  std::array<std::uint64_t, MAX_DIMS> dims_{};
  std::array<AxisKind, MAX_DIMS> kinds_{};
  double top_scale_ = 1.0;
};

// How many coordinates of `count` points (n each, one after another)
// `bounds` refuses, N being n (0: n at run time): a sum without a branch
// per coordinate, which the compiler turns into SIMD code.
template <std::size_t N, typename Bounds>
std::uint64_t refused_among(const Bounds& bounds, const double* points, std::uint64_t count) {
  const std::size_t width = N ? N : bounds.n();
  std::uint64_t refused = 0;
  for (std::uint64_t i = 0; i < count; ++i) {
    formula::each<N>(width, [&](auto axis) { refused += !bounds.accepts(axis, points[i * width + axis]); });
  }
  return refused;
}

}  // namespace veldra
