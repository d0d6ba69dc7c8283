#include <algorithm>
#include <cmath>

#include "base/buffer.hpp"
#include "base/in_parallel.hpp"
#include "base/workers.hpp"
#include "image/detail/normalize.hpp"
#include "image/detail/relief_image.hpp"
#include "image/encoded_steps.hpp"
#include "image/shading.hpp"
#include "table/table.hpp"

namespace veldra {
namespace {

// Slope between two samples of one row or column of heights, `steps`
// spacings apart; 0 when both are the same sample (an axis of length 1).
double slope(double low, double high, std::uint64_t steps, double spacing) {
  if (steps == 0) return 0.0;
  return (high - low) / (spacing * static_cast<double>(steps));
}

// What every pixel of one relief shares: its heights (rows x cols,
// row-major), the settings, and the light, half vector and spacings,
// computed once.
struct Shading {
  const double* h;
  std::uint64_t rows;
  std::uint64_t cols;
  const Relief& settings;
  Vec3 light;
  Vec3 half;
  double sy;  // between rows
  double sx;  // between columns
  const EncodedSteps& encode;
};

// Writes the three bytes of every pixel of row i to `out`.
void shade_row(const Shading& s, std::uint64_t i, std::uint8_t* out) {
  const Relief& settings = s.settings;
  const double* h = s.h;
  const std::uint64_t cols = s.cols;
  const std::uint64_t i0 = i > 0 ? i - 1 : 0;
  const std::uint64_t i1 = std::min(i + 1, s.rows - 1);
  const double* row = h + i * cols;
  for (std::uint64_t j = 0; j < cols; ++j) {
    const std::uint64_t j0 = j > 0 ? j - 1 : 0;
    const std::uint64_t j1 = std::min(j + 1, cols - 1);
    const double gy = slope(h[i0 * cols + j], h[i1 * cols + j], i1 - i0, s.sy);
    const double gx = slope(row[j0], row[j1], j1 - j0, s.sx);
    const Vec3 normal = unit_or_up({-settings.height * gx, -settings.height * gy, 1.0});

    const double height = row[j];
    const double d = std::fmax(dot(normal, s.light), 0.0);
    const double q = std::pow(std::fmax(dot(normal, s.half), 0.0), settings.gloss);
    const double a = 1.0 - settings.occlusion * (1.0 - height);
    const double k = settings.ambient + settings.diffuse * d;
    const double e = d * settings.specular * q;

    const Rgb base = color(settings.palette, height);
    for (std::size_t c = 0; c < 3; ++c) {
      const double lin = linear_from_byte(base[c]);
      *out++ = s.encode(a * (e + k * lin));
    }
  }
}

}  // namespace

Result<Image> relief_image(const Renderer& renderer, std::span<const std::uint64_t> divisors,
                           const Relief& settings, std::size_t workers) {
  auto table = renderer.table_of(2, divisors);
  if (!table) return std::unexpected(table.error());
  const std::uint64_t rows = table->shape[0];
  const std::uint64_t cols = table->shape[1];
  const std::uint64_t count = table->values.size();
  const auto byte_count = checked_mul(count, 3);
  if (!byte_count) return out_of_memory();
  // Every height is written below, on the workers where there is spread.
  auto heights = allocate_deferred<double>(count);
  if (!heights) return std::unexpected(heights.error());
  auto pixels = allocate<std::uint8_t>(*byte_count, 0);
  if (!pixels) return std::unexpected(pixels.error());

  // The table's own buffer becomes the array of shaped values.
  auto& values = table->values;
  auto shape_and_measure = [&](std::uint64_t begin, std::uint64_t end) {
    Range run;
    for (std::uint64_t k = begin; k < end; ++k) {
      values[k] = shaped(settings.shape, values[k]);
      run.add(values[k]);
    }
    return run;
  };
  Range range;
  auto measured = widen_by_runs(range, count, SERIAL_LIMIT, shape_and_measure, workers);
  if (!measured) return std::unexpected(measured.error());
  double* h = heights->data();
  if (range.has_spread()) {
    auto raised = for_each_chunk(count, SERIAL_LIMIT, [&](std::uint64_t begin, std::uint64_t end) {
      for (std::uint64_t k = begin; k < end; ++k) {
        h[k] = std::pow(clamp01(range.fraction(values[k])), settings.gamma);
      }
    }, workers);
    if (!raised) return std::unexpected(raised.error());
  } else {
    std::fill(heights->begin(), heights->end(), std::pow(0.5, settings.gamma));
  }

  const Vec3 light = unit_or_up({settings.light[0], settings.light[1], settings.light[2]});
  const Shading shading{h,
                        rows,
                        cols,
                        settings,
                        light,
                        half_vector(light),
                        1.0 / static_cast<double>(divisors[0]),
                        1.0 / static_cast<double>(divisors[1]),
                        EncodedSteps::table()};
  // Whole rows per worker: fewer than SERIAL_LIMIT pixels make fewer
  // than this many rows.
  const std::uint64_t serial_rows = (SERIAL_LIMIT + cols - 1) / cols;
  std::uint8_t* out = pixels->data();
  auto shaded = for_each_chunk(rows, serial_rows, [&](std::uint64_t begin, std::uint64_t end) {
    for (std::uint64_t i = begin; i < end; ++i) shade_row(shading, i, out + i * cols * 3);
  }, workers);
  if (!shaded) return std::unexpected(shaded.error());
  return Image{std::move(*pixels), cols, rows, 3};
}

Result<Image> Renderer::relief(std::span<const std::uint64_t> divisors, const Relief& settings) const {
  return relief_image(*this, divisors, settings, available_processors());
}

}  // namespace veldra
