// Float-to-integer conversions that never overflow: NaN gives 0 and values
// beyond the target's range give its nearest end.
#pragma once

#include <cmath>
#include <cstdint>

namespace veldra {

// x truncated towards zero into 0 .. 2^64 - 1.
inline std::uint64_t saturating_u64(double x) {
  if (!(x > 0.0)) return 0;  // NaN, zero and negatives
  if (x >= 0x1p64) return UINT64_MAX;
  return static_cast<std::uint64_t>(x);
}

// x truncated towards zero into the range of a 32-bit signed integer.
inline std::int32_t saturating_i32(double x) {
  if (std::isnan(x)) return 0;
  if (x <= -0x1p31) return INT32_MIN;
  if (x >= 0x1p31) return INT32_MAX;
  return static_cast<std::int32_t>(x);
}

// saturating_u64(fmax(floor(v), low)) for a whole number low >= 0, without
// calling either: a NaN or a v below low gives low, and from low on the
// floor of v is its truncation.
inline std::uint64_t floor_at_least(double v, double low) {
  if (!(v >= low)) return saturating_u64(low);
  return saturating_u64(v);
}

// saturating_u64(fmin(ceil(v), high)) for a whole number high >= 0,
// without calling either: a NaN or a v above high gives high, v <= 0 gives
// 0, and in between the ceiling of v is its truncation, plus one unless v
// is whole.
inline std::uint64_t ceil_at_most(double v, double high) {
  if (!(v <= high)) return saturating_u64(high);
  if (!(v > 0.0)) return 0;
  if (v >= 0x1p64) return UINT64_MAX;
  const std::uint64_t whole = static_cast<std::uint64_t>(v);
  return static_cast<double>(whole) < v ? whole + 1 : whole;
}

}  // namespace veldra
