// How a noise value is folded into a height: by the relief, the globe and
// the octaves of a Field alike.
#pragma once

#include <cmath>
#include <cstdint>

namespace veldra {

enum class Shape : std::uint8_t { Smooth = 0, Billow = 1, Ridged = 2 };

// Applies a height shape to a raw noise value: v, |v| or -|v|.
inline double shaped(Shape shape, double v) {
  switch (shape) {
    case Shape::Smooth: return v;
    case Shape::Billow: return std::fabs(v);
    case Shape::Ridged: return -std::fabs(v);
  }
  return v;
}

// The derivative of shaped(shape, v) where v's derivative is e: e, e
// times the sign of v, or minus that; +0.0 at the fold, where v is 0.
inline double shaped_slope(Shape shape, double v, double e) {
  if (shape == Shape::Smooth) return e;
  const double along = shape == Shape::Billow ? e : -e;
  if (v > 0.0) return along;
  if (v < 0.0) return -along;
  return 0.0;
}

}  // namespace veldra
