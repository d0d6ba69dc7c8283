// The relief, whole or region by region: one height and one shading code
// path over a window of the whole image's table, so a region's pixels are
// the whole image's.
#include <algorithm>
#include <cmath>
#include <span>

#include "base/buffer.hpp"
#include "base/in_parallel.hpp"
#include "base/workers.hpp"
#include "image/detail/normalize.hpp"
#include "image/detail/relief_image.hpp"
#include "image/detail/relief_shading.hpp"
#include "image/detail/strips.hpp"
#include "image/regions.hpp"
#include "image/shading.hpp"
#include "table/table.hpp"

namespace veldra {
namespace {

// Turns the window's table values, in place, into heights: each value
// shaped, placed in `range` (the whole image's shaped values), clamped to
// 0..1 and raised to the gamma; 0.5 to the gamma without spread.
Status raise_heights(const HeightWindow& w, const Relief& settings, const Range& range,
                     std::size_t workers) {
  double* h = w.h;
  const std::uint64_t count = w.rows * w.width;
  if (!range.has_spread()) {
    std::fill(h, h + count, std::pow(0.5, settings.gamma));
    return {};
  }
  return for_each_chunk(count, SERIAL_LIMIT, [&](std::uint64_t begin, std::uint64_t end) {
    for (std::uint64_t k = begin; k < end; ++k) {
      h[k] = std::pow(clamp01(range.fraction(shaped(settings.shape, h[k]))), settings.gamma);
    }
  }, workers);
}

// Writes the relief pixels of image rows [top, top + rows) and columns
// [left, left + cols), all inside `w`, whose table values `w` holds, to
// `out`, row after row.
Status light_window(const HeightWindow& w, std::span<const std::uint64_t> divisors,
                    const Relief& settings, const Range& range, std::uint64_t top,
                    std::uint64_t left, std::uint64_t rows, std::uint64_t cols,
                    std::size_t workers, std::uint8_t* out) {
  if (auto raised = raise_heights(w, settings, range, workers); !raised) return raised;

  const Shading shading = Shading::of(w, settings, divisors);
  // Whole rows per worker: fewer than SERIAL_LIMIT pixels make fewer
  // than this many rows.
  const std::uint64_t serial_rows = (SERIAL_LIMIT + cols - 1) / cols;
  return for_each_chunk(rows, serial_rows, [&](std::uint64_t begin, std::uint64_t end) {
    for (std::uint64_t i = begin; i < end; ++i) {
      shade_row(shading, top + i, left, left + cols, out + i * cols * 3);
    }
  }, workers);
}

// The pixels of an image of rows x cols, or an out-of-memory error.
auto pixels_of(std::uint64_t rows, std::uint64_t cols)
    -> decltype(allocate_deferred<std::uint8_t>(0)) {
  const auto count = checked_mul(rows, cols);
  if (!count) return out_of_memory();
  if (!checked_mul(*count, 3)) return out_of_memory(*count, 3);
  return allocate_deferred<std::uint8_t>(*count * 3);
}

}  // namespace

Result<Image> relief_image(const Renderer& renderer, std::span<const std::uint64_t> divisors,
                           const Relief& settings, std::size_t workers) {
  auto table = renderer.table_of(2, divisors);
  if (!table) return std::unexpected(table.error());
  const std::uint64_t rows = table->shape[0];
  const std::uint64_t cols = table->shape[1];
  auto& values = table->values;
  Range range;
  if (auto widened = widen_folded(range, {values.data(), values.size(), 1}, settings.shape, workers);
      !widened) {
    return std::unexpected(widened.error());
  }
  const HeightWindow whole{values.data(), 0, 0, rows, cols, rows, cols};
  auto pixels = pixels_of(rows, cols);
  if (!pixels) return std::unexpected(pixels.error());
  if (auto lit = light_window(whole, divisors, settings, range, 0, 0, rows, cols, workers,
                              pixels->data());
      !lit) {
    return std::unexpected(lit.error());
  }
  return Image{std::move(*pixels), cols, rows, 3};
}

Result<Image> Renderer::relief(std::span<const std::uint64_t> divisors, const Relief& settings) const {
  return relief_image(*this, divisors, settings, available_processors());
}

Result<Image> relief_region(const Field& field, std::span<const std::uint64_t> divisors,
                            const Relief& settings, std::span<const std::uint64_t> start,
                            std::span<const std::uint64_t> shape, const Range& range) {
  auto layout = region_layout(field, divisors, start, shape);
  if (!layout) return std::unexpected(layout.error());
  const std::uint64_t image_rows = layout->shape[0];
  const std::uint64_t image_cols = layout->shape[1];
  auto pixels = pixels_of(shape[0], shape[1]);
  if (!pixels) return std::unexpected(pixels.error());
  // One more column on each side, where the image has one.
  const std::uint64_t left = start[1] > 0 ? start[1] - 1 : 0;
  const std::uint64_t width = std::min(start[1] + shape[1] + 1, image_cols) - left;
  // A strip of rows at a time, with one more row on each side where the
  // image has one: each strip's table is small enough to come from memory
  // already in use, and to stay in the cache while it is shaded.
  auto lit = for_each_strip(shape[0], width, [&](std::uint64_t first, std::uint64_t rows) -> Status {
    const std::uint64_t top = start[0] + first;
    const std::uint64_t from[2] = {top > 0 ? top - 1 : 0, left};
    const std::uint64_t extent[2] = {std::min(top + rows + 1, image_rows) - from[0], width};
    auto table = table_region(field, divisors, from, extent);
    if (!table) return std::unexpected(table.error());
    const HeightWindow window{table->values.data(), from[0], from[1], extent[0], extent[1],
                              image_rows, image_cols};
    return light_window(window, divisors, settings, range, top, start[1], rows, shape[1],
                        available_processors(), pixels->data() + first * shape[1] * 3);
  });
  if (!lit) return std::unexpected(lit.error());
  return Image{std::move(*pixels), shape[1], shape[0], 3};
}

}  // namespace veldra
