// Vector arithmetic and byte decoding shared by the lit renderings (relief
// and globe). Every formula is bracketed exactly as written, so each build
// rounds it the same way.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>

#include "image/color_bytes.hpp"

namespace veldra {

// A direction or point in image space: x to the right, y down, z towards
// the viewer.
struct Vec3 {
  double x = 0.0;
  double y = 0.0;
  double z = 0.0;
};

// (a.x * b.x + a.y * b.y) + a.z * b.z.
inline double dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

inline Vec3 cross(const Vec3& a, const Vec3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

// `v` divided by its length, or (0, 0, 1) when its squared length is not
// greater than 0 (the zero vector, or NaN components).
inline Vec3 unit_or_up(const Vec3& v) {
  const double squared = dot(v, v);
  if (!(squared > 0.0)) return {0.0, 0.0, 1.0};
  const double length = std::sqrt(squared);
  return {v.x / length, v.y / length, v.z / length};
}

// The half vector between the unit `light` and the viewer, (0, 0, 1).
inline Vec3 half_vector(const Vec3& light) {
  return unit_or_up({light.x + 0.0, light.y + 0.0, light.z + 1.0});
}

// std::fmax(x, 0.0) as the C library computes it: x when greater than 0,
// else +0 (NaN, -0 and negatives). Inline, where std::fmax is a call.
inline double positive_part(double x) { return x > 0.0 ? x : 0.0; }

// `t` clamped to 0..1; NaN passes through unchanged.
inline double clamp01(double t) {
  if (t < 0.0) return 0.0;
  if (t > 1.0) return 1.0;
  return t;
}

// Linear light of every colour byte c: exactly srgb_decode(c / 255.0).
inline const std::array<double, 256>& linear_from_bytes() {
  static const std::array<double, 256> table = [] {
    std::array<double, 256> decoded{};
    for (int b = 0; b < 256; ++b) decoded[b] = srgb_decode(static_cast<double>(b) / 255.0);
    return decoded;
  }();
  return table;
}

// Linear light of a colour byte, from the table above.
inline double linear_from_byte(std::uint8_t c) { return linear_from_bytes()[c]; }

}  // namespace veldra
