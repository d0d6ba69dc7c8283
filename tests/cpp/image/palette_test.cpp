#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "image/palette.hpp"

namespace veldra {
namespace {

TEST(Palette, HalfwayChannelsRoundAwayFromZero) {
  EXPECT_EQ(color(Palette::Gray, 0.5), (Rgb{128, 128, 128}));
  EXPECT_EQ(color(Palette::Gray, 0.25), (Rgb{64, 64, 64}));
  EXPECT_EQ(color(Palette::BlueRed, 0.25), (Rgb{140, 175, 210}));
}

TEST(Palette, BlendsOnlyTheTwoNeighbouringStops) {
  EXPECT_EQ(color(Palette::BlueRed, 0.5), (Rgb{247, 247, 247}));
  EXPECT_EQ(color(Palette::Heat, 0.3), (Rgb{153, 16, 0}));
  EXPECT_EQ(color(Palette::Heat, 0.5), (Rgb{255, 80, 0}));
  EXPECT_EQ(color(Palette::Crimson, 0.5), (Rgb{179, 23, 58}));
  EXPECT_EQ(color(Palette::Terrain, 0.5), (Rgb{153, 174, 106}));
}

TEST(Palette, EndsAreClampedAndNaNIsBlack) {
  const struct {
    Palette palette;
    Rgb first, last;
  } ends[] = {
      {Palette::Gray, {0, 0, 0}, {255, 255, 255}},
      {Palette::BlueRed, {33, 102, 172}, {178, 24, 43}},
      {Palette::Heat, {0, 0, 0}, {255, 255, 255}},
      {Palette::Crimson, {92, 13, 33}, {226, 58, 104}},
      {Palette::Azure, {12, 30, 88}, {78, 132, 234}},
      {Palette::Terrain, {12, 44, 92}, {250, 250, 250}},
  };
  const double inf = std::numeric_limits<double>::infinity();
  for (const auto& e : ends) {
    SCOPED_TRACE(display_name(e.palette));
    EXPECT_EQ(color(e.palette, 0.0), e.first);
    EXPECT_EQ(color(e.palette, -3.0), e.first);
    EXPECT_EQ(color(e.palette, -inf), e.first);
    EXPECT_EQ(color(e.palette, 1.0), e.last);
    EXPECT_EQ(color(e.palette, 7.0), e.last);
    EXPECT_EQ(color(e.palette, inf), e.last);
    EXPECT_EQ(color(e.palette, std::nan("")), (Rgb{0, 0, 0}));
  }
}

TEST(Palette, DisplayNamesAreCamelCase) {
  EXPECT_EQ(display_name(Palette::BlueRed), "BlueRed");
  EXPECT_EQ(display_name(Palette::Terrain), "Terrain");
  EXPECT_EQ(display_name(Shape::Ridged), "Ridged");
}

}  // namespace
}  // namespace veldra
