// Settings of a coat of hair grown from particles in a 2-D field.
#pragma once

#include <array>
#include <cstdint>

#include "base/error.hpp"
#include "image/image.hpp"
#include "image/palette.hpp"
#include "image/relief.hpp"
#include "image/renderer.hpp"

namespace veldra {

// The relief that colours the strands when none is given: the Relief
// defaults with a flatter height.
inline Relief hair_surface_defaults() {
  Relief surface;
  surface.height = 0.12;
  return surface;
}

// A plain record: nothing is enforced when it is built or changed; only
// check_hair() examines it, when a coat is rendered.
struct Hair {
  std::uint64_t count = 45000;
  std::uint64_t steps = 170;
  double step = 0.05;
  double force = 1.0;
  double drag = 3.0;
  double swirl = 62.0;  // degrees
  double thickness = 1.3;
  double opacity = 0.95;
  double frizz = 0.16;
  double jitter = 0.6;
  double depth = 0.6;
  double taper = 0.22;
  std::array<double, 2> light = {-0.55, -0.55};  // x across, y down
  double ambient = 0.13;
  double diffuse = 0.5;
  double specular = 0.62;
  double gloss = 14.0;
  bool color_from_field = false;
  Relief surface = hair_surface_defaults();
  Palette palette = Palette::Gray;
  std::uint64_t seed = 1;
};

// Success, or an invalid-input error naming the first of the thirteen
// checked fields (step, drag, force, thickness, opacity, frizz, jitter,
// depth, taper, ambient, diffuse, specular, gloss, in that order) that is
// out of range.
Status check_hair(const Hair& hair);

// A width x height coat of hair grown through the renderer's 2-D field, on
// every available processor, its colour map (with color_from_field) the
// renderer's relief. Fails as the pipeline does (hair/detail/pipeline.hpp).
Result<Image> render_hair(const Renderer& renderer, std::uint64_t width, std::uint64_t height,
                          const Hair& hair);

}  // namespace veldra
