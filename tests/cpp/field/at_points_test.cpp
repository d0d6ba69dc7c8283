// noise_at over many points, evaluated and checked block by block on the
// workers: every value is the point's sample, and a refused point anywhere
// fails the call with the message of the first refused point, whichever run
// meets it first.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <vector>

#include "base/splitmix64.hpp"
#include "field/field.hpp"
#include "table/at_points.hpp"

namespace veldra {
namespace {

TEST(NoiseAt, ValuesAreSamplesAndTheFirstRefusedPointFails) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::uint64_t count = 100003;  // two runs of many blocks, and a few points beyond the lanes
  SplitMix64 random(3);
  std::vector<double> points(2 * count);
  for (double& x : points) x = random.next_f64() * 3.0;
  for (const Field& field : {Field(*Instance::create({4, 3}, 5)),
                             *Field::create({4, 3}, 5, {2, 2, 0.5, Shape::Smooth, true})}) {
    const auto table = noise_at(field, {points.data(), count, 2});
    ASSERT_TRUE(table);
    for (std::uint64_t k = 0; k < count; ++k) {
      ASSERT_EQ(std::bit_cast<std::uint64_t>(table->values[k]),
                std::bit_cast<std::uint64_t>(field.sample({points.data() + 2 * k, 2})));
    }
    // (index, axis, coordinate) of the refused points; the first is named.
    struct Refused { std::uint64_t index; std::size_t axis; double x; };
    for (const std::vector<Refused>& refused :
         std::vector<std::vector<Refused>>{{{70001, 1, nan}},
                                           {{30002, 0, -INFINITY}, {70001, 1, nan}},
                                           {{count - 1, 1, INFINITY}}}) {
      std::vector<double> bad = points;
      for (const Refused& r : refused) bad[2 * r.index + r.axis] = r.x;
      const auto failed = noise_at(field, {bad.data(), count, 2});
      ASSERT_FALSE(failed);
      const std::uint64_t first = refused[0].index;
      EXPECT_EQ(failed.error().message,
                "Point " + std::to_string(first) + ": " +
                    field.expect_point({bad.data() + 2 * first, 2}).error().message);
    }
  }
}

// One value per point for noise, a row of n components for force, even
// when n is 1.
TEST(ForceAt, ATableOfOneAxisHasRowsOfOne) {
  const double points[] = {0.5, 1.25, 3.0};
  const Field field(*Instance::create({4}, 1));
  EXPECT_EQ(noise_at(field, {points, 3, 1})->shape, (std::vector<std::uint64_t>{3}));
  EXPECT_EQ(force_at(field, {points, 3, 1})->shape, (std::vector<std::uint64_t>{3, 1}));
}

}  // namespace
}  // namespace veldra
