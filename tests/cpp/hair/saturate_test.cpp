#include "hair/detail/saturate.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace veldra {
namespace {

// Values on both sides of whole numbers, halves, zeros of both signs,
// huge values and the specials.
std::vector<double> values() {
  const double inf = std::numeric_limits<double>::infinity();
  std::vector<double> all = {0.0, -0.0, inf, -inf, std::numeric_limits<double>::quiet_NaN(), 0x1p64,
                             std::nextafter(0x1p64, 0.0), 1e300, -1e300, 1e-300, -1e-300};
  for (int n = -6; n <= 70; ++n) {
    const double x = n / 2.0;
    all.insert(all.end(), {x, std::nextafter(x, inf), std::nextafter(x, -inf), x + 0.3, x - 0.3});
  }
  return all;
}

TEST(Saturate, FloorAtLeastAndCeilAtMostAreTheFloorAndCeilingHeldToTheBound) {
  for (double bound : {0.0, 1.0, 7.0, 33.0, 0x1p70}) {
    for (double v : values()) {
      if (bound < 0x1p64) {
        ASSERT_EQ(floor_at_least(v, bound), saturating_u64(std::fmax(std::floor(v), bound))) << v;
      }
      ASSERT_EQ(ceil_at_most(v, bound), saturating_u64(std::fmin(std::ceil(v), bound))) << v << ", " << bound;
    }
  }
}

}  // namespace
}  // namespace veldra
