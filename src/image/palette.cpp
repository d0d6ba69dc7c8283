#include "image/palette.hpp"

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

}  // namespace

std::span<const Rgb> palette_stops(Palette palette) {
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
