#include "hair/detail/look.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "base/buffer.hpp"
#include "hair/detail/saturate.hpp"
#include "image/color_bytes.hpp"
#include "image/palette.hpp"
#include "image/shading.hpp"

namespace veldra {

namespace {

// A colour byte in linear light, narrowed to the 32 bits hair shades in.
float linear_float_from_byte(std::uint8_t c) { return static_cast<float>(linear_from_byte(c)); }

}  // namespace

Result<ColorMap> ColorMap::from_image(const Image& image) {
  const std::uint64_t count = image.pixels.size() / 3;
  auto colors = allocate<LinearRgb>(count);
  if (!colors) return std::unexpected(colors.error());
  // Each byte's decoding, once.
  std::array<float, 256> linear;
  for (int b = 0; b < 256; ++b) linear[b] = linear_float_from_byte(static_cast<std::uint8_t>(b));
  const std::uint8_t* bytes = image.pixels.data();
  for (std::uint64_t i = 0; i < count; ++i) {
    (*colors)[i] = {linear[bytes[3 * i]], linear[bytes[3 * i + 1]], linear[bytes[3 * i + 2]]};
  }
  return ColorMap{std::move(*colors), image.width, image.height};
}

Look Look::of(const Hair& hair, std::optional<ColorMap> color_map, std::uint64_t width,
              std::uint64_t height) {
  Look look;
  look.color_map = std::move(color_map);
  for (std::size_t k = 0; k < kTones; ++k) {
    Rgb c = veldra::color(hair.palette, static_cast<double>(k) / 255.0);
    look.tones[k] = {linear_float_from_byte(c[0]), linear_float_from_byte(c[1]),
                     linear_float_from_byte(c[2])};
  }
  for (std::size_t k = 0; k < kCurve; ++k) {
    const double t = static_cast<double>(k) / 1023.0;
    look.diffuse_curve[k] = static_cast<float>(hair.ambient + t * hair.diffuse);
    look.specular_curve[k] = static_cast<float>(hair.specular * std::pow(t, hair.gloss));
  }
  look.width = width;
  look.height = height;
  return look;
}

LinearRgb Look::color(double sin, float shade, std::array<double, 2> midpoint) const {
  if (!color_map) {
    const std::size_t k = std::min<std::uint64_t>(saturating_u64(sin * 1023.0), kCurve - 1);
    float b = shade * (diffuse_curve[k] + specular_curve[k]);
    if (!(b >= 0.0f)) b = 0.0f;  // also NaN
    if (b > 1.0f) b = 1.0f;
    return tones[saturating_u64(static_cast<double>(b * 255.0f))];
  }
  const LinearRgb base = mapped_base(midpoint);
  const float a0 = diffuse_curve[0];
  const float f = shade * (a0 + (1.0f - a0) * static_cast<float>(sin));
  return {base[0] * f, base[1] * f, base[2] * f};
}

namespace {

// i clamped to [0, last].
std::uint64_t clamp_index(std::int64_t i, std::uint64_t last) {
  if (i < 0) return 0;
  return std::min(static_cast<std::uint64_t>(i), last);
}

LinearRgb lerp(const LinearRgb& p, const LinearRgb& q, float f) {
  return {p[0] + (q[0] - p[0]) * f, p[1] + (q[1] - p[1]) * f, p[2] + (q[2] - p[2]) * f};
}

}  // namespace

// Bilinear sample of the colour map at `midpoint`, the map and the hair
// image seen as covering the same rectangle.
LinearRgb Look::mapped_base(std::array<double, 2> midpoint) const {
  const std::uint64_t w_map = color_map->width;
  const std::uint64_t h_map = color_map->height;
  if (w_map == 0 || h_map == 0 || width == 0 || height == 0) return {0.0f, 0.0f, 0.0f};
  const double u =
      (midpoint[0] + 0.5) * static_cast<double>(w_map) / static_cast<double>(width) - 0.5;
  const double v =
      (midpoint[1] + 0.5) * static_cast<double>(h_map) / static_cast<double>(height) - 0.5;
  const std::int32_t i = saturating_i32(std::floor(u));
  const std::int32_t j = saturating_i32(std::floor(v));
  const std::uint64_t xa = clamp_index(i, w_map - 1);
  const std::uint64_t xb = clamp_index(std::int64_t{i} + 1, w_map - 1);
  const std::uint64_t ya = clamp_index(j, h_map - 1);
  const std::uint64_t yb = clamp_index(std::int64_t{j} + 1, h_map - 1);
  const float fx = static_cast<float>(u - static_cast<double>(i));
  const float fy = static_cast<float>(v - static_cast<double>(j));
  const std::vector<LinearRgb>& map = color_map->colors;
  const LinearRgb upper = lerp(map[ya * w_map + xa], map[ya * w_map + xb], fx);
  const LinearRgb lower = lerp(map[yb * w_map + xa], map[yb * w_map + xb], fx);
  return lerp(upper, lower, fy);
}

}  // namespace veldra
