// One segment of a strand as it is stroked into a canvas: its ends, its
// stroke radius and opacity, and the pixels it can reach.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>

namespace veldra {

struct Stroke {
  double x0, y0, x1, y1;  // the ends, in pixel coordinates
  double dx, dy, len2;    // x1 - x0, y1 - y0 and dx^2 + dy^2
  double radius;          // Rd: the thin-stroke radius of 1, else w + 0.5
  double alpha;           // opacity, times the thin-stroke factor
  double ux, uy;          // (dx, dy) over its length; (1, 0) when that is 0 or not finite
  double length;          // sqrt(len2)
  double inverse_ux;      // 1 / ux (infinite for ux = 0, and then unused)
  double inverse_uy;
  bool bounded;           // whether reach() can bound the rows: a finite segment of some length
  double reach_radius;    // radius plus a margin far above the rounding of coverage and reach

  // The segment from (x0, y0) to (x1, y1) with stroke radius `radius` and
  // opacity `alpha`.
  static Stroke between(double x0, double y0, double x1, double y1, double radius, double alpha) {
    Stroke s;
    s.x0 = x0;
    s.y0 = y0;
    s.x1 = x1;
    s.y1 = y1;
    s.dx = x1 - x0;
    s.dy = y1 - y0;
    s.len2 = s.dx * s.dx + s.dy * s.dy;
    s.radius = radius;
    s.alpha = alpha;
    s.length = std::sqrt(s.len2);
    const bool direction = s.len2 > 0.0 && std::isfinite(s.length);
    const double ux = direction ? s.dx / s.length : 1.0;
    const double uy = direction ? s.dy / s.length : 0.0;
    s.ux = ux;
    s.uy = uy;
    s.inverse_ux = 1.0 / ux;
    s.inverse_uy = 1.0 / uy;
    const double extent = std::max({std::fabs(x0), std::fabs(y0), std::fabs(x1), std::fabs(y1)});
    s.reach_radius = radius + 1e-7 * (1.0 + extent + radius);
    s.bounded = direction && std::isfinite(s.reach_radius);
    return s;
  }

  // The coverage of the pixel centred at (px, py): the stroke radius minus
  // the distance from the centre to the segment, clamped to [0, 1]. Needs
  // len2 > 0.
  double coverage(double px, double py) const {
    const double t = std::clamp((dy * (py - y0) + dx * (px - x0)) / len2, 0.0, 1.0);
    const double ex = px - (dx * t + x0);
    const double ey = py - (dy * t + y0);
    const double dist = std::sqrt(ex * ex + ey * ey);
    return std::clamp(radius - dist, 0.0, 1.0);
  }

  // Bounds {low, high} on the centres px of the row of pixels centred at
  // `py` that coverage() can find above 0: every centre below low or above
  // high has none. Empty (low > high) when the row misses the stroke; the
  // bounds may be infinite, and are (-inf, inf) unless `bounded`. `py` must
  // be finite; the bounds are never NaN.
  std::array<double, 2> reach(double py) const;
};

// Narrows [low, high] to the interval between a and b, in either order
// (none of them NaN).
inline void narrow_between(double& low, double& high, double a, double b) {
  low = std::max(low, std::min(a, b));
  high = std::min(high, std::max(a, b));
}

// A centre closer to the segment than the radius lies within the radius of
// the segment's line and within the radius of the segment along that line:
// a rotated rectangle around the stroke, whose crossing with the row is
// found here for offsets x = px - x0. The margin in reach_radius absorbs
// the rounding of both this (multiplying by reciprocals included) and
// coverage(). With a finite segment and py nothing here is NaN.
inline std::array<double, 2> Stroke::reach(double py) const {
  if (!bounded) return {-INFINITY, INFINITY};
  const double r = reach_radius;
  const double y = py - y0;
  double low = -INFINITY;
  double high = INFINITY;
  // Across the line: |ux y - uy x| < r.
  const double across = ux * y;
  if (uy != 0.0) {
    narrow_between(low, high, (across - r) * inverse_uy, (across + r) * inverse_uy);
  } else if (!(std::fabs(across) < r)) {
    return {INFINITY, -INFINITY};
  }
  // Along it: -r < ux x + uy y < length + r.
  const double along = uy * y;
  if (ux != 0.0) {
    narrow_between(low, high, (-r - along) * inverse_ux, (length + r - along) * inverse_ux);
  } else if (!(-r < along && along < length + r)) {
    return {INFINITY, -INFINITY};
  }
  return {low + x0, high + x0};
}

}  // namespace veldra
