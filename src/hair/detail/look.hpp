// Shading of hair: palette tones, sampled lighting curves and the optional
// colour map of the field, built once per rendering and then only read.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "base/error.hpp"
#include "hair/hair.hpp"
#include "image/image.hpp"

namespace veldra {

// A colour in linear light: red, green, blue, each in [0, 1].
using LinearRgb = std::array<float, 3>;

// A colour image decoded to linear light. `colors` is row-major from the
// top row, left to right: width * height entries.
struct ColorMap {
  std::vector<LinearRgb> colors;
  std::uint64_t width = 0;
  std::uint64_t height = 0;

  // Decodes a three-channel image pixel by pixel; fails only with an
  // out-of-memory error.
  static Result<ColorMap> from_image(const Image& image);
};

struct Look {
  static constexpr std::size_t kTones = 256;
  static constexpr std::size_t kCurve = 1024;

  std::optional<ColorMap> color_map;  // present when colours come from the field
  std::array<LinearRgb, kTones> tones;         // palette at k / 255, linear
  std::array<float, kCurve> diffuse_curve;     // ambient + diffuse * (k / 1023)
  std::array<float, kCurve> specular_curve;    // specular * (k / 1023)^gloss
  std::uint64_t width = 0;                     // of the hair image, in pixels
  std::uint64_t height = 0;

  // The shading of `hair` for an image of width x height pixels; takes over
  // `color_map`.
  static Look of(const Hair& hair, std::optional<ColorMap> color_map, std::uint64_t width,
                 std::uint64_t height);

  // The colour of a segment whose angle to the light has sine `sin` (in
  // [0, 1]), of a strand with brightness `shade`, with its midpoint at
  // `midpoint` (x, y) in pixel coordinates.
  LinearRgb color(double sin, float shade, std::array<double, 2> midpoint) const;

 private:
  LinearRgb mapped_base(std::array<double, 2> midpoint) const;
};

}  // namespace veldra
