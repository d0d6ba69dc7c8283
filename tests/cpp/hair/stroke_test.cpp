#include "hair/detail/stroke.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "base/splitmix64.hpp"

namespace veldra {
namespace {

// Strokes of every kind of direction and size: random ones, axis-aligned
// and diagonal ones, very short and very wide ones.
std::vector<Stroke> strokes() {
  std::vector<Stroke> all;
  SplitMix64 random(21);
  auto coordinate = [&] { return static_cast<double>(static_cast<float>(random.next_f64() * 40.0 + 5.0)); };
  for (int n = 0; n < 400; ++n) {
    const double x0 = coordinate();
    const double y0 = coordinate();
    const double reach = n % 4 == 0 ? 0.01 : 6.0;
    const double x1 = x0 + (random.next_f64() - 0.5) * reach;
    const double y1 = y0 + (random.next_f64() - 0.5) * reach;
    all.push_back(Stroke::between(x0, y0, x1, y1, 1.0 + random.next_f64() * (n % 7 == 0 ? 12.0 : 1.0), 1.0));
  }
  for (double r : {1.0, 1.15, 3.5}) {
    all.push_back(Stroke::between(10.5, 20.5, 30.5, 20.5, r, 1.0));   // along a row of centres
    all.push_back(Stroke::between(10.25, 20.0, 10.25, 41.0, r, 1.0));  // along a column
    all.push_back(Stroke::between(10.0, 10.0, 30.0, 30.0, r, 1.0));    // diagonal
    all.push_back(Stroke::between(30.0, 10.0, 10.0, 30.0, r, 1.0));
    all.push_back(Stroke::between(20.0, 20.0, 20.0 + 1e-6, 20.0, r, 1.0));  // nearly a point
    all.push_back(Stroke::between(20.0, 20.0, 25.0, 20.0 + 1e-12, r, 1.0));  // nearly level
  }
  return all;
}

TEST(Stroke, EveryCoveredCentreLiesWithinReachOfItsRow) {
  for (const Stroke& s : strokes()) {
    ASSERT_TRUE(s.bounded);
    for (int y = -20; y < 80; ++y) {
      const double py = y + 0.5;
      const std::array<double, 2> reach = s.reach(py);
      for (int x = -20; x < 80; ++x) {
        const double px = x + 0.5;
        if (s.coverage(px, py) > 0.0) {
          ASSERT_TRUE(reach[0] <= px && px <= reach[1])
              << "(" << s.x0 << ", " << s.y0 << ") to (" << s.x1 << ", " << s.y1 << ") radius " << s.radius
              << ": centre (" << px << ", " << py << ") outside [" << reach[0] << ", " << reach[1] << "]";
        }
      }
    }
  }
}

TEST(Stroke, ReachHugsADiagonalStroke) {
  // The rows of the bounding box hold 25 x 25 centres; the reach of a
  // diagonal stroke of radius 1.5 holds about 4.3 of them per row.
  const Stroke s = Stroke::between(10.0, 10.0, 30.0, 30.0, 1.5, 1.0);
  double within = 0.0;
  for (int y = 8; y < 33; ++y) {
    const std::array<double, 2> reach = s.reach(y + 0.5);
    if (reach[1] >= reach[0]) within += reach[1] - reach[0];
  }
  EXPECT_LT(within, 0.25 * 25 * 25);
  EXPECT_GT(within, 0.1 * 25 * 25);
}

TEST(Stroke, RowsBeyondTheEndsAreOutOfReach) {
  const Stroke level = Stroke::between(10.0, 20.0, 30.0, 20.0, 1.5, 1.0);
  const std::array<double, 2> above = level.reach(17.5);
  EXPECT_GT(above[0], above[1]);
  const Stroke upright = Stroke::between(10.0, 10.0, 10.0, 30.0, 1.5, 1.0);
  const std::array<double, 2> below = upright.reach(32.5);
  EXPECT_GT(below[0], below[1]);
  const std::array<double, 2> across = upright.reach(20.5);
  EXPECT_LE(across[0], 8.5);
  EXPECT_GE(across[1], 11.5);
  EXPECT_LT(across[1] - across[0], 3.01);
}

TEST(Stroke, AStrokeWithoutLengthIsNotBounded) {
  for (const Stroke& s : {Stroke::between(3.0, 4.0, 3.0, 4.0, 1.0, 1.0),
                          Stroke::between(3.0, 4.0, INFINITY, 4.0, 1.0, 1.0),
                          Stroke::between(3.0, NAN, 5.0, 4.0, 1.0, 1.0)}) {
    EXPECT_FALSE(s.bounded);
    EXPECT_EQ(s.reach(4.5), (std::array<double, 2>{-INFINITY, INFINITY}));
  }
}

}  // namespace
}  // namespace veldra
