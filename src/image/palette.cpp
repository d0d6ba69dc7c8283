#include "image/palette.hpp"

#include <cmath>
#include <span>

namespace veldra {
namespace {

constexpr Rgb kGray[] = {{0, 0, 0}, {255, 255, 255}};
constexpr Rgb kBlueRed[] = {{33, 102, 172}, {247, 247, 247}, {178, 24, 43}};
constexpr Rgb kHeat[] = {{0, 0, 0}, {128, 0, 0}, {255, 80, 0}, {255, 200, 0}, {255, 255, 255}};
constexpr Rgb kCrimson[] = {{92, 13, 33},  {122, 16, 40}, {148, 18, 46}, {170, 21, 54},
                            {188, 25, 62}, {202, 31, 72}, {214, 40, 86}, {226, 58, 104}};
constexpr Rgb kAzure[] = {{12, 30, 88},  {15, 38, 118}, {18, 46, 146}, {22, 56, 172},
                          {28, 68, 192}, {38, 84, 208}, {54, 104, 220}, {78, 132, 234}};
constexpr Rgb kTerrain[] = {{12, 44, 92},  {40, 110, 170},  {214, 199, 138},
                            {92, 148, 74}, {120, 110, 100}, {250, 250, 250}};

std::span<const Rgb> stops(Palette palette) {
  switch (palette) {
    case Palette::Gray: return kGray;
    case Palette::BlueRed: return kBlueRed;
    case Palette::Heat: return kHeat;
    case Palette::Crimson: return kCrimson;
    case Palette::Azure: return kAzure;
    case Palette::Terrain: return kTerrain;
  }
  return kGray;
}

// Rounds half away from zero and caps at 255; NaN gives 0.
std::uint8_t channel_byte(double v) {
  if (!(v >= 0.0)) return 0;
  double rounded = std::round(v);
  return rounded >= 255.0 ? 255 : static_cast<std::uint8_t>(rounded);
}

}  // namespace

Rgb color(Palette palette, double position) {
  std::span<const Rgb> table = stops(palette);
  const std::size_t last = table.size() - 1;
  double t = position;
  if (position < 0.0) t = 0.0;
  if (position > 1.0) t = 1.0;
  double x = t * static_cast<double>(last);
  std::size_t i = x >= 0.0 ? static_cast<std::size_t>(x) : 0;  // NaN gives 0
  if (i > last) i = last;
  std::size_t j = i + 1 > last ? last : i + 1;
  double f = x - static_cast<double>(i);
  Rgb out;
  for (std::size_t c = 0; c < 3; ++c) {
    double a = table[i][c];
    double b = table[j][c];
    out[c] = channel_byte(a + f * (b - a));
  }
  return out;
}

std::string_view display_name(Palette palette) {
  switch (palette) {
    case Palette::Gray: return "Gray";
    case Palette::BlueRed: return "BlueRed";
    case Palette::Heat: return "Heat";
    case Palette::Crimson: return "Crimson";
    case Palette::Azure: return "Azure";
    case Palette::Terrain: return "Terrain";
  }
  return "Gray";
}

std::string_view display_name(Shape shape) {
  switch (shape) {
    case Shape::Smooth: return "Smooth";
    case Shape::Billow: return "Billow";
    case Shape::Ridged: return "Ridged";
  }
  return "Smooth";
}

}  // namespace veldra
