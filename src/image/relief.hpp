// Lighting and colour settings of a height map; also the surface of the
// globe and of the hair's colour map.
#pragma once

#include <array>

#include "image/palette.hpp"

namespace veldra {

// A plain record: nothing constrains its values, the renderers use
// whatever the fields hold. The defaults are the glossy liquid look.
struct Relief {
  Shape shape = Shape::Billow;
  Palette palette = Palette::Crimson;
  std::array<double, 3> light = {-0.55, -0.55, 0.63};  // towards the light: x right, y down, z out
  double height = 0.32;
  double gamma = 1.2;
  double occlusion = 0.78;
  double ambient = 0.24;
  double diffuse = 0.9;
  double specular = 0.45;
  double gloss = 80.0;
};

}  // namespace veldra
