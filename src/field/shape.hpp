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

}  // namespace veldra
