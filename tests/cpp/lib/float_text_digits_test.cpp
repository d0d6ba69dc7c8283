// Both float styles write the shortest round-trip digits, however large
// the number: padding with zeros, never the exact binary value's digits.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <cstdlib>
#include <string>

#include "lib/float_text.hpp"
#include "lib/splitmix64.hpp"

namespace veldra {
namespace {

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
