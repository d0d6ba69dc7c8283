#include <algorithm>
#include <cmath>

#include <gtest/gtest.h>

#include "hair/detail/pipeline.hpp"
#include "support/test_support.hpp"

namespace veldra {
namespace {

using test::renderer_of;

// A relief source that must not be asked for anything.
Result<Image> no_relief(std::span<const std::uint64_t>, const Relief&) {
  ADD_FAILURE() << "the relief is only rendered for color_from_field";
  return invalid_input("no relief");
}

TEST(HairPipeline, DeepStrandsAreDrawnFirstAndEqualLayersInIndexOrder) {
  // Layers that differ only in the low, middle or high digits of their
  // keys, a -0 before +0, and ties, which keep their index order.
  const std::vector layers{0.5f, 0.0f, 0.9f, 0.25f, 1e-30f, 0.5f, std::nextafter(0.5f, 1.0f),
                           -0.0f, 0.0f, std::nextafter(0.25f, 0.0f), 0.5f};
  std::vector<Strand> strands(layers.size());
  for (std::size_t i = 0; i < layers.size(); ++i) strands[i].layer = layers[i];
  EXPECT_EQ(*drawing_order(strands), (std::vector<std::uint64_t>{7, 1, 8, 4, 9, 3, 0, 5, 10, 6, 2}));
}

TEST(HairPipeline, NoStrandsLeaveTheGrayBackground) {
  Hair hair;
  hair.count = 0;
  EXPECT_EQ(render_hair(renderer_of({4, 4}), 32, 16, hair, 2, no_relief)->pixels, Pixels(32 * 16 * 3, 0));
  hair.count = 3000;
  EXPECT_EQ(render_hair(renderer_of({4, 4}), 1, 1, hair, 2, no_relief)->pixels.size(), 3u);
}

TEST(HairPipeline, ColorMapDivisorsPairWidthWithTheFirstAxis) {
  using Divisors = std::array<std::uint64_t, 2>;
  EXPECT_EQ(color_map_divisors(std::vector<std::uint64_t>{4, 4}, 200, 200), (Divisors{49, 49}));
  EXPECT_EQ(color_map_divisors(std::vector<std::uint64_t>{4, 4}, 800, 200), (Divisors{199, 49}));
  EXPECT_EQ(color_map_divisors(std::vector<std::uint64_t>{4, 2}, 800, 200), (Divisors{199, 99}));
  EXPECT_EQ(color_map_divisors(std::vector<std::uint64_t>{4, 4}, 3, 2), (Divisors{1, 1}));
}

TEST(HairPipeline, StrandsTakeTheirColourFromTheReliefOverBlack) {
  std::vector<std::uint64_t> asked;
  // A relief of the requested size, pure red.
  auto red_relief = [&](std::span<const std::uint64_t> d, const Relief&) -> Result<Image> {
    asked.assign(d.begin(), d.end());
    Image image{{}, 4 * d[1] + 1, 4 * d[0] + 1, 3};
    for (std::uint64_t i = 0; i < image.width * image.height; ++i) {
      image.pixels.insert(image.pixels.end(), {200, 0, 0});
    }
    return image;
  };
  Hair hair;
  hair.color_from_field = true;
  hair.palette = Palette::BlueRed;  // not black at 0, yet the background is
  hair.count = 0;
  auto empty = render_hair(renderer_of({4, 4}), 200, 200, hair, 2, red_relief);
  EXPECT_EQ(asked, (std::vector<std::uint64_t>{49, 49}));  // a 197 x 197 relief
  EXPECT_EQ(empty->pixels, Pixels(200 * 200 * 3, 0));
  hair.count = 400;
  auto coat = render_hair(renderer_of({4, 4}), 60, 50, hair, 2, red_relief);
  std::uint8_t reddest = 0;
  for (std::size_t i = 0; i < coat->pixels.size(); i += 3) {
    reddest = std::max(reddest, coat->pixels[i]);
    ASSERT_EQ(coat->pixels[i + 1] | coat->pixels[i + 2], 0);
  }
  EXPECT_GT(reddest, 0);
}

}  // namespace
}  // namespace veldra
