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

TEST(Saturate, FloorAtLeastIsTheFloorRaisedToTheBound) {
  for (double low : {0.0, 1.0, 7.0, 33.0}) {
    for (double v : values()) {
      ASSERT_EQ(floor_at_least(v, low), saturating_u64(std::fmax(std::floor(v), low))) << v << ", " << low;
    }
  }
}

TEST(Saturate, CeilAtMostIsTheCeilingCappedAtTheBound) {
  for (double high : {0.0, 1.0, 7.0, 33.0, 0x1p70}) {
    for (double v : values()) {
      ASSERT_EQ(ceil_at_most(v, high), saturating_u64(std::fmin(std::ceil(v), high))) << v << ", " << high;
    }
  }
}

}  // namespace
}  // namespace veldra
