#include <algorithm>
#include <cstdint>

#include <gtest/gtest.h>

#include "hair/strand.hpp"
#include "hair_fixtures.hpp"
#include "image/in_parallel.hpp"
#include "lib/splitmix64.hpp"

namespace veldra {
namespace {

using testing::field_of;
using testing::same_strand;

constexpr std::array<double, 2> kScale = {16.0, 12.0};  // 64 x 48 pixels over [4, 4] cells

Result<std::vector<Strand>> grow_all(const Instance& field, const Hair& hair, std::size_t workers) {
  return in_parallel<Strand>(
      hair.count, 64, [&](std::uint64_t i) { return grow_strand(field, hair, i, kScale); }, workers);
}

// The third draw of strand `index`'s generator, which decides its layer.
double layer_draw(const Hair& hair, std::uint64_t index) {
  SplitMix64 random(hair.seed * 0x9E3779B97F4A7C15ull + index);
  random.next_f64();
  random.next_f64();
  return random.next_f64();
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
    ASSERT_TRUE(same_strand((*one_worker)[i], (*many_workers)[i])) << i;
    if (i < 63) {
      ASSERT_TRUE(same_strand((*one_worker)[i], (*serial)[i])) << i;
    }
  }
}

TEST(Grow, SeedMovesTheStart) {
  const Instance field = field_of({4, 4});
  Hair other;
  other.seed = 2;
  const Strand a = grow_strand(field, Hair{}, 0, kScale);
  const Strand b = grow_strand(field, other, 0, kScale);
  EXPECT_NE(a.points[0], b.points[0]);
}

TEST(Grow, NoStepsGiveOnePoint) {
  const Instance field = field_of({4, 4});
  Hair hair;
  hair.steps = 0;
  for (std::uint64_t i = 0; i < 20; ++i) EXPECT_EQ(grow_strand(field, hair, i, kScale).points.size(), 1u);
}

TEST(Grow, WithoutForceTheParticleStaysForEveryStep) {
  const Instance field = field_of({4, 4});
  Hair hair;
  hair.force = 0.0;
  hair.jitter = 0.0;  // so every strand takes exactly `steps` steps
  hair.steps = 30;
  for (std::uint64_t i = 0; i < 20; ++i) {
    const Strand s = grow_strand(field, hair, i, kScale);
    ASSERT_EQ(s.points.size(), 31u);
    for (const auto& p : s.points) EXPECT_EQ(p, s.points[0]);
  }
}

TEST(Grow, WithoutJitterWidthIsFullAndShadeFollowsDepth) {
  const Instance field = field_of({4, 4});
  Hair hair;
  hair.jitter = 0.0;
  for (std::uint64_t i = 0; i < 20; ++i) {
    const Strand s = grow_strand(field, hair, i, kScale);
    const double u3 = layer_draw(hair, i);
    EXPECT_EQ(s.radius, hair.thickness / 2);
    EXPECT_EQ(s.layer, static_cast<float>(u3));
    EXPECT_EQ(s.shade, static_cast<float>(1.0 - hair.depth * (1.0 - u3)));
  }
  hair.depth = 0.0;
  for (std::uint64_t i = 0; i < 20; ++i) EXPECT_EQ(grow_strand(field, hair, i, kScale).shade, 1.0f);
}

TEST(Grow, ParticlesLeavingTheLatticeAreNotRecorded) {
  const Instance field = field_of({4, 4});
  Hair hair;
  hair.jitter = 0.0;
  hair.drag = 0.0;
  hair.force = 40.0;
  int ended_early = 0;
  for (std::uint64_t i = 0; i < 50; ++i) {
    const Strand s = grow_strand(field, hair, i, kScale);
    if (s.points.size() < hair.steps + 1) ++ended_early;
    for (const auto& [x, y] : s.points) {
      EXPECT_TRUE(x >= 0.0f && x <= 64.0f && y >= 0.0f && y <= 48.0f) << x << ", " << y;
    }
  }
  EXPECT_GT(ended_early, 40);
}

TEST(Grow, TopAndBottomBoundTheRecordedPoints) {
  const Instance field = field_of({4, 4});
  for (std::uint64_t i = 0; i < 20; ++i) {
    const Strand s = grow_strand(field, Hair{}, i, kScale);
    auto [low, high] = std::minmax_element(s.points.begin(), s.points.end(),
                                           [](const auto& a, const auto& b) { return a[1] < b[1]; });
    EXPECT_EQ(static_cast<float>(s.top), (*low)[1]);
    EXPECT_EQ(static_cast<float>(s.bottom), (*high)[1]);
  }
}

TEST(Grow, UnreservablePointsAreOutOfMemoryOnAnyThread) {
  const Instance field = field_of({4, 4});
  Hair hair;
  hair.jitter = 0.0;
  for (std::uint64_t steps : {UINT64_MAX, std::uint64_t{1} << 62}) {
    hair.steps = steps;
    hair.count = 1;
    auto serial = grow_all(field, hair, 2);
    ASSERT_FALSE(serial);
    EXPECT_EQ(serial.error().kind, ErrorKind::OutOfMemory);
    hair.count = 64;
    auto threaded = grow_all(field, hair, 2);
    ASSERT_FALSE(threaded);
    EXPECT_EQ(threaded.error().kind, ErrorKind::OutOfMemory);
  }
}

}  // namespace
}  // namespace veldra
