// Settings of the shaded sphere carved out of a four-dimensional field.
#pragma once

#include <array>
#include <cstdint>

#include "image/relief.hpp"

namespace veldra {

inline constexpr std::uint64_t MAX_SAMPLES = 8;

// The surface a Globe gets when none is given; not the Relief defaults.
inline Relief globe_surface_defaults() {
  Relief surface;
  surface.height = 0.9;
  surface.gamma = 1.6;
  surface.occlusion = 0.7;
  surface.ambient = 0.3;
  surface.diffuse = 1.2;
  surface.gloss = 300.0;
  return surface;
}

// Not validated when built or changed; `fill` (0 < fill <= 1) and `samples`
// (1 to MAX_SAMPLES) are checked when a globe is rendered.
struct Globe {
  Relief surface = globe_surface_defaults();
  bool rgb_from_fourth_axis = true;
  double fill = 0.92;
  std::array<std::uint8_t, 3> background = {7, 8, 12};
  std::uint64_t samples = 2;
};

}  // namespace veldra
