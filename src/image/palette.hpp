// Colour ramps and height shapes: small enumerations used by every
// coloured rendering.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "field/shape.hpp"

namespace veldra {

enum class Palette : std::uint8_t { Gray = 0, BlueRed = 1, Heat = 2, Crimson = 3, Azure = 4, Terrain = 5 };

using Rgb = std::array<std::uint8_t, 3>;

// The colour of `palette` at `position`, clamped to 0..1 and blended
// linearly between the two neighbouring stops; NaN gives (0, 0, 0).
Rgb color(Palette palette, double position);

// "Gray", "BlueRed", ...; "Smooth", "Billow", "Ridged".
std::string_view display_name(Palette palette);
std::string_view display_name(Shape shape);

}  // namespace veldra
