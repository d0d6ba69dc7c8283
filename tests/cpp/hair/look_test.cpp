#include <limits>

#include <gtest/gtest.h>

#include "hair/detail/look.hpp"

namespace veldra {
namespace {

TEST(Look, GrayTonesAndCurvesEndAtTheirWeights) {
  const Hair hair;
  const Look look = Look::of(hair, std::nullopt, 10, 10);
  EXPECT_EQ(look.tones[0], (LinearRgb{0.0f, 0.0f, 0.0f}));
  EXPECT_EQ(look.tones[255], (LinearRgb{1.0f, 1.0f, 1.0f}));
  EXPECT_EQ(look.diffuse_curve[0], static_cast<float>(hair.ambient));
  EXPECT_EQ(look.diffuse_curve[1023], static_cast<float>(hair.ambient + hair.diffuse));
  EXPECT_EQ(look.specular_curve[0], 0.0f);
  EXPECT_EQ(look.specular_curve[1023], static_cast<float>(hair.specular));
}

TEST(Look, BrightnessPicksThePaletteTone) {
  const Look look = Look::of(Hair{}, std::nullopt, 10, 10);
  // Along the light only the ambient term is left: trunc(0.13 * 255) = 33.
  EXPECT_EQ(look.color(0.0, 1.0f, {5.0, 5.0}), look.tones[33]);
  EXPECT_NE(look.tones[33], look.tones[32]);
  // Across it, 0.13 + 0.5 + 0.62 is clamped to the last tone.
  EXPECT_EQ(look.color(1.0, 1.0f, {5.0, 5.0}), look.tones[255]);
  EXPECT_EQ(look.color(1.0, std::numeric_limits<float>::quiet_NaN(), {5.0, 5.0}), look.tones[0]);
}

TEST(Look, MapIsSampledBilinearlyAndDimmedByAmbientAndShade) {
  Hair hair;
  hair.ambient = 1.0;
  // A 2 x 1 map over a 4 x 2 image: the centres of pixels 0 and 2 fall on
  // the map's centres, x = 1.5 lies halfway, and the corner clamps.
  const Look look = Look::of(hair, ColorMap{{{0.1f, 0.2f, 0.4f}, {0.3f, 0.2f, 0.0f}}, 2, 1}, 4, 2);
  EXPECT_EQ(look.color(0.0, 1.0f, {0.5, 0.5}), (LinearRgb{0.1f, 0.2f, 0.4f}));
  EXPECT_EQ(look.color(0.7, 0.5f, {0.0, 0.0}), (LinearRgb{0.05f, 0.1f, 0.2f}));
  EXPECT_EQ(look.color(0.3, 1.0f, {1.5, 1.0})[0], 0.1f + (0.3f - 0.1f) * 0.5f);
  EXPECT_EQ(look.color(1.0, 1.0f, {2.5, 0.5}), (LinearRgb{0.3f, 0.2f, 0.0f}));

  hair.ambient = 0.25;
  hair.diffuse = hair.specular = hair.gloss = 1.0;  // no part in mapped colours
  const Look one_pixel = Look::of(hair, ColorMap{{{0.5f, 0.25f, 1.0f}}, 1, 1}, 30, 20);
  const float f = 0.5f * (0.25f + 0.75f * 0.5f);
  EXPECT_EQ(one_pixel.color(0.5, 0.5f, {29.0, 3.0}), (LinearRgb{0.5f * f, 0.25f * f, 1.0f * f}));
}

}  // namespace
}  // namespace veldra
