#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "image/globe_image.hpp"
#include "image/renderer.hpp"

namespace veldra {
namespace {

Renderer renderer_of(std::vector<std::uint64_t> dims, std::uint64_t seed) {
  return *Renderer::create(*Instance::create(std::move(dims), seed));
}

Rgb pixel(const Image& image, std::uint64_t col, std::uint64_t row) {
  const std::size_t at = (row * image.width + col) * 3;
  return {image.pixels[at], image.pixels[at + 1], image.pixels[at + 2]};
}

std::string message(const Result<Image>& image) { return image ? "(an image)" : image.error().message; }

Globe with(double fill, std::uint64_t samples) {
  Globe globe;
  globe.fill = fill;
  globe.samples = samples;
  return globe;
}

TEST(Globe, ChecksComeInOrderWithTheirMessages) {
  EXPECT_EQ(message(renderer_of({2, 2, 2}, 1).globe(0, 0, with(2.0, 9))),
            "This image needs a 4 dimensional field, got 3");
  const Renderer renderer = renderer_of({2, 2, 2, 2}, 1);
  EXPECT_EQ(message(renderer.globe(0, 5, with(1.5, 9))), "An image needs a positive width and height");
  EXPECT_EQ(message(renderer.globe(5, 0, with(0.5, 2))), "An image needs a positive width and height");
  EXPECT_EQ(message(renderer.globe(4, 4, with(1.5, 9))), "Fill has to be above 0 and at most 1, got 1.5");
  EXPECT_EQ(message(renderer.globe(4, 4, with(0.0, 2))), "Fill has to be above 0 and at most 1, got 0");
  EXPECT_EQ(message(renderer.globe(4, 4, with(NAN, 2))), "Fill has to be above 0 and at most 1, got NaN");
  EXPECT_EQ(message(renderer.globe(4, 4, with(1.0, 9))), "Samples has to be between 1 and 8, got 9");
  EXPECT_EQ(message(renderer.globe(4, 4, with(0.5, 0))), "Samples has to be between 1 and 8, got 0");
}

TEST(Globe, AcceptsOneToEightSamples) {
  const Renderer renderer = renderer_of({2, 2, 2, 2}, 1);
  for (std::uint64_t samples : {1u, 8u}) {
    auto image = renderer.globe(12, 10, with(0.9, samples));
    ASSERT_TRUE(image) << samples;
    EXPECT_EQ(image->width * 100 + image->height, 1210u);
    EXPECT_EQ(image->channels, 3u);
    EXPECT_EQ(image->pixels.size(), 12u * 10u * 3u);
  }
}

TEST(Globe, SizesBeyondMemoryAreOutOfMemory) {
  const Renderer renderer = renderer_of({2, 2, 2, 2}, 1);
  const std::uint64_t big = std::uint64_t{1} << 32;
  for (auto [width, height] : {std::pair{big, big}, std::pair{std::uint64_t{1} << 63, std::uint64_t{1}},
                               std::pair{std::uint64_t{1} << 31, std::uint64_t{1} << 31}}) {
    auto image = renderer.globe(width, height, Globe{});
    ASSERT_FALSE(image);
    EXPECT_EQ(image.error().kind, ErrorKind::OutOfMemory);
  }
  // The checks still come first.
  EXPECT_EQ(message(renderer.globe(big, big, with(2.0, 2))), "Fill has to be above 0 and at most 1, got 2");
}

TEST(Globe, AWideImageCentresTheSphereOnTheShorterSide) {
  // r = 0.92 * 16 / 2 = 7.36 around x = 32; with two samples per axis a
  // sample is touched up to a quarter pixel beyond the rim.
  const Renderer renderer = renderer_of({2, 3, 2, 3}, 9);
  Globe globe;
  globe.background = {200, 3, 90};
  auto image = renderer.globe(64, 16, globe);
  ASSERT_TRUE(image);
  const Rgb background = globe.background;
  for (std::uint64_t row = 0; row < 16; ++row) {
    for (std::uint64_t col = 0; col < 64; ++col) {
      if (col <= 23 || col >= 40) {
        ASSERT_EQ(pixel(*image, col, row), background) << col << ", " << row;
      }
    }
  }
  EXPECT_NE(pixel(*image, 24, 8), background);
  EXPECT_NE(pixel(*image, 39, 8), background);
  EXPECT_NE(pixel(*image, 32, 0), background);
}

TEST(Globe, PixelsFarOutsideShowTheBackgroundByteForByte) {
  const Renderer renderer = renderer_of({2, 2, 2, 2}, 3);
  Globe globe = with(0.5, 2);
  for (int b = 0; b < 256; ++b) {
    globe.background = {static_cast<std::uint8_t>(b), static_cast<std::uint8_t>(255 - b),
                        static_cast<std::uint8_t>(b * 7)};
    auto image = renderer.globe(8, 2, globe);
    ASSERT_TRUE(image);
    ASSERT_EQ(pixel(*image, 0, 0), globe.background) << b;
    ASSERT_EQ(pixel(*image, 7, 1), globe.background) << b;
  }
}

TEST(Globe, OnePixelWithFullFillIsFullyCovered) {
  const Renderer renderer = renderer_of({2, 2, 2, 2}, 4);
  Globe black = with(1.0, 1);
  black.background = {0, 0, 0};
  Globe white = black;
  white.background = {255, 255, 255};
  EXPECT_EQ(renderer.globe(1, 1, black)->pixels, renderer.globe(1, 1, white)->pixels);
  // Supersampled, the corners of the pixel fall outside the sphere.
  black.samples = white.samples = 2;
  EXPECT_NE(renderer.globe(1, 1, black)->pixels, renderer.globe(1, 1, white)->pixels);
}

TEST(Globe, ShadesPixelsAsComputedByHand) {
  const Renderer renderer = renderer_of({2, 3, 2, 3}, 9);
  auto coloured = renderer.globe(23, 17, Globe{});
  ASSERT_TRUE(coloured);
  EXPECT_EQ(pixel(*coloured, 11, 8), (Rgb{103, 120, 88}));
  EXPECT_EQ(pixel(*coloured, 4, 8), (Rgb{41, 107, 100}));
  EXPECT_EQ(pixel(*coloured, 11, 1), (Rgb{95, 131, 127}));
  EXPECT_EQ(pixel(*coloured, 18, 12), (Rgb{15, 21, 43}));
  EXPECT_EQ(pixel(*coloured, 11, 0), (Rgb{53, 54, 54}));  // on the rim
  EXPECT_EQ(pixel(*coloured, 3, 8), (Rgb{42, 80, 52}));

  // A broad, strong highlight on low ground, so that its weighting counts.
  Globe terrain = with(1.0, 3);
  terrain.rgb_from_fourth_axis = false;
  terrain.surface.shape = Shape::Ridged;
  terrain.surface.palette = Palette::Terrain;
  terrain.surface.specular = 2.0;
  terrain.surface.gloss = 4.0;
  terrain.surface.occlusion = 0.9;
  auto paletted = renderer.globe(23, 17, terrain);
  ASSERT_TRUE(paletted);
  EXPECT_EQ(pixel(*paletted, 11, 8), (Rgb{69, 72, 49}));
  EXPECT_EQ(pixel(*paletted, 4, 8), (Rgb{111, 119, 109}));
  EXPECT_EQ(pixel(*paletted, 8, 5), (Rgb{124, 127, 105}));
  EXPECT_EQ(pixel(*paletted, 14, 11), (Rgb{127, 133, 117}));
  EXPECT_EQ(pixel(*paletted, 6, 10), (Rgb{162, 165, 132}));
  EXPECT_EQ(pixel(*paletted, 18, 12), (Rgb{15, 20, 28}));
  EXPECT_EQ(pixel(*paletted, 11, 0), (Rgb{221, 218, 215}));
  EXPECT_EQ(pixel(*paletted, 19, 8), (Rgb{85, 86, 77}));
}

TEST(Globe, IdenticalOnOneWorkerAndMany) {
  const Renderer renderer = renderer_of({2, 3, 2, 3}, 9);
  Globe globe = with(0.95, 1);
  globe.rgb_from_fourth_axis = false;  // fewer samples per pixel keeps this quick
  auto one = globe_image(renderer, 160, 120, globe, 1);
  ASSERT_TRUE(one);
  for (std::size_t workers : {2u, 3u, 7u}) {
    auto many = globe_image(renderer, 160, 120, globe, workers);
    ASSERT_TRUE(many);
    EXPECT_EQ(many->pixels, one->pixels) << workers << " workers";
  }
  EXPECT_EQ(renderer.globe(160, 120, globe)->pixels, one->pixels);
}

}  // namespace
}  // namespace veldra
