#include <gtest/gtest.h>

#include "support/test_support.hpp"

namespace veldra {
namespace {
using test::pixel;
using test::renderer_of;

TEST(Globe, TheSphereIsCentredOnTheShorterSideOverTheBackground) {
  // r = 0.92 * 16 / 2 = 7.36 around x = 32; with two samples per axis a
  // sample is touched up to a quarter pixel beyond the rim.
  Globe globe;
  globe.background = {200, 3, 90};
  auto image = renderer_of({2, 3, 2, 3}, 9).globe(64, 16, globe);
  ASSERT_TRUE(image);
  for (std::uint64_t row = 0; row < 16; ++row) {
    for (std::uint64_t col = 0; col < 64; ++col) {
      if (col <= 23 || col >= 40) {
        ASSERT_EQ(pixel(*image, col, row), globe.background) << col << ", " << row;
      }
    }
  }
  for (auto [col, row] : {std::pair{24, 8}, {39, 8}, {32, 0}}) EXPECT_NE(pixel(*image, col, row), globe.background);
}

TEST(Globe, EveryBackgroundByteSurvivesTheEncoding) {
  const Renderer renderer = renderer_of({2, 2, 2, 2}, 3);
  Globe globe;
  globe.fill = 0.5;
  for (int b = 0; b < 256; ++b) {
    globe.background = {static_cast<std::uint8_t>(b), static_cast<std::uint8_t>(255 - b),
                        static_cast<std::uint8_t>(b * 7)};
    ASSERT_EQ(pixel(*renderer.globe(8, 2, globe), 7, 1), globe.background) << b;
  }
}

TEST(Globe, OnePixelWithFullFillIsCoveredUnlessSupersampled) {
  const Renderer renderer = renderer_of({2, 2, 2, 2}, 4);
  Globe black;
  black.fill = 1.0;
  black.samples = 1;
  black.background = {0, 0, 0};
  Globe white = black;
  white.background = {255, 255, 255};
  EXPECT_EQ(renderer.globe(1, 1, black)->pixels, renderer.globe(1, 1, white)->pixels);
  black.samples = white.samples = 2;  // the corners of the pixel fall outside the sphere
  EXPECT_NE(renderer.globe(1, 1, black)->pixels, renderer.globe(1, 1, white)->pixels);
}

}  // namespace
}  // namespace veldra
