#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "image/color_bytes.hpp"
#include "image/renderer.hpp"

namespace veldra {
namespace {

using Divisors = std::vector<std::uint64_t>;

Renderer renderer(std::vector<std::uint64_t> dims, std::uint64_t seed = 3) {
  return *Renderer::create(*Instance::create(std::move(dims), seed));
}

std::string slice_message(std::uint64_t slice, std::uint64_t n) {
  return "Slice " + std::to_string(slice) + " is outside the colour axis, which has " +
         std::to_string(n) + " samples";
}

TEST(ThreeAxis, ColourAxisOfTwoSamplesIsRefusedByRgbChannelsOnly) {
  const Renderer r = renderer({4, 4, 1});
  const std::string message = "The colour axis has 2 samples but needs at least 3; raise its divisor";
  EXPECT_EQ(r.rgb_channels(Divisors{8, 8, 1}).error().message, message);
  // A table this large cannot be allocated: the refusal proves no noise was asked for.
  EXPECT_EQ(r.rgb_channels(Divisors{1u << 24, 1u << 24, 1}).error().message, message);
  EXPECT_TRUE(r.rgb_channels_at(Divisors{8, 8, 1}, {1, 0, 1}));
  EXPECT_TRUE(r.rgb_palette(Divisors{8, 8, 1}, 1, Palette::Heat));
}

TEST(ThreeAxis, RgbChannelsSpreadsItsSlices) {
  const Renderer r = renderer({3, 2, 1});
  const struct {
    std::uint64_t divisor;
    std::array<std::uint64_t, 3> slices;
  } cases[] = {{2, {0, 1, 2}}, {4, {0, 2, 4}}, {3, {0, 1, 3}}};
  for (const auto& c : cases) {
    const Divisors divisors{4, 4, c.divisor};
    auto chosen = r.rgb_channels(divisors);
    ASSERT_TRUE(chosen);
    EXPECT_EQ(chosen->pixels, r.rgb_channels_at(divisors, c.slices)->pixels) << c.divisor;
  }
  // The cases above would not tell slices apart if these agreed.
  EXPECT_NE(r.rgb_channels_at(Divisors{4, 4, 3}, {0, 1, 3})->pixels,
            r.rgb_channels_at(Divisors{4, 4, 3}, {0, 2, 3})->pixels);
}

TEST(ThreeAxis, ChannelsShareOneRangeOverTheChosenSlices) {
  const Renderer r = renderer({2, 3, 2}, 9);
  const std::array<std::uint64_t, 3> slices{3, 0, 6};
  auto image = r.rgb_channels_at(Divisors{2, 4, 4}, slices);
  ASSERT_TRUE(image);
  ASSERT_EQ(image->width, 13u);
  ASSERT_EQ(image->height, 5u);
  // Power-of-two divisors: point sampling matches the table bit for bit.
  std::vector<double> v;
  for (std::uint64_t i = 0; i < 5; ++i)
    for (std::uint64_t j = 0; j < 13; ++j)
      for (std::uint64_t s : slices) v.push_back(r.field().sample(std::vector{i / 2.0, j / 4.0, s / 4.0}));
  const auto [lo, hi] = std::minmax_element(v.begin(), v.end());
  for (std::size_t k = 0; k < v.size(); ++k) {
    EXPECT_EQ(image->pixels[k], byte_from_fraction((v[k] - *lo) / (*hi - *lo))) << k;
  }
}

TEST(ThreeAxis, OneSliceThriceIsFullRangeGrey) {
  auto image = renderer({4, 4, 2}).rgb_channels_at(Divisors{4, 4, 4}, {3, 3, 3});
  ASSERT_TRUE(image);
  const auto& p = image->pixels;
  for (std::size_t k = 0; k < p.size(); k += 3) {
    ASSERT_EQ(p[k], p[k + 1]);
    ASSERT_EQ(p[k], p[k + 2]);
  }
  EXPECT_NE(std::find(p.begin(), p.end(), 0), p.end());
  EXPECT_NE(std::find(p.begin(), p.end(), 255), p.end());
}

TEST(ThreeAxis, FirstSliceOutsideTheAxisIsReported) {
  const Renderer r = renderer({2, 2, 1});
  const Divisors divisors{2, 2, 4};  // n = 5
  EXPECT_EQ(r.rgb_channels_at(divisors, {0, 0, 5}).error().message, slice_message(5, 5));
  EXPECT_EQ(r.rgb_channels_at(divisors, {5, 6, 0}).error().message, slice_message(5, 5));
  EXPECT_EQ(r.rgb_channels_at(divisors, {0, 6, 7}).error().message, slice_message(6, 5));
  EXPECT_EQ(r.rgb_palette(divisors, 9, Palette::Gray).error().message, slice_message(9, 5));
}

TEST(ThreeAxis, SlicesAreCheckedOnlyAfterTheTable) {
  const Renderer r = renderer({4, 4, 1});
  const Divisors huge{1u << 24, 1u << 24, 1};
  EXPECT_EQ(r.rgb_channels_at(huge, {9, 0, 0}).error().kind, ErrorKind::OutOfMemory);
  EXPECT_EQ(r.rgb_palette(huge, 9, Palette::Gray).error().kind, ErrorKind::OutOfMemory);
}

TEST(ThreeAxis, IntersectionsOnlyGiveTheMiddle) {
  const Renderer r = renderer({2, 3, 4});
  const Divisors ones{1, 1, 1};
  auto rgb = r.rgb_channels_at(ones, {0, 2, 4});
  ASSERT_TRUE(rgb);
  EXPECT_EQ(rgb->pixels, std::vector<std::uint8_t>(3 * 4 * 3, 128));
  EXPECT_EQ(r.rgb_channels(ones)->pixels, std::vector<std::uint8_t>(3 * 4 * 3, 128));
  EXPECT_EQ(r.rgb_palette(ones, 1, Palette::BlueRed)->pixels,
            std::vector<std::uint8_t>(3 * 4 * 3, 247));
}

TEST(ThreeAxis, PaletteSliceReachesBothEndStops) {
  auto image = renderer({3, 3, 2}).rgb_palette(Divisors{4, 4, 2}, 3, Palette::Heat);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->width, 13u);
  const auto& p = image->pixels;
  EXPECT_NE(std::search_n(p.begin(), p.end(), 3, 0), p.end());
  EXPECT_NE(std::search_n(p.begin(), p.end(), 3, 255), p.end());
}

TEST(ThreeAxis, DimensionCountIsCheckedFirst) {
  const Renderer flat = renderer({2, 2});
  const std::string message = "This image needs a 3 dimensional field, got 2";
  EXPECT_EQ(flat.rgb_channels(Divisors{0}).error().message, message);
  EXPECT_EQ(flat.rgb_channels_at(Divisors{0}, {9, 9, 9}).error().message, message);
  EXPECT_EQ(flat.rgb_palette(Divisors{0}, 9, Palette::Gray).error().message, message);
  EXPECT_EQ(renderer({2, 2, 2}).rgb_channels(Divisors{1, 1}).error().message,
            "Expected 3 divisors, got 2");
}

}  // namespace
}  // namespace veldra
