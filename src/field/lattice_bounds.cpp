#include "field/lattice_bounds.hpp"

#include <string>

#include "base/float_text.hpp"

namespace veldra {
namespace {

Status expect_count(std::size_t n, std::span<const double> point) {
  if (point.size() == n) return {};
  return invalid_input("Expected " + std::to_string(n) + " coordinates, got " +
                       std::to_string(point.size()));
}

std::unexpected<Error> refused_coordinate(std::size_t axis, double x, const std::string& why) {
  return invalid_input("Coordinate " + std::to_string(axis) + " is " + plain_float(x) + ", " + why);
}

}  // namespace

Status LatticeBounds::refusal(std::span<const double> point) const {
  if (auto counted = expect_count(n(), point); !counted) return counted;
  for (std::size_t i = 0; i < n(); ++i) {
    if (!accepts(i, point[i])) {
      return refused_coordinate(i, point[i],
                                "outside the boundary [0, " + std::to_string(dims_[i]) + "]");
    }
  }
  return internal_error("A point the bounds take was refused");
}

// The periodic bound. Octave k wraps its coordinate q = fl(x L^k) on its d
// = dims[i] L^k cells as r = q - f d with f = floor(fl(q / d))
// (octave_coordinate). A coordinate is taken when fl(|x| L^(octaves - 1))
// <= 2^52; rounding being monotonic, every octave's |q| is then at most
// 2^52. On a lattice of at most 2^53 cells (d exact as a float):
// - f is 0 when 0 <= q < d (1 - 2^-53); otherwise f d lies within d of q
//   (fl(q / d) is within half an ulp of q / d, and a whole number met on
//   the way is a float), and when q >= 0 it is at most q (1 + 2^-53): an
//   integer of at most 2^53 in magnitude, computed exactly.
// - For q >= 0, r = q - f d is a multiple of q's ulp (at most 1) no larger
//   than q in magnitude, hence exact: the wrapped coordinate is q less f
//   whole periods, exactly. For q < 0, r = q + |f| d lies in [0, d] and is
//   the one rounding of the wrap.
// Past the bound f d rounds (from 2^53 on), and x L^k overflows to
// infinity (then NaN) for the largest x: copies of a point a whole number
// of periods apart stop agreeing, so such points are refused.
Status PeriodicBounds::refusal(std::span<const double> point) const {
  if (auto counted = expect_count(n(), point); !counted) return counted;
  for (std::size_t i = 0; i < n(); ++i) {
    if (!std::isfinite(point[i])) {
      return refused_coordinate(i, point[i], "not a finite number");
    }
    if (!accepts(i, point[i])) {
      const auto power = static_cast<std::uint64_t>(top_scale_);
      return refused_coordinate(
          i, point[i],
          "beyond the periodic bound 2^52" + (power == 1 ? "" : " / " + std::to_string(power)));
    }
  }
  return internal_error("A point the bounds take was refused");
}

}  // namespace veldra
