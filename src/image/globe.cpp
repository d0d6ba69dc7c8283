#include <algorithm>
#include <array>
#include <string>

#include "base/buffer.hpp"
#include "base/float_text.hpp"
#include "base/in_parallel.hpp"
#include "base/workers.hpp"
#include "field/slice_noise.hpp"
#include "image/color_bytes.hpp"
#include "image/detail/globe_image.hpp"
#include "image/detail/lit.hpp"
#include "image/detail/sphere.hpp"
#include "image/encoded_steps.hpp"

namespace veldra {
namespace {

Status check_globe(const Renderer& renderer, std::uint64_t width, std::uint64_t height,
                   const Globe& settings) {
  if (auto dims = renderer.expect_dims(4); !dims) return dims;
  if (width == 0 || height == 0) return invalid_input("An image needs a positive width and height");
  if (!(settings.fill > 0.0 && settings.fill <= 1.0)) {
    return invalid_input("Fill has to be above 0 and at most 1, got " + plain_float(settings.fill));
  }
  if (settings.samples < 1 || settings.samples > MAX_SAMPLES) {
    return invalid_input("Samples has to be between 1 and " + std::to_string(MAX_SAMPLES) + ", got " +
                         std::to_string(settings.samples));
  }
  return {};
}

// The first pass at the centre of the pixel in column i and row j.
Surface surface_at(const Field& field, const SliceNoise& noise, const Sphere& sphere, Shape shape,
                   std::uint64_t i, std::uint64_t j) {
  const Disc at = sphere.at(static_cast<double>(i) + 0.5, static_cast<double>(j) + 0.5);
  const double c = sphere.coverage(at, 1.0);
  if (c <= 0.0) return Surface{};
  double v[4];
  noise.sample(lattice_xyz(field, Sphere::surface_point(at)), 0, 4, v);
  return Surface{static_cast<float>(c), static_cast<float>(shaped(shape, v[0])), static_cast<float>(v[1]),
                 static_cast<float>(v[2]), static_cast<float>(v[3])};
}

// The second pass: the pixel in column i and row j, supersampled and
// blended with the background (in linear light) by its uncovered share.
Rgb shade_pixel(const Lit& lit, const Sphere& sphere, const std::array<double, 3>& background,
                const EncodedSteps& encode, std::uint64_t i, std::uint64_t j) {
  const std::uint64_t n = lit.samples;
  const double s = lit.inverse_samples;
  double sums[3] = {0.0, 0.0, 0.0};
  double covered = 0.0;
  for (std::uint64_t q = 0; q < n; ++q) {
    for (std::uint64_t p = 0; p < n; ++p) {
      const Disc at = sphere.at(static_cast<double>(i) + (static_cast<double>(p) + 0.5) * s,
                                static_cast<double>(j) + (static_cast<double>(q) + 0.5) * s);
      const double c = sphere.coverage(at, s);
      if (c <= 0.0) continue;
      const std::array<double, 3> rgb = lit.point(Sphere::surface_point(at));
      for (std::size_t ch = 0; ch < 3; ++ch) sums[ch] += c * rgb[ch];
      covered += c;
    }
  }
  const double m = static_cast<double>(n * n);
  Rgb out;
  for (std::size_t ch = 0; ch < 3; ++ch) {
    out[ch] = encode(sums[ch] / m + (1.0 - covered / m) * background[ch]);
  }
  return out;
}

}  // namespace

Result<Image> globe_image(const Renderer& renderer, std::uint64_t width, std::uint64_t height,
                          const Globe& settings, std::size_t workers) {
  if (auto checked = check_globe(renderer, width, height, settings); !checked) {
    return std::unexpected(checked.error());
  }
  const auto pixel_count = checked_mul(width, height);
  const auto byte_count = pixel_count ? checked_mul(*pixel_count, 3) : std::nullopt;
  if (!byte_count) return out_of_memory();

  const Field& field = renderer.field();
  const Sphere sphere = Sphere::centred(width, height, settings.fill);
  const std::array<double, 4> slices = fourth_axis_slices(field);
  const SliceNoise noise(field, slices);
  const Shape shape = settings.surface.shape;

  Range heights;
  Range colors;
  {
    auto surfaces = in_parallel<Surface>(
        *pixel_count, SERIAL_LIMIT,
        [&](std::uint64_t k) { return surface_at(field, noise, sphere, shape, k % width, k / width); },
        workers);
    if (!surfaces) return std::unexpected(surfaces.error());
    // The ranges of consecutive pieces, merged in order: the same bits as
    // one pass adding every covered pixel's samples in pixel order.
    struct Ranges {
      Range heights;
      Range colors;
    };
    auto partials = per_chunk<Ranges>(*pixel_count, SERIAL_LIMIT, [&](std::uint64_t begin, std::uint64_t end) {
      Ranges piece;
      for (std::uint64_t k = begin; k < end; ++k) {
        const Surface& s = (*surfaces)[k];
        if (!(s.coverage > 0.0f)) continue;
        piece.heights.add(s.height);
        piece.colors.add(s.red);
        piece.colors.add(s.green);
        piece.colors.add(s.blue);
      }
      return piece;
    }, workers);
    if (!partials) return std::unexpected(partials.error());
    for (const Ranges& piece : *partials) {
      heights.merge(piece.heights);
      colors.merge(piece.colors);
    }
  }  // the records served only to find the ranges

  const Lit lit = Lit::make(field, settings, sphere.radius, heights, colors);
  std::array<double, 3> background;
  for (std::size_t ch = 0; ch < 3; ++ch) {
    background[ch] = srgb_decode(static_cast<double>(settings.background[ch]) / 255.0);
  }

  const EncodedSteps& encode = EncodedSteps::table();
  auto pixels = allocate_deferred<std::uint8_t>(*byte_count);
  if (!pixels) return std::unexpected(pixels.error());
  std::uint8_t* out = pixels->data();
  auto shaded = for_each_chunk(*pixel_count, SERIAL_LIMIT, [&](std::uint64_t begin, std::uint64_t end) {
    for (std::uint64_t k = begin; k < end; ++k) {
      const Rgb rgb = shade_pixel(lit, sphere, background, encode, k % width, k / width);
      std::copy(rgb.begin(), rgb.end(), out + 3 * k);
    }
  }, workers);
  if (!shaded) return std::unexpected(shaded.error());
  return Image{std::move(*pixels), width, height, 3};
}

Result<Image> Renderer::globe(std::uint64_t width, std::uint64_t height, const Globe& settings) const {
  return globe_image(*this, width, height, settings, available_processors());
}

}  // namespace veldra
