#include <algorithm>
#include <cmath>

#include <gtest/gtest.h>

#include "support/test_support.hpp"

#include "hair/detail/strand.hpp"

namespace veldra {
namespace {

using test::field_of;

constexpr std::array<double, 2> kScale = {16.0, 12.0};  // 64 x 48 pixels over [4, 4] cells

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
      PointStore together, alone;
      std::vector<Strand> strands(count);
      grow_strands(field, hair, 5, count, kScale, together, strands.data());
      for (std::uint64_t i = 0; i < count; ++i) {
        ASSERT_EQ(strands[i], grow_strand(field, hair, 5 + i, kScale, alone)) << count << ", " << i;
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
  PointStore store;
  for (std::uint64_t i = 0; i < 20; ++i) {
    const Strand s = grow_strand(field, hair, i, kScale, store);
    EXPECT_TRUE(std::ranges::equal(s.points, std::vector(31, s.points[0])));
    EXPECT_EQ(s.radius, hair.thickness / 2);
  }
  hair.depth = 0.0;
  hair.steps = 0;
  for (std::uint64_t i = 0; i < 20; ++i) {
    const Strand s = grow_strand(field, hair, i, kScale, store);
    EXPECT_EQ(s.shade, 1.0f);
    EXPECT_EQ(s.points.size(), 1u);
  }
}

TEST(Grow, RecordedPointsStayInsideBetweenTopAndBottom) {
  const Instance field = field_of({4, 4});
  Hair hair;
  hair.jitter = 0.0;
  hair.drag = 0.0;
  hair.force = 40.0;
  int ended_early = 0;
  PointStore store;
  for (std::uint64_t i = 0; i < 50; ++i) {
    const Strand s = grow_strand(field, hair, i, kScale, store);
    ended_early += s.points.size() < hair.steps + 1;
    for (const auto& [x, y] : s.points) EXPECT_TRUE(x >= 0 && x <= 64 && y >= 0 && y <= 48);
    auto [low, high] = std::minmax_element(s.points.begin(), s.points.end(),
                                           [](const auto& a, const auto& b) { return a[1] < b[1]; });
    EXPECT_EQ(static_cast<float>(s.top), (*low)[1]);
    EXPECT_EQ(static_cast<float>(s.bottom), (*high)[1]);
  }
  EXPECT_GT(ended_early, 40);
}

TEST(Grow, ACoatIsTheSameOnAnyNumberOfWorkersAndKeepsItsPointsInAFewBlocks) {
  const Field field(field_of({4, 4}));
  Hair hair;
  hair.count = 10000;
  const auto alone = grow_coat(field, hair, kScale, 1);
  for (std::size_t workers : {1u, 2u, 3u}) {
    const auto coat = grow_coat(field, hair, kScale, workers);
    ASSERT_EQ(coat->strands, alone->strands) << workers;
    // Strands lie back to back but where a run of pieces starts or a block
    // is full: blocks double to 8 MiB, so a run of a million points fills
    // fewer than a dozen.
    std::size_t starts = 1;
    for (std::size_t i = 1; i < hair.count; ++i) {
      const std::span<const StrandPoint> last = coat->strands[i - 1].points;
      starts += coat->strands[i].points.data() != last.data() + last.size();
    }
    EXPECT_LE(starts, 12 * workers) << workers;
  }
}

}  // namespace
}  // namespace veldra
