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

}  // namespace veldra
