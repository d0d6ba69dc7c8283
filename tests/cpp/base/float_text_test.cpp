// Both float styles write the shortest round-trip digits, however large
// the number: padding with zeros, never the exact binary value's digits.
#include "base/float_text.hpp"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "base/splitmix64.hpp"

namespace veldra {
namespace {

struct Case {
  double value;
  const char* plain;
  const char* marked;
};

class FloatText : public testing::TestWithParam<Case> {};

TEST_P(FloatText, WritesBothStyles) {
  EXPECT_EQ(plain_float(GetParam().value), GetParam().plain);
  EXPECT_EQ(marked_float(GetParam().value), GetParam().marked);
}

INSTANTIATE_TEST_SUITE_P(
    Values, FloatText,
    testing::Values(Case{3.0, "3", "3.0"}, Case{-1.0, "-1", "-1.0"}, Case{0.5, "0.5", "0.5"},
                    Case{0.0, "0", "0.0"}, Case{-0.0, "-0", "-0.0"}, Case{0.51, "0.51", "0.51"},
                    Case{1e20, "100000000000000000000", "1e20"}, Case{1e16, "10000000000000000", "1e16"},
                    Case{1.5e16, "15000000000000000", "1.5e16"},
                    Case{9999999999999998.0, "9999999999999998", "9999999999999998.0"},
                    Case{1e-5, "0.00001", "1e-5"}, Case{2.5e-7, "0.00000025", "2.5e-7"},
                    Case{1e-4, "0.0001", "0.0001"}, Case{0.1 + 0.2, "0.30000000000000004", "0.30000000000000004"},
                    Case{std::numeric_limits<double>::quiet_NaN(), "NaN", "NaN"},
                    Case{INFINITY, "inf", "inf"}, Case{-INFINITY, "-inf", "-inf"}));

TEST(FloatTextExtremes, PlainStyleNeverUsesAnExponent) {
  EXPECT_EQ(plain_float(std::numeric_limits<double>::max()).find('e'), std::string::npos);
  std::string tiny = plain_float(std::numeric_limits<double>::denorm_min());
  EXPECT_EQ(tiny.find('e'), std::string::npos);
  EXPECT_EQ(std::strtod(tiny.c_str(), nullptr), std::numeric_limits<double>::denorm_min());
  EXPECT_EQ(tiny.substr(tiny.size() - 3), "005");  // shortest digits: 5e-324
  EXPECT_EQ(marked_float(std::numeric_limits<double>::denorm_min()), "5e-324");
}

TEST(FloatTextDigits, LargeWholeNumbersArePaddedShortestDigits) {
  EXPECT_EQ(plain_float(18446744073709551616.0), "18446744073709552000");
  EXPECT_EQ(plain_float(-18446744073709551616.0), "-18446744073709552000");
  EXPECT_EQ(plain_float(9007199254740993.0 * 4), "36028797018963970");
  EXPECT_EQ(plain_float(DBL_MAX), "17976931348623157" + std::string(292, '0'));
  EXPECT_EQ(plain_float(1e300), "1" + std::string(300, '0'));
}

// Counts the digits from the first non-zero one to the last non-zero one.
std::size_t significant_digits(const std::string& text) {
  const std::size_t first = text.find_first_of("123456789");
  const std::size_t last = text.find_last_of("123456789");
  if (first == std::string::npos) return 0;
  std::size_t count = 0;
  for (std::size_t i = first; i <= last; ++i) count += text[i] != '.';
  return count;
}

TEST(FloatTextDigits, PlainTextReadsBackWithAtMostSeventeenDigits) {
  SplitMix64 random(7);
  for (int i = 0; i < 20000; ++i) {
    double value;
    const std::uint64_t bits = random.next_u64();
    std::memcpy(&value, &bits, sizeof value);
    if (std::isnan(value) || std::isinf(value)) continue;
    const std::string text = plain_float(value);
    ASSERT_EQ(text.find('e'), std::string::npos) << text;
    ASSERT_EQ(std::strtod(text.c_str(), nullptr), value) << text;
    ASSERT_LE(significant_digits(text), 17u) << text;
  }
}

}  // namespace
}  // namespace veldra
