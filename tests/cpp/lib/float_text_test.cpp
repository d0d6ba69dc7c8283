#include "lib/float_text.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>

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

}  // namespace
}  // namespace veldra
