#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "image/relief_image.hpp"
#include "image/renderer.hpp"
#include "table/table.hpp"

namespace veldra {
namespace {

Renderer renderer_of(std::vector<std::uint64_t> dims, std::uint64_t seed) {
  return *Renderer::create(*Instance::create(std::move(dims), seed));
}

Rgb pixel(const Image& image, std::uint64_t row, std::uint64_t col) {
  const std::size_t at = (row * image.width + col) * 3;
  return {image.pixels[at], image.pixels[at + 1], image.pixels[at + 2]};
}

// Lighting that leaves every base colour as it is.
Relief unlit(Palette palette) {
  Relief settings;
  settings.palette = palette;
  settings.ambient = 1.0;
  settings.diffuse = 0.0;
  settings.specular = 0.0;
  settings.occlusion = 0.0;
  return settings;
}

TEST(Relief, NeedsATwoDimensionalFieldBeforeLookingAtTheDivisors) {
  const std::uint64_t one[] = {4};
  const std::uint64_t zero[] = {0, 1};
  EXPECT_EQ(renderer_of({2, 2, 2}, 1).relief(one, Relief{}).error().message,
            "This image needs a 2 dimensional field, got 3");
  // Table errors pass on unchanged.
  const Renderer renderer = renderer_of({2, 2}, 1);
  EXPECT_EQ(renderer.relief(one, Relief{}).error().message, "Expected 2 divisors, got 1");
  EXPECT_EQ(renderer.relief(zero, Relief{}).error().message, "Divisor cannot be 0");
}

TEST(Relief, UnitDivisorsGiveOneFlatColourPerIntersection) {
  const Renderer renderer = renderer_of({3, 5}, 7);
  const std::uint64_t divisors[] = {1, 1};
  for (const Relief& settings : {Relief{}, unlit(Palette::Terrain)}) {
    auto image = renderer.relief(divisors, settings);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width, 6u);
    EXPECT_EQ(image->height, 4u);
    EXPECT_EQ(image->channels, 3u);
    ASSERT_EQ(image->pixels.size(), 6u * 4u * 3u);
    for (std::uint64_t k = 0; k < 24; ++k) EXPECT_EQ(pixel(*image, k / 6, k % 6), pixel(*image, 0, 0));
  }
  // Every height of a flat field is 0.5 ^ gamma.
  auto plain = renderer.relief(divisors, unlit(Palette::Terrain));
  EXPECT_EQ(pixel(*plain, 2, 3), color(Palette::Terrain, std::pow(0.5, 1.2)));
}

TEST(Relief, UnlitPixelsShowTheirPaletteColourExactly) {
  const Renderer renderer = renderer_of({4, 3}, 11);
  const std::uint64_t divisors[] = {6, 5};
  Relief settings = unlit(Palette::Terrain);
  settings.shape = Shape::Smooth;
  settings.gamma = 1.0;
  auto image = renderer.relief(divisors, settings);
  ASSERT_TRUE(image);
  const Table table = *renderer.field().table(divisors);
  const auto [lo, hi] = std::minmax_element(table.values.begin(), table.values.end());
  for (std::uint64_t k = 0; k < table.values.size(); ++k) {
    const double t = (table.values[k] - *lo) / (*hi - *lo);
    ASSERT_EQ(pixel(*image, k / image->width, k % image->width), color(Palette::Terrain, t)) << k;
  }
}

TEST(Relief, AZeroOrNaNLightFallsBackToTheViewer) {
  const Renderer renderer = renderer_of({3, 3}, 2);
  const std::uint64_t divisors[] = {7, 7};
  Relief settings;
  settings.light = {0.0, 0.0, 1.0};
  const Image overhead = *renderer.relief(divisors, settings);
  for (std::array<double, 3> light : {std::array<double, 3>{0.0, 0.0, 0.0}, {NAN, 0.0, 0.0}}) {
    settings.light = light;
    EXPECT_EQ(renderer.relief(divisors, settings)->pixels, overhead.pixels);
  }
}

TEST(Relief, LightFromBehindLeavesOnlyTheAmbientLight) {
  // With the light behind the picture no face is lit, so only the ambient
  // light remains: no diffuse light and no highlight.
  const Renderer renderer = renderer_of({3, 3}, 2);
  const std::uint64_t divisors[] = {7, 7};
  Relief behind;
  behind.light = {0.0, 0.0, -1.0};
  Relief ambient_only;
  ambient_only.light = {0.0, 0.0, 1.0};
  ambient_only.diffuse = 0.0;
  ambient_only.specular = 0.0;
  EXPECT_EQ(renderer.relief(divisors, behind)->pixels, renderer.relief(divisors, ambient_only)->pixels);
}

TEST(Relief, ShadesBorderAndInteriorPixelsAsComputedByHand) {
  const Renderer renderer = renderer_of({3, 2}, 5);
  const std::uint64_t divisors[] = {5, 7};
  auto glossy = renderer.relief(divisors, Relief{});
  ASSERT_TRUE(glossy);
  ASSERT_EQ(glossy->width, 15u);
  ASSERT_EQ(glossy->height, 16u);
  EXPECT_EQ(pixel(*glossy, 0, 0), (Rgb{45, 11, 17}));
  EXPECT_EQ(pixel(*glossy, 0, 7), (Rgb{38, 2, 9}));
  EXPECT_EQ(pixel(*glossy, 15, 14), (Rgb{28, 1, 5}));
  EXPECT_EQ(pixel(*glossy, 7, 7), (Rgb{190, 58, 84}));
  EXPECT_EQ(pixel(*glossy, 8, 0), (Rgb{52, 3, 12}));

  Relief ridged;
  ridged.shape = Shape::Ridged;
  ridged.palette = Palette::Terrain;
  ridged.light = {0.3, -0.2, 0.5};
  ridged.gamma = 0.8;
  auto rocky = renderer.relief(divisors, ridged);
  ASSERT_TRUE(rocky);
  EXPECT_EQ(pixel(*rocky, 0, 0), (Rgb{255, 255, 255}));
  EXPECT_EQ(pixel(*rocky, 0, 7), (Rgb{245, 245, 245}));
  EXPECT_EQ(pixel(*rocky, 15, 14), (Rgb{220, 220, 220}));
  EXPECT_EQ(pixel(*rocky, 7, 7), (Rgb{67, 92, 102}));
  EXPECT_EQ(pixel(*rocky, 8, 0), (Rgb{134, 127, 120}));
}

TEST(Relief, IdenticalOnOneWorkerAndMany) {
  // 161 x 121 pixels: above the serial limit, and rows that do not split
  // evenly between the workers.
  const Renderer renderer = renderer_of({4, 5}, 8);
  const std::uint64_t divisors[] = {30, 32};
  for (Relief settings : {Relief{}, unlit(Palette::Azure)}) {
    settings.shape = Shape::Ridged;
    auto one = relief_image(renderer, divisors, settings, 1);
    ASSERT_TRUE(one);
    EXPECT_EQ(one->width * one->height, 161u * 121u);
    for (std::size_t workers : {2u, 3u, 7u, 200u}) {
      auto many = relief_image(renderer, divisors, settings, workers);
      ASSERT_TRUE(many);
      EXPECT_EQ(many->pixels, one->pixels) << workers << " workers";
    }
    EXPECT_EQ(renderer.relief(divisors, settings)->pixels, one->pixels);
  }
}

}  // namespace
}  // namespace veldra
