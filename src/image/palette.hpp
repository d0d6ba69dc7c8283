// Colour ramps and height shapes: small enumerations used by every
// coloured rendering.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "field/shape.hpp"
#include "image/color_bytes.hpp"

namespace veldra {

enum class Palette : std::uint8_t { Gray = 0, BlueRed = 1, Heat = 2, Crimson = 3, Azure = 4, Terrain = 5 };

using Rgb = std::array<std::uint8_t, 3>;

// The colours of `palette` at 0, 1 / (n - 1), ..., 1: its stops.
std::span<const Rgb> palette_stops(Palette palette);

// Rounds half away from zero and caps at 255; NaN gives 0.
inline std::uint8_t channel_byte(double v) {
  if (!(v >= 0.0)) return 0;
  if (v >= 254.5) return 255;  // what rounds to 255 or more
  return static_cast<std::uint8_t>(rounded(v));
}

// The colour at `position` of a palette of these `stops`, clamped to 0..1
// and blended linearly between the two neighbouring stops; NaN gives
// (0, 0, 0). Inline for the renderings that colour every pixel.
inline Rgb color(std::span<const Rgb> table, double position) {
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

// The colour of `palette` at `position`, as above.
inline Rgb color(Palette palette, double position) { return color(palette_stops(palette), position); }

// "Gray", "BlueRed", ...; "Smooth", "Billow", "Ridged".
std::string_view display_name(Palette palette);
std::string_view display_name(Shape shape);

}  // namespace veldra
