#include <gtest/gtest.h>

#include <cmath>

#include "support/test_support.hpp"

namespace veldra {
namespace {
using test::pixel;
using test::renderer_of;

// Lighting that leaves every base colour as it is.
Relief unlit(Palette palette) {
  Relief settings;
  settings.palette = palette;
  settings.ambient = 1.0;
  settings.diffuse = settings.specular = settings.occlusion = 0.0;
  return settings;
}

TEST(Relief, UnitDivisorsGiveOneFlatColourOfHeightHalfToTheGamma) {
  const std::uint64_t divisors[] = {1, 1};
  auto image = renderer_of({3, 5}).relief(divisors, unlit(Palette::Terrain));
  ASSERT_TRUE(image);
  ASSERT_EQ(image->pixels.size(), 6u * 4u * 3u);
  for (std::uint64_t k = 0; k < 24; ++k) {
    EXPECT_EQ(pixel(*image, k % 6, k / 6), color(Palette::Terrain, std::pow(0.5, 1.2)));
  }
}

TEST(Relief, AZeroOrNaNLightFallsBackToTheViewer) {
  const Renderer renderer = renderer_of({3, 3}, 2);
  const std::uint64_t divisors[] = {7, 5};
  Relief settings;
  settings.light = {0.0, 0.0, 1.0};
  const Image overhead = *renderer.relief(divisors, settings);
  for (std::array<double, 3> light : {std::array<double, 3>{0.0, 0.0, 0.0}, {NAN, 0.0, 0.0}}) {
    settings.light = light;
    EXPECT_EQ(renderer.relief(divisors, settings)->pixels, overhead.pixels);
  }
}

TEST(Relief, LightFromBehindLeavesOnlyTheAmbientLight) {
  const Renderer renderer = renderer_of({3, 3}, 2);
  const std::uint64_t divisors[] = {7, 5};
  Relief behind;
  behind.light = {0.0, 0.0, -1.0};
  Relief ambient_only;
  ambient_only.light = {0.0, 0.0, 1.0};
  ambient_only.diffuse = ambient_only.specular = 0.0;
  EXPECT_EQ(renderer.relief(divisors, behind)->pixels, renderer.relief(divisors, ambient_only)->pixels);
}

}  // namespace
}  // namespace veldra
