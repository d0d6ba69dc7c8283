#include "image/detail/lit_bytes.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "base/splitmix64.hpp"
#include "image/encoded_steps.hpp"
#include "image/shading.hpp"

namespace veldra {
namespace {

const EncodedSteps& encode = EncodedSteps::table();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(HighlightPower, WholeGlossesFromOneTo1024AreSquared) {
  for (double gloss : {1.0, 2.0, 14.0, 80.0, 300.0, 1024.0}) EXPECT_TRUE(HighlightPower(gloss).whole()) << gloss;
  for (double gloss : {0.0, -0.0, 0.5, 79.5, 1025.0, -3.0, kInf, kNaN}) {
    EXPECT_FALSE(HighlightPower(gloss).whole()) << gloss;
  }
  // Within 2^-39 of std::pow wherever the power is at least 2^-900.
  SplitMix64 random(3);
  for (double gloss : {1.0, 2.0, 3.0, 7.0, 14.0, 80.0, 300.0, 1023.0, 1024.0}) {
    const HighlightPower power(gloss);
    for (int k = 0; k < 20000; ++k) {
      const double x = k == 0 ? 1.0 : k == 1 ? 0.0 : 1.0 - std::pow(2.0, -40.0 * random.next_f64());
      const double exact = std::pow(x, gloss);
      const double squared = power.squared(x);
      if (exact < 0x1p-900) continue;
      ASSERT_LE(std::fabs(squared - exact), 0x1p-39 * exact) << std::hexfloat << x << " ^ " << gloss;
    }
  }
}

// What the bytes must be: the power from std::pow.
void expect_bytes_of_pow(double gloss, double x, double p, double a, double k, const double (&lin)[3]) {
  std::uint8_t out[3];
  lit_bytes(encode, HighlightPower(gloss), x, p, a, k, lin, out);
  const double e = p * std::pow(x, gloss);
  for (int c = 0; c < 3; ++c) {
    ASSERT_EQ(out[c], encode(a * (e + k * lin[c])))
        << std::hexfloat << "gloss " << gloss << " x " << x << " p " << p << " a " << a << " k " << k
        << " lin " << lin[c];
  }
}

TEST(LitBytes, AreTheBytesOfThePowerFromStdPow) {
  SplitMix64 random(17);
  const auto& linear = linear_from_bytes();
  const auto any_lin = [&] { return linear[random.next_u64() % 256]; };
  for (double gloss : {1.0, 14.0, 80.0, 300.0, 1024.0, 79.5}) {
    for (int n = 0; n < 100000; ++n) {
      const double x = n % 3 == 0 ? random.next_f64() : 1.0 - 0.2 * random.next_f64();
      const double p = 0.45 * random.next_f64();
      const double k = 0.24 + 0.9 * random.next_f64();
      const double lin[3] = {any_lin(), any_lin(), any_lin()};
      double a = 1.0 - 0.78 * random.next_f64();
      if (n % 2 == 1) {
        // Scaled so the first channel lands within a few guards of a step.
        const double step = encode.steps()[1 + random.next_u64() % 255];
        const double sum = p * std::pow(x, gloss) + k * lin[0];
        if (sum > 0.0) a = (step + (random.next_f64() - 0.5) * 4e-9) / sum;
      }
      expect_bytes_of_pow(gloss, x, p, a, k, lin);
    }
  }
  // Powers near and below 2^-900, negative and huge factors, NaN and
  // infinity: every input the settings let through.
  const double lin[3] = {linear[0], linear[128], linear[255]};
  for (double gloss : {80.0, 1024.0}) {
    for (double x : {0.0, 1e-300, 0.1, 0.125, 0.5, 1.0, std::nextafter(1.0, 2.0), 1.0 + 1e-9}) {
      for (double p : {0.0, -0.45, 0.45, 1e300, kNaN}) {
        for (double a : {-1.0, 0.0, 0.5, 1.0, 3.0, kInf}) expect_bytes_of_pow(gloss, x, p, a, 0.3, lin);
      }
    }
  }
}

}  // namespace
}  // namespace veldra
