// How a noise value is folded into a height: by the relief, the globe and
// the octaves of a Field alike.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace veldra {

enum class Shape : std::uint8_t { Smooth = 0, Billow = 1, Ridged = 2 };

// Applies a height shape to a raw noise value: v, |v| or -|v|. T is
// double, or a SIMD vector of doubles shaped lane by lane.
template <typename T>
[[gnu::always_inline]] inline T shaped(Shape shape, T v) {
  if (shape != Shape::Billow && shape != Shape::Ridged) return v;
  T magnitude = v;
  if constexpr (std::is_same_v<T, double>) {
    magnitude = std::fabs(v);
  } else {
    for (std::size_t lane = 0; lane < sizeof(T) / sizeof(double); ++lane) magnitude[lane] = std::fabs(v[lane]);
  }
  return shape == Shape::Billow ? magnitude : -magnitude;
}

// The derivative of shaped(shape, v) where v's derivative is e: e, e
// times the sign of v, or minus that; +0.0 at the fold, where v is 0. T as
// for shaped.
template <typename T>
[[gnu::always_inline]] inline T shaped_slope(Shape shape, T v, T e) {
  if (shape == Shape::Smooth) return e;
  const T along = shape == Shape::Billow ? e : -e;
  if constexpr (std::is_same_v<T, double>) {
    if (v > 0.0) return along;
    if (v < 0.0) return -along;
    return 0.0;
  } else {
    const T zero{};
    return v > zero ? along : v < zero ? -along : zero;
  }
}

}  // namespace veldra
