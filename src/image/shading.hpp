// Vector arithmetic and byte decoding shared by the lit renderings (relief
// and globe). Every formula is bracketed exactly as written, so each build
// rounds it the same way.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "image/color_bytes.hpp"

// Vector forms return vectors; they are always inlined into the AVX2 code
// that instantiates them, so the ABI note that the baseline build would give
// for them does not apply.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"

namespace veldra {

// A direction or point in image space: x to the right, y down, z towards
// the viewer. T is double, or a SIMD vector of doubles (one pixel per
// lane) whose operators work lane by lane: the lanes do the same IEEE
// operations in the same order as the numbers.
template <typename T>
struct Vec3Of {
  T x{};
  T y{};
  T z{};
};
using Vec3 = Vec3Of<double>;

// Lane by lane: |x| (the C library's, NaN's sign cleared), and the
// square root of four lanes.
[[gnu::always_inline]] inline double magnitude(double x) { return std::fabs(x); }
template <typename T>
[[gnu::always_inline]] inline T root(const T& x) {
  static_assert(sizeof(T) == 4 * sizeof(double), "the AVX lanes of the shading");
  T out;
  // Each lane's correctly rounded square root, as std::sqrt's, in one
  // vsqrtpd. GCC's builtin for it needs AVX in the function that names it,
  // and this template is compiled for the baseline (only AVX2 code
  // instantiates it), so there it is the instruction itself; clang (the
  // fuzzing build) has a builtin for any vector, and no register for a
  // 256-bit operand of the baseline's.
#if defined(__clang__)
  out = __builtin_elementwise_sqrt(x);
#else
  asm("vsqrtpd %1, %0" : "=x"(out) : "x"(x));
#endif
  return out;
}
template <typename T>
[[gnu::always_inline]] inline T magnitude(const T& x) {
  T out;
  for (std::size_t lane = 0; lane < sizeof(T) / sizeof(double); ++lane) out[lane] = std::fabs(x[lane]);
  return out;
}

// (a.x * b.x + a.y * b.y) + a.z * b.z.
template <typename A, typename B>
[[gnu::always_inline]] inline A dot(const Vec3Of<A>& a, const Vec3Of<B>& b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}

inline Vec3 cross(const Vec3& a, const Vec3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

// `v` divided by its length, or (0, 0, 1) when its squared length is not
// greater than 0 (the zero vector, or NaN components); lane by lane for
// vectors.
template <typename T>
[[gnu::always_inline]] inline Vec3Of<T> unit_or_up(const Vec3Of<T>& v) {
  const T squared = dot(v, v);
  if constexpr (std::is_same_v<T, double>) {
    if (!(squared > 0.0)) return {0.0, 0.0, 1.0};
    const double length = std::sqrt(squared);
    return {v.x / length, v.y / length, v.z / length};
  } else {
    const auto positive = squared > T{};
    const T length = root(squared);
    return {positive ? v.x / length : T{}, positive ? v.y / length : T{},
            positive ? v.z / length : T{} + 1.0};
  }
}
inline Vec3 unit_or_up(const Vec3& v) { return unit_or_up<double>(v); }

// The half vector between the unit `light` and the viewer, (0, 0, 1).
inline Vec3 half_vector(const Vec3& light) {
  return unit_or_up({light.x + 0.0, light.y + 0.0, light.z + 1.0});
}

// std::fmax(x, 0.0) as the C library computes it: x when greater than 0,
// else +0 (NaN, -0 and negatives); lane by lane for vectors. Inline, where
// std::fmax is a call.
template <typename T>
[[gnu::always_inline]] inline T positive_part(const T& x) {
  return x > T{} ? x : T{};
}

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

#pragma GCC diagnostic pop
