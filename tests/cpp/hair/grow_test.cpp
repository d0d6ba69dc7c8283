#include <algorithm>
#include <cmath>

#include <gtest/gtest.h>

#include "support/test_support.hpp"

#include "base/in_parallel.hpp"
#include "base/splitmix64.hpp"
#include "hair/detail/strand.hpp"

namespace veldra {
namespace {

using test::field_of;

constexpr std::array<double, 2> kScale = {16.0, 12.0};  // 64 x 48 pixels over [4, 4] cells

auto grow_all(const Instance& field, const Hair& hair, std::size_t workers) {
  return in_parallel<Strand>(
      hair.count, 64, [&](std::uint64_t i) { return grow_strand(field, hair, i, kScale); }, workers);
}

TEST(Grow, StrandDependsOnlyOnItsIndex) {
  const Instance field = field_of({4, 4});
  Hair hair;
  hair.count = 200;
  auto one_worker = grow_all(field, hair, 1);
  auto many_workers = grow_all(field, hair, 7);
  hair.count = 63;  // grown on the calling thread
  auto serial = grow_all(field, hair, 7);
  ASSERT_TRUE(one_worker && many_workers && serial);
  for (std::uint64_t i = 0; i < 200; ++i) {
    EXPECT_EQ((*one_worker)[i], (*many_workers)[i]) << i;
    EXPECT_TRUE(i >= 63 || (*one_worker)[i] == (*serial)[i]) << i;
  }
}

TEST(Grow, StrandsGrownTwoAtATimeAreTheStrandsGrownAlone) {
  const Instance field = field_of({4, 4});
  Hair wild;
  wild.drag = 0.0;
  wild.force = 40.0;  // most particles leave the lattice early
  Hair still;
  still.steps = 0;
  Hair lost;
  lost.swirl = NAN;
  for (const Hair& hair : {Hair{}, wild, still, lost}) {
    for (std::uint64_t count : {0u, 1u, 2u, 7u, 40u}) {
      std::vector<Strand> strands(count);
      grow_strands(field, hair, 5, count, kScale, strands.data());
      for (std::uint64_t i = 0; i < count; ++i) {
        ASSERT_EQ(strands[i], grow_strand(field, hair, 5 + i, kScale)) << count << ", " << i;
      }
    }
  }
}

TEST(Grow, WithoutJitterStrandsKeepFullLengthAndWidth) {
  const Instance field = field_of({4, 4});
  Hair hair;
  hair.jitter = 0.0;
  hair.force = 0.0;  // the particle stays put for every step
  hair.steps = 30;
  for (std::uint64_t i = 0; i < 20; ++i) {
    SplitMix64 random(hair.seed * 0x9E3779B97F4A7C15ull + i);
    random.next_f64(), random.next_f64();
    const double u3 = random.next_f64();
    const Strand s = grow_strand(field, hair, i, kScale);
    EXPECT_EQ(s.points, std::vector(31, s.points[0]));
    EXPECT_EQ(s.radius, hair.thickness / 2);
    EXPECT_EQ(s.layer, static_cast<float>(u3));
    EXPECT_EQ(s.shade, static_cast<float>(1.0 - hair.depth * (1.0 - u3)));
  }
  hair.depth = 0.0;
  hair.steps = 0;
  for (std::uint64_t i = 0; i < 20; ++i) {
    const Strand s = grow_strand(field, hair, i, kScale);
    EXPECT_EQ(s.shade, 1.0f);
    EXPECT_EQ(s.points.size(), 1u);
  }
}

TEST(Grow, WithoutDragVelocityGrowsByTheAccelerationEachStep) {
  const Instance field = field_of({4, 4});
  Hair hair;
  hair.drag = 0.0;
  hair.frizz = 0.0;
  hair.swirl = 0.0;  // the acceleration is the pull itself
  hair.jitter = 0.0;
  hair.steps = 2;
  SplitMix64 random(hair.seed * 0x9E3779B97F4A7C15ull + 3);
  double p[2] = {random.next_f64() * 4.0, 0.0};
  p[1] = random.next_f64() * 4.0;
  double v[2] = {0.0, 0.0};
  const Strand s = grow_strand(field, hair, 3, {1.0, 1.0});
  ASSERT_EQ(s.points.size(), 3u);
  for (int step = 1; step <= 2; ++step) {
    double g[2];
    field.pull(p, g);
    for (int k = 0; k < 2; ++k) {
      const double next = v[k] + g[k] * hair.step;
      p[k] = p[k] + ((v[k] + next) * 0.5) * hair.step;
      v[k] = next;
    }
    EXPECT_EQ(s.points[step], (std::array{static_cast<float>(p[1]), static_cast<float>(p[0])}));
  }
}

TEST(Grow, RecordedPointsStayInsideBetweenTopAndBottom) {
  const Instance field = field_of({4, 4});
  Hair hair;
  hair.jitter = 0.0;
  hair.drag = 0.0;
  hair.force = 40.0;
  int ended_early = 0;
  for (std::uint64_t i = 0; i < 50; ++i) {
    const Strand s = grow_strand(field, hair, i, kScale);
    ended_early += s.points.size() < hair.steps + 1;
    for (const auto& [x, y] : s.points) EXPECT_TRUE(x >= 0 && x <= 64 && y >= 0 && y <= 48);
    auto [low, high] = std::minmax_element(s.points.begin(), s.points.end(),
                                           [](const auto& a, const auto& b) { return a[1] < b[1]; });
    EXPECT_EQ(static_cast<float>(s.top), (*low)[1]);
    EXPECT_EQ(static_cast<float>(s.bottom), (*high)[1]);
  }
  EXPECT_GT(ended_early, 40);
}

}  // namespace
}  // namespace veldra
