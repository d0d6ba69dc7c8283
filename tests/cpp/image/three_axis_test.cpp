#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <vector>

#include "image/color_bytes.hpp"
#include "support/test_support.hpp"

namespace veldra {
namespace {
using Divisors = std::vector<std::uint64_t>;
using test::renderer_of;

TEST(ThreeAxis, RgbChannelsSpreadsItsSlicesOverTheColourAxis) {
  const Renderer r = renderer_of({3, 2, 1}, 3);
  const struct {
    std::uint64_t divisor;
    std::array<std::uint64_t, 3> slices;
  } cases[] = {{2, {0, 1, 2}}, {4, {0, 2, 4}}, {3, {0, 1, 3}}};
  for (const auto& c : cases) {
    const Divisors divisors{4, 4, c.divisor};
    EXPECT_EQ(r.rgb_channels(divisors)->pixels, r.rgb_channels_at(divisors, c.slices)->pixels) << c.divisor;
  }
  // The cases above would not tell slices apart if these agreed.
  EXPECT_NE(r.rgb_channels_at(Divisors{4, 4, 3}, {0, 1, 3})->pixels,
            r.rgb_channels_at(Divisors{4, 4, 3}, {0, 2, 3})->pixels);
}

TEST(ThreeAxis, ChannelsShareOneRangeOverTheChosenSlices) {
  const Renderer r = renderer_of({2, 3, 2}, 9);
  const std::array<std::uint64_t, 3> slices{3, 0, 6};
  auto image = r.rgb_channels_at(Divisors{2, 4, 4}, slices);
  ASSERT_TRUE(image);
  // Power-of-two divisors: point sampling matches the table bit for bit.
  std::vector<double> v;
  for (std::uint64_t i = 0; i < 5; ++i)
    for (std::uint64_t j = 0; j < 13; ++j)
      for (std::uint64_t s : slices) v.push_back(r.field().sample(std::vector{i / 2.0, j / 4.0, s / 4.0}));
  const auto [lo, hi] = std::minmax_element(v.begin(), v.end());
  ASSERT_EQ(image->pixels.size(), v.size());
  for (std::size_t k = 0; k < v.size(); ++k) {
    EXPECT_EQ(image->pixels[k], byte_from_fraction((v[k] - *lo) / (*hi - *lo))) << k;
  }
}

TEST(ThreeAxis, APaletteSliceReachesBothEndStops) {
  auto image = renderer_of({3, 3, 2}, 3).rgb_palette(Divisors{4, 4, 2}, 3, Palette::Heat);
  ASSERT_TRUE(image);
  const auto& p = image->pixels;
  EXPECT_NE(std::search_n(p.begin(), p.end(), 3, 0), p.end());
  EXPECT_NE(std::search_n(p.begin(), p.end(), 3, 255), p.end());
}

TEST(ThreeAxis, SlicesAreCheckedOnlyAfterTheTable) {
  const Renderer r = renderer_of({4, 4, 1}, 3);
  const Divisors huge{1u << 24, 1u << 24, 1};
  EXPECT_EQ(r.rgb_channels_at(huge, {9, 0, 0}).error().kind, ErrorKind::OutOfMemory);
  EXPECT_EQ(r.rgb_palette(huge, 9, Palette::Gray).error().kind, ErrorKind::OutOfMemory);
}

}  // namespace
}  // namespace veldra
