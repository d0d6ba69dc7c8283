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
#include "table/detail/per_point.hpp"

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

// Bounds whose screen refuses the upper boundary (x < dims[i]) while their
// check takes it.
struct BoundaryRefused {
  LatticeBounds bounds;
  std::size_t n() const { return bounds.n(); }
  bool accepts(std::size_t axis, double x) const { return bounds.accepts(axis, x) && x != 4.0; }
  Status expect(std::span<const double> point) const { return bounds.expect(point); }
};

// A screen, or an evaluator, refusing points that the check takes (a point
// on the boundary in the third block) fails the call with an internal error
// instead of returning the values of the block, never written.
TEST(PerPoint, AScreenOrAnEvaluatorAtOddsWithTheCheckIsAnInternalError) {
  const Instance field = *Instance::create({4, 3}, 5);
  std::vector<double> points(2 * 1500, 1.5);
  points[2 * 1300] = 4.0;
  const PointRows rows{points.data(), 1500, 2};
  const Screen honest{LatticeBounds(field.dims())};
  const Screen lying{BoundaryRefused{LatticeBounds(field.dims())}};
  auto samples = [&](std::uint64_t begin, std::uint64_t end, double* out) {
    for (std::uint64_t i = begin; i < end; ++i) out[i - begin] = field.sample({points.data() + 2 * i, 2});
  };
  auto refusing = [&](std::uint64_t begin, std::uint64_t end, double* out) {
    samples(begin, end, out);
    return lying.first_refused(points.data(), begin, end) == end;
  };
  auto error_of = [](const auto& result) { return result ? Error{} : result.error(); };
  const std::string screen_says = "Point 1300 was refused by the screen of points but accepted by their check";
  for (const auto& [error, message] : std::vector<std::pair<Error, std::string>>{
           {error_of(per_point(rows, Per::Value, 1, lying, by_screen(lying, points.data(), samples))),
            screen_says},
           {error_of(per_point(rows, Per::Value, 1, honest, refusing)),
            "Points from 1024 on were refused by their evaluator but accepted by the screen"},
           {error_of(lying.check_all(rows)), screen_says}}) {
    EXPECT_EQ(error.kind, ErrorKind::Internal);
    EXPECT_EQ(error.message, message);
  }
  EXPECT_TRUE(per_point(rows, Per::Value, 1, honest, by_screen(honest, points.data(), samples)));
}

}  // namespace
}  // namespace veldra
