#include "image/encoded_steps.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>

#include "base/splitmix64.hpp"
#include "image/color_bytes.hpp"

namespace veldra {
namespace {

const EncodedSteps& steps = EncodedSteps::table();

void expect_byte_of(double v) {
  ASSERT_EQ(steps(v), encoded_byte(v)) << std::hexfloat << v;
}

// The double n bit patterns from v's. Unsigned, so that stepping across
// the sign bit (below -0.0) wraps instead of overflowing.
double ulps_from(double v, std::int64_t n) {
  return std::bit_cast<double>(std::bit_cast<std::uint64_t>(v) + static_cast<std::uint64_t>(n));
}

TEST(EncodedSteps, StepsRiseThroughTheUnitInterval) {
  EXPECT_EQ(steps.steps()[0], 0.0);
  EXPECT_GT(steps.steps()[1], 0.0);
  for (int b = 1; b < 256; ++b) {
    ASSERT_LT(steps.steps()[b - 1], steps.steps()[b]) << b;
    ASSERT_EQ(encoded_byte(steps.steps()[b]), b);
    ASSERT_EQ(encoded_byte(std::nextafter(steps.steps()[b], 0.0)), b - 1);
  }
  EXPECT_LE(steps.steps()[255], 1.0);
}

TEST(EncodedSteps, MatchesEncodedByteAroundEveryStep) {
  for (int b = 1; b < 256; ++b) {
    const double step = steps.steps()[b];
    for (std::int64_t n = -3000; n <= 3000; ++n) expect_byte_of(ulps_from(step, n));
    // On both sides of the guard, where the lookup stops deferring.
    for (double d : {1e-10, 1e-9, 1e-8, 1e-7, 1e-6}) {
      for (std::int64_t n = -3; n <= 3; ++n) {
        expect_byte_of(ulps_from(step + d, n));
        expect_byte_of(ulps_from(step - d, n));
      }
    }
  }
}

TEST(EncodedSteps, MatchesEncodedByteOnRandomAndSpecialValues) {
  SplitMix64 random(11);
  for (int n = 0; n < 300000; ++n) {
    expect_byte_of(random.next_f64());
    expect_byte_of(std::pow(10.0, -12.0 * random.next_f64()));  // dense near 0
    expect_byte_of(random.next_f64() * 3.0 - 1.0);               // beyond both ends
    expect_byte_of(static_cast<double>(static_cast<float>(random.next_f64())));
  }
  const double inf = std::numeric_limits<double>::infinity();
  for (double v : {0.0, -0.0, 1.0, -1.0, 2.0, inf, -inf, std::numeric_limits<double>::quiet_NaN(),
                   std::numeric_limits<double>::denorm_min(), std::numeric_limits<double>::min(),
                   0.0031308, 0.04045, 0.5, std::nextafter(1.0, 0.0), std::nextafter(1.0, 2.0)}) {
    for (std::int64_t n = -5; n <= 5; ++n) expect_byte_of(ulps_from(v, n));
  }
}

// settled(v, margin) gives a byte only when every value within the margin
// has it, whatever the margin; NaN margins give none.
TEST(EncodedSteps, SettledBytesHoldAcrossTheirMargin) {
  SplitMix64 random(5);
  int settled_near_a_step = 0;
  for (int n = 0; n < 200000; ++n) {
    // Values at random and within a few margins of a step.
    const double step = steps.steps()[1 + random.next_u64() % 255];
    const double v = n % 2 == 0 ? random.next_f64() * 1.2 - 0.1 : step + (random.next_f64() - 0.5) * 4e-6;
    const double margin = std::pow(2.0, -40.0 * random.next_f64()) * 1e-6;
    const int b = steps.settled(v, margin);
    if (b < 0) continue;
    settled_near_a_step += n % 2;
    for (double w : {v - margin, v, v + margin}) ASSERT_EQ(steps(w), b) << std::hexfloat << v << " " << margin;
  }
  EXPECT_GT(settled_near_a_step, 1000);
  EXPECT_EQ(steps.settled(0.5, std::numeric_limits<double>::quiet_NaN()), -1);
  EXPECT_EQ(steps.settled(0.5, std::numeric_limits<double>::infinity()), -1);
}

}  // namespace
}  // namespace veldra
