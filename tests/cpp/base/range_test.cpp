#include "base/range.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>

namespace veldra {
namespace {

std::uint64_t bits(double v) { return std::bit_cast<std::uint64_t>(v); }

// least and most: NaN gives the other argument, two equal ones (zeros of
// both signs) the first; the same bits with any compiler or C library.
TEST(Range, LeastAndMostKeepTheFirstOfEqualsAndIgnoreNaN) {
  struct Case {
    double x, y, least, most;
  };
  const double nan = std::nan("");
  const Case cases[] = {
      {1.0, 2.0, 1.0, 2.0},       {2.0, 1.0, 1.0, 2.0},   {0.0, -0.0, 0.0, 0.0},
      {-0.0, 0.0, -0.0, -0.0},    {nan, 3.0, 3.0, 3.0},   {3.0, nan, 3.0, 3.0},
      {-INFINITY, 5.0, -INFINITY, 5.0}, {INFINITY, -0.0, -0.0, INFINITY},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(bits(Range::least(c.x, c.y)), bits(c.least)) << c.x << ", " << c.y;
    EXPECT_EQ(bits(Range::most(c.x, c.y)), bits(c.most)) << c.x << ", " << c.y;
  }
  EXPECT_TRUE(std::isnan(Range::least(nan, nan)));
  EXPECT_TRUE(std::isnan(Range::most(nan, nan)));
}

}  // namespace
}  // namespace veldra
