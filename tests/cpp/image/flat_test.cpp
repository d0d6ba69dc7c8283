#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "image/color_bytes.hpp"
#include "image/renderer.hpp"

namespace veldra {
namespace {

Renderer renderer(std::vector<std::uint64_t> dims, std::uint64_t seed = 7) {
  return *Renderer::create(*Instance::create(std::move(dims), seed));
}

bool has_pixel(const Image& image, Rgb rgb) {
  for (std::size_t k = 0; k < image.pixels.size(); k += 3) {
    if (image.pixels[k] == rgb[0] && image.pixels[k + 1] == rgb[1] && image.pixels[k + 2] == rgb[2])
      return true;
  }
  return false;
}

TEST(Flat, ImageSizeFollowsTheRefinedLattice) {
  const Renderer r = renderer({2, 5});
  auto gray = r.grayscale(std::vector<std::uint64_t>{3, 4});
  ASSERT_TRUE(gray);
  EXPECT_EQ(gray->width, 21u);
  EXPECT_EQ(gray->height, 7u);
  EXPECT_EQ(gray->channels, 1u);
  EXPECT_EQ(gray->pixels.size(), 147u);
  auto colour = r.colored(std::vector<std::uint64_t>{3, 4}, Palette::Heat);
  ASSERT_TRUE(colour);
  EXPECT_EQ(colour->width, 21u);
  EXPECT_EQ(colour->height, 7u);
  EXPECT_EQ(colour->pixels.size(), 441u);
}

TEST(Flat, IntersectionsOnlyGiveTheMiddle) {
  const Renderer r = renderer({3, 5});
  const std::vector<std::uint64_t> ones{1, 1};
  auto gray = r.grayscale(ones);
  ASSERT_TRUE(gray);
  EXPECT_EQ(gray->width, 6u);
  EXPECT_EQ(gray->height, 4u);
  EXPECT_EQ(gray->pixels, std::vector<std::uint8_t>(24, 128));
  EXPECT_EQ(r.colored(ones, Palette::Gray)->pixels, std::vector<std::uint8_t>(72, 128));
  EXPECT_EQ(r.colored(ones, Palette::BlueRed)->pixels, std::vector<std::uint8_t>(72, 247));
}

TEST(Flat, SpreadReachesBothEnds) {
  const Renderer r = renderer({4, 4});
  const std::vector<std::uint64_t> divisors{8, 8};
  auto image = r.grayscale(divisors);
  ASSERT_TRUE(image);
  const auto& gray = image->pixels;
  EXPECT_NE(std::find(gray.begin(), gray.end(), 0), gray.end());
  EXPECT_NE(std::find(gray.begin(), gray.end(), 255), gray.end());
  auto blue_red = r.colored(divisors, Palette::BlueRed);
  EXPECT_TRUE(has_pixel(*blue_red, color(Palette::BlueRed, 0.0)));
  EXPECT_TRUE(has_pixel(*blue_red, color(Palette::BlueRed, 1.0)));
}

TEST(Flat, FirstTableAxisRunsDownTheImage) {
  const Renderer r = renderer({2, 3}, 11);
  auto image = r.grayscale(std::vector<std::uint64_t>{4, 2});
  ASSERT_TRUE(image);
  ASSERT_EQ(image->width, 7u);
  ASSERT_EQ(image->height, 9u);
  // Power-of-two divisors: point sampling matches the table bit for bit.
  std::vector<double> v;
  for (std::uint64_t i = 0; i < 9; ++i)
    for (std::uint64_t j = 0; j < 7; ++j) v.push_back(r.field().sample(std::vector{i / 4.0, j / 2.0}));
  const auto [lo, hi] = std::minmax_element(v.begin(), v.end());
  for (std::uint64_t i = 0; i < 9; ++i) {
    for (std::uint64_t j = 0; j < 7; ++j) {
      EXPECT_EQ((*image->pixel(j, i))[0], byte_from_fraction((v[i * 7 + j] - *lo) / (*hi - *lo)))
          << "row " << i << " column " << j;
    }
  }
}

TEST(Flat, DimensionCountIsCheckedBeforeDivisors) {
  const std::vector<std::uint64_t> wrong{0};
  for (std::uint64_t n : {3, 4}) {
    const Renderer r = renderer(std::vector<std::uint64_t>(n, 2));
    const std::string message = "This image needs a 2 dimensional field, got " + std::to_string(n);
    EXPECT_EQ(r.grayscale(wrong).error().message, message);
    EXPECT_EQ(r.colored(wrong, Palette::Gray).error().message, message);
  }
}

TEST(Flat, TableErrorsPassThroughUnchanged) {
  const Renderer r = renderer({2, 2});
  EXPECT_EQ(r.grayscale(std::vector<std::uint64_t>{4}).error().message,
            "Expected 2 divisors, got 1");
  EXPECT_EQ(r.colored(std::vector<std::uint64_t>{4, 0}, Palette::Gray).error().message,
            "Divisor cannot be 0");
}

}  // namespace
}  // namespace veldra
