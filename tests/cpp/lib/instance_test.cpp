#include "field/instance.hpp"

#include <gtest/gtest.h>

#include <cmath>

namespace veldra {
namespace {

std::string message_of(const Result<Instance>& result) {
  return result ? std::string("ok") : result.error().message;
}

TEST(Instance, ConstructionChecksInOrder) {
  EXPECT_EQ(message_of(Instance::create({}, 1)), "At least one dimension is required");
  EXPECT_EQ(message_of(Instance::create(std::vector<std::uint64_t>(17, 0), 1)),
            "At most 16 dimensions are supported");
  EXPECT_EQ(message_of(Instance::create({3, 0}, 1)), "Dimension cannot be 0");
  EXPECT_EQ(message_of(Instance::create({UINT64_MAX}, 1)), "Grid size overflows usize");
  EXPECT_EQ(message_of(Instance::create({1ull << 32, 1ull << 32}, 1)), "Grid size overflows usize");
}

TEST(Instance, GradientsThatCannotBeAllocatedAreOutOfMemory) {
  auto field = Instance::create({1ull << 31, 1ull << 31}, 1);
  ASSERT_FALSE(field);
  EXPECT_EQ(field.error().kind, ErrorKind::OutOfMemory);
}

TEST(Instance, ShapeStridesAndIntersections) {
  auto field = Instance::create({3, 1, 2}, 1);
  ASSERT_TRUE(field);
  EXPECT_EQ(field->shape(), (std::vector<std::uint64_t>{4, 2, 3}));
  EXPECT_EQ(field->strides(), (std::vector<std::uint64_t>{6, 3, 1}));
  EXPECT_EQ(field->intersections(), 24u);
  EXPECT_EQ(field->gradients().size(), 72u);
}

TEST(Instance, OneDimensionalReferenceValues) {
  auto field = Instance::create({1}, 1);
  ASSERT_TRUE(field);
  EXPECT_EQ(field->gradients(), (std::vector<double>{-1.0, -1.0}));
  double quarter = 0.25, half = 0.5;
  EXPECT_EQ(field->sample(std::span(&quarter, 1)), -0.146484375);
  EXPECT_EQ(field->sample(std::span(&half, 1)), 0.0);
}

TEST(Instance, TwoDimensionalReferenceGradients) {
  auto field = Instance::create({1, 1}, 1);
  ASSERT_TRUE(field);
  const auto& g = field->gradients();
  EXPECT_NEAR(g[0], -0.0137052713335, 1e-12);
  EXPECT_NEAR(g[1], -0.9999060783582, 1e-12);
  EXPECT_NEAR(g[6], -0.897094635929, 1e-12);
  EXPECT_NEAR(g[7], 0.441838448064, 1e-12);
}

TEST(Instance, NoiseIsZeroAtEveryIntersectionIncludingTheUpperBoundary) {
  auto field = Instance::create({2, 3}, 5);
  ASSERT_TRUE(field);
  for (double x = 0; x <= 2; ++x) {
    for (double y = 0; y <= 3; ++y) {
      double p[] = {x, y};
      EXPECT_EQ(field->sample(p), 0.0) << x << "," << y;
    }
  }
}

TEST(Instance, SampleClampsAndPropagatesNaN) {
  auto field = Instance::create({2, 2}, 9);
  ASSERT_TRUE(field);
  double outside[] = {-3.0, 1.3}, clamped[] = {0.0, 1.3};
  EXPECT_EQ(field->sample(outside), field->sample(clamped));
  double nan_point[] = {NAN, 0.5};
  EXPECT_TRUE(std::isnan(field->sample(nan_point)));
}

TEST(Instance, PullIsAConvexBlendOfUnitGradients) {
  auto field = Instance::create({3, 3, 3}, 4);
  ASSERT_TRUE(field);
  for (double t = 0.05; t < 3; t += 0.37) {
    double p[] = {t, 3 - t, t * 0.5};
    auto force = field->force(p);
    ASSERT_TRUE(force);
    double len2 = 0;
    for (double c : *force) len2 += c * c;
    EXPECT_LE(std::sqrt(len2), 1.0 + 1e-12);
  }
  double corner[] = {1.0, 2.0, 3.0};
  auto at_corner = field->force(corner);
  std::uint64_t index[] = {1, 2, 3};
  auto stored = field->gradient(index);
  ASSERT_TRUE(at_corner && stored);
  EXPECT_TRUE(std::equal(stored->begin(), stored->end(), at_corner->begin()));
}

TEST(Instance, ExpectInsideMessages) {
  auto field = Instance::create({3}, 1);
  ASSERT_TRUE(field);
  auto check = [&](std::vector<double> p) {
    auto status = field->expect_inside(p);
    return status ? std::string("ok") : status.error().message;
  };
  EXPECT_EQ(check({0.0}), "ok");
  EXPECT_EQ(check({3.0}), "ok");
  EXPECT_EQ(check({-1.0}), "Coordinate 0 is -1, outside the boundary [0, 3]");
  EXPECT_EQ(check({3.000000001}), "Coordinate 0 is 3.000000001, outside the boundary [0, 3]");
  EXPECT_EQ(check({NAN}), "Coordinate 0 is NaN, outside the boundary [0, 3]");
  EXPECT_EQ(check({-INFINITY}), "Coordinate 0 is -inf, outside the boundary [0, 3]");
  EXPECT_EQ(check({1.0, 2.0}), "Expected 1 coordinates, got 2");
}

TEST(Instance, GradientLookupRefusesOutsideIndices) {
  auto field = Instance::create({2, 2}, 1);
  ASSERT_TRUE(field);
  std::uint64_t far[] = {2, 2}, beyond[] = {3, 0}, short_index[] = {0};
  EXPECT_TRUE(field->gradient(far));
  EXPECT_FALSE(field->gradient(beyond));
  EXPECT_FALSE(field->gradient(short_index));
}

TEST(Instance, SameSeedSameGradientsOtherSeedOtherGradients) {
  auto a = Instance::create({4, 4}, 11), b = Instance::create({4, 4}, 11),
       c = Instance::create({4, 4}, 12);
  EXPECT_EQ(a->gradients(), b->gradients());
  EXPECT_NE(a->gradients(), c->gradients());
}

}  // namespace
}  // namespace veldra
