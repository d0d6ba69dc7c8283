// The globe's per-pixel and per-image records: what the first pass finds
// at each pixel, and what the second pass shares to shade the sphere.
#pragma once

#include <array>
#include <cstdint>

#include "base/range.hpp"
#include "field/field.hpp"
#include "field/slice_noise.hpp"
#include "image/globe.hpp"
#include "image/renderer.hpp"
#include "image/shading.hpp"

namespace veldra {

// One pixel of the first pass. All zeros (Surface{}) when the pixel's
// centre lies outside the sphere; otherwise its coverage, the shaped height
// sample and the raw red, green and blue samples, rounded to 32 bits.
// Default initialisation writes nothing, so that a list of them is sized
// without a pass over memory on the calling thread.
struct Surface {
  float coverage;
  float height;
  float red;
  float green;
  float blue;
};

// Everything the second pass shares between pixels and threads; read-only
// once built. It refers to the field and the settings, which must outlive it.
struct Lit {
  const Field& field;
  const Globe& settings;
  std::array<double, 4> slices;  // fourth-axis coordinates: height, red, green, blue
  Range heights;                 // shaped height samples of the covered pixels
  Range colors;                  // red, green and blue samples of the covered pixels, together
  Vec3 light;                    // surface.light normalised, or (0, 0, 1)
  double radius;                 // of the sphere, in pixels
  std::uint64_t samples;
  double inverse_samples;  // 1 / samples
  Vec3 half;               // between the light and the viewer, computed once per image
  SliceNoise noise;        // the field on the four slices

  // The record for one image; `heights` and `colors` come from the first pass.
  static Lit make(const Field& field, const Globe& settings, double radius, const Range& heights,
                  const Range& colors);

  // The shaded colour of the sphere at unit vector `p` in linear light
  // (red, green, blue), not clamped.
  std::array<double, 3> point(const Vec3& p) const;

  // The height at unit vector `p`: shaped noise on the height slice,
  // normalised against `heights` (0.5 when flat) and raised to the surface gamma.
  double height_at(const Vec3& p) const;

  // The height of a raw noise sample `v` of the height slice, as height_at.
  double height_of(double v) const;
};

}  // namespace veldra
