#include "field/lattice_bounds.hpp"

#include <cmath>
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
// (octave_point). A coordinate is taken when fl(|x| L^(octaves - 1))
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
// of periods apart stop agreeing, so such points are refused. An
// unbounded axis places q in cell floor(q) at q - floor(q): both exact
// for |q| <= 2^52, where the cell fits a 64-bit index.
namespace {

// The largest x >= 0 with fl(x * scale) <= OPEN_BOUND: from the rounded
// quotient, stepped to the last float that passes (the product rounds
// monotonically in x).
double reach_of(double scale) {
  double x = OPEN_BOUND / scale;
  while (x * scale > OPEN_BOUND) x = std::nextafter(x, 0.0);
  while (std::nextafter(x, INFINITY) * scale <= OPEN_BOUND) x = std::nextafter(x, INFINITY);
  return x;
}

// top_scale as the refusal names it: a whole number, or the shortest float.
std::string scale_text(double scale) {
  if (scale == std::floor(scale) && scale < 0x1p64) return std::to_string(static_cast<std::uint64_t>(scale));
  return plain_float(scale);
}

}  // namespace

FieldBounds::FieldBounds(std::span<const std::uint64_t> dims, std::span<const AxisKind> kinds,
                         double top_scale)
    : n_(dims.size()), top_scale_(top_scale) {
  const double reach = reach_of(top_scale);
  for (std::size_t i = 0; i < n_; ++i) {
    dims_[i] = dims[i];
    kinds_[i] = kinds[i];
    lower_[i] = kinds[i] == AxisKind::Wall ? 0.0 : -reach;
    upper_[i] = kinds[i] == AxisKind::Wall ? static_cast<double>(dims[i]) : reach;
  }
}

Status FieldBounds::refusal(std::span<const double> point) const {
  if (auto counted = expect_count(n(), point); !counted) return counted;
  for (std::size_t i = 0; i < n(); ++i) {
    if (accepts(i, point[i])) continue;
    if (kinds_[i] == AxisKind::Wall) {
      return refused_coordinate(i, point[i],
                                "outside the boundary [0, " + std::to_string(dims_[i]) + "]");
    }
    if (!std::isfinite(point[i])) return refused_coordinate(i, point[i], "not a finite number");
    const std::string bound = top_scale_ == 1.0 ? "2^52" : "2^52 / " + scale_text(top_scale_);
    return refused_coordinate(i, point[i],
                              kinds_[i] == AxisKind::Wrap ? "beyond the periodic bound " + bound
                                                          : "beyond the unbounded field's reach " + bound);
  }
  return internal_error("A point the bounds take was refused");
}

}  // namespace veldra
