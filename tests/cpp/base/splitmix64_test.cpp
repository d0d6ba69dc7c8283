#include "base/splitmix64.hpp"

#include <gtest/gtest.h>

#include <cmath>

namespace veldra {
namespace {

TEST(SplitMix64, StateZeroGivesTheReferenceStream) {
  SplitMix64 random(0);
  EXPECT_EQ(random.next_u64(), 0xE220A8397B1DCDAFull);
  EXPECT_EQ(random.next_u64(), 0x6E789E6AA1B965F4ull);
}

TEST(SplitMix64, NextF64UsesTheTop53BitsExactly) {
  SplitMix64 a(12345), b(12345);
  for (int i = 0; i < 100; ++i) {
    double u = a.next_f64();
    EXPECT_EQ(u, static_cast<double>(b.next_u64() >> 11) / 9007199254740992.0);
    EXPECT_GE(u, 0.0);
    EXPECT_LT(u, 1.0);
  }
}

TEST(SplitMix64, GaussianConsumesTwoOutputs) {
  SplitMix64 a(7), b(7);
  a.next_gaussian();
  b.next_u64();
  b.next_u64();
  EXPECT_EQ(a.next_u64(), b.next_u64());
}

TEST(SplitMix64, UnitVectorsHaveLengthOne) {
  SplitMix64 random(99);
  for (std::size_t n = 1; n <= 16; ++n) {
    double v[16];
    random.next_unit_vector(std::span<double>(v, n));
    double sum = 0.0;
    for (std::size_t i = 0; i < n; ++i) sum += v[i] * v[i];
    EXPECT_NEAR(std::sqrt(sum), 1.0, 1e-12) << n;
  }
}

TEST(SplitMix64, OneDimensionalUnitVectorsAreSigns) {
  SplitMix64 random(3);
  for (int i = 0; i < 50; ++i) {
    double v;
    random.next_unit_vector(std::span<double>(&v, 1));
    EXPECT_TRUE(v == 1.0 || v == -1.0) << v;
  }
}

}  // namespace
}  // namespace veldra
