// Bytes from fractions and the sRGB transfer function, shared by every
// renderer so that all of them round the same way.
#pragma once

#include <cmath>
#include <cstdint>

namespace veldra {

// std::round(v) of a v in [0, 2^32): half away from zero. Inline, where
// std::round is a call on processors without SSE4.1. The truncated part
// and v less it are exact, so the comparison with 0.5 is.
inline std::uint32_t rounded(double v) {
  const auto whole = static_cast<std::uint32_t>(v);
  return whole + (v - static_cast<double>(whole) >= 0.5 ? 1u : 0u);
}

// t clamped to 0..1, times `top`, rounded half away from zero, capped at
// `top`; NaN gives 0. The levels of a heightmap of 2^bits - 1 steps.
inline std::uint32_t level_from_fraction(double t, std::uint32_t top) {
  if (!(t >= 0.0)) t = 0.0;  // also maps NaN to 0
  if (t > 1.0) t = 1.0;
  const std::uint32_t v = rounded(t * static_cast<double>(top));
  return v >= top ? top : v;
}

// level_from_fraction(t, 255): every renderer's bytes.
inline std::uint8_t byte_from_fraction(double t) {
  return static_cast<std::uint8_t>(level_from_fraction(t, 255));
}

// sRGB decoding (IEC 61966-2-1) of x in 0..1 to linear light.
inline double srgb_decode(double x) {
  return x <= 0.04045 ? x / 12.92 : std::pow((x + 0.055) / 1.055, 2.4);
}

// sRGB encoding of linear light v in 0..1.
inline double srgb_encode(double v) {
  return v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1.0 / 2.4) - 0.055;
}

// Linear light clamped to 0..1, encoded, and turned into a byte.
inline std::uint8_t encoded_byte(double linear) {
  if (!(linear >= 0.0)) linear = 0.0;
  if (linear > 1.0) linear = 1.0;
  return byte_from_fraction(srgb_encode(linear));
}

}  // namespace veldra
