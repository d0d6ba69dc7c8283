#include "image/encoded_steps.hpp"

#include <algorithm>
#include <bit>

#include "image/color_bytes.hpp"

namespace veldra {
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
  steps_[256] = 2.0;
  // The last step at or below the start of each bucket, and the most
  // steps that lie after it inside one bucket (or at its end).
  std::uint32_t b = 0;
  for (std::uint32_t i = 0; i < kBuckets; ++i) {
    const double start = static_cast<double>(i) / static_cast<double>(kBuckets);
    while (b < 255 && steps_[b + 1] <= start) ++b;
    first_[i] = static_cast<std::uint8_t>(b);
  }
  for (std::uint32_t i = 0; i < kBuckets; ++i) {
    const double end = static_cast<double>(i + 1) / static_cast<double>(kBuckets);
    std::uint32_t inside = first_[i];
    while (inside < 255 && steps_[inside + 1] <= end) ++inside;
    most_ = std::max(most_, inside - first_[i]);
  }
}

const EncodedSteps& EncodedSteps::table() {
  static const EncodedSteps steps;
  return steps;
}

}  // namespace veldra
