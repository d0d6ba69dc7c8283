// A relief's pixels from its heights: the shading of one row, one pixel at
// a time or, on processors with AVX2, four interior pixels at a time in
// lanes that do each pixel's IEEE operations in its order (the same bytes).
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "base/simd.hpp"
#include "image/detail/lit_bytes.hpp"
#include "image/encoded_steps.hpp"
#include "image/palette.hpp"
#include "image/relief.hpp"
#include "image/shading.hpp"

// Vector forms return vectors; they are always inlined into the AVX2 code
// that instantiates them, so the ABI note that the baseline build would give
// for them does not apply.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"

namespace veldra {

// Rows [top, top + rows) and columns [left, left + width) of the heights
// of an image of image_rows x image_cols pixels, row-major. Shading pixel
// (i, j) reads rows i - 1 to i + 1 and columns j - 1 to j + 1, clipped to
// the image, so the window must hold those.
struct HeightWindow {
  double* h;
  std::uint64_t top;
  std::uint64_t left;
  std::uint64_t rows;
  std::uint64_t width;
  std::uint64_t image_rows;
  std::uint64_t image_cols;

  // Image row i, indexed by image column minus `left`.
  const double* row(std::uint64_t i) const { return h + (i - top) * width; }
};

// What every pixel of one relief shares: its heights, the settings, and
// the light, half vector and spacings, computed once.
struct Shading {
  HeightWindow heights;
  const Relief& settings;
  Vec3 light;
  Vec3 half;
  double sy;  // between rows
  double sx;  // between columns
  const EncodedSteps& encode;
  std::span<const Rgb> palette;
  const std::array<double, 256>& linear;  // linear_from_bytes()
  HighlightPower power;

  // The shading of the heights in `window` for a relief of `settings`
  // whose table was cut `divisors` times (rows, columns).
  static Shading of(const HeightWindow& window, const Relief& settings,
                    std::span<const std::uint64_t> divisors);
};

// The spacing between two samples of one row or column of heights that
// lie `steps` samples apart: one number for a whole row or column.
inline double spacing_of(std::uint64_t steps, double spacing) {
  return spacing * static_cast<double>(steps);
}

// The slope between heights `low` and `high` lying `steps` samples and
// `between` (spacing_of) apart; 0 when both are the same sample (an axis
// of length 1). Lane by lane for a vector T.
template <typename T>
[[gnu::always_inline]] inline T slope(const T& low, const T& high, std::uint64_t steps, double between) {
  if (steps == 0) return T{};
  return (high - low) / between;
}

// A pixel's numbers before its colour, from its slopes gx and gy and its
// height: its light's diffuse part d and ambient-plus-diffuse factor k,
// its occlusion factor a, the highlight's base x (the normal's cosine
// with the half vector) and factor p. Lane by lane for a vector T.
template <typename T>
struct PixelTerms {
  T x;
  T p;
  T a;
  T k;
};
template <typename T>
[[gnu::always_inline]] inline PixelTerms<T> pixel_terms(const Shading& s, const T& gx, const T& gy,
                                                        const T& height) {
  const Relief& settings = s.settings;
  const Vec3Of<T> normal =
      unit_or_up(Vec3Of<T>{-settings.height * gx, -settings.height * gy, T{} + 1.0});
  const T d = positive_part(dot(normal, s.light));
  const T a = 1.0 - settings.occlusion * (1.0 - height);
  const T k = settings.ambient + settings.diffuse * d;
  return {positive_part(dot(normal, s.half)), d * settings.specular, a, k};
}

// Writes the three bytes of pixels [first, end) of image row i to `out`;
// the bytes do not depend on `simd`, which the processor must execute.
void shade_row(const Shading& s, std::uint64_t i, std::uint64_t first, std::uint64_t end,
               std::uint8_t* out, Simd simd = widest_simd());

}  // namespace veldra

#pragma GCC diagnostic pop
