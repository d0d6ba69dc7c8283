#include "image/encoded_steps.hpp"

#include <algorithm>
#include <bit>

#include "image/color_bytes.hpp"

namespace veldra {
namespace {

// Within this distance of a step the byte is computed by encoded_byte
// itself. The steps are where the computed encoding crosses a rounding
// boundary; elsewhere the slope of the encoding (above 100 bytes per unit of
// linear light) keeps its rounding errors, of a few units in the last place
// of a value up to 255, thousands of times smaller than the distance that
// the encoding covers over this guard, so the byte is settled by the side of
// the step that the value lies on.
constexpr double kGuard = 1e-9;

}  // namespace

EncodedSteps::EncodedSteps() {
  steps_[0] = 0.0;
  const std::uint64_t one = std::bit_cast<std::uint64_t>(1.0);
  for (int b = 1; b < 256; ++b) {
    // Non-negative doubles are ordered as their bit patterns: bisect those
    // in [0, 1] for the first one whose byte reaches b (1.0 gives 255).
    std::uint64_t low = 0;
    std::uint64_t high = one;
    while (low < high) {
      const std::uint64_t middle = low + (high - low) / 2;
      if (encoded_byte(std::bit_cast<double>(middle)) >= b) {
        high = middle;
      } else {
        low = middle + 1;
      }
    }
    steps_[b] = std::bit_cast<double>(low);
  }
  // The last step at or below the start of each bucket.
  std::uint32_t b = 0;
  for (std::uint32_t i = 0; i < kBuckets; ++i) {
    const double start = static_cast<double>(i) / static_cast<double>(kBuckets);
    while (b < 255 && steps_[b + 1] <= start) ++b;
    first_[i] = static_cast<std::uint8_t>(b);
  }
}

const EncodedSteps& EncodedSteps::table() {
  static const EncodedSteps steps;
  return steps;
}

std::uint8_t EncodedSteps::operator()(double linear) const {
  double v = linear;
  if (!(v >= 0.0)) v = 0.0;  // also maps NaN to 0
  if (v > 1.0) v = 1.0;
  // b = the number of steps from 1 to 255 at or below v, counted on from
  // the last step at or below the start of v's bucket (v * kBuckets is exact
  // and truncates to the bucket that holds v, or to kBuckets for 1).
  const std::uint32_t bucket = static_cast<std::uint32_t>(v * static_cast<double>(kBuckets));
  std::uint32_t b = first_[std::min(bucket, kBuckets - 1)];
  while (b < 255 && steps_[b + 1] <= v) ++b;
  const bool near_below = b > 0 && v - steps_[b] < kGuard;
  const bool near_above = b < 255 && steps_[b + 1] - v < kGuard;
  if (near_below || near_above) return encoded_byte(v);
  return static_cast<std::uint8_t>(b);
}

}  // namespace veldra
