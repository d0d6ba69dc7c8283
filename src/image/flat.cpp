// Greyscale and palette images of a two-dimensional field, whole or region
// by region, and the value ranges of regions. The table is row-major with
// axis 0 slowest, so its values come out in pixel order; a region's bytes
// come from the same kernels (normalize.hpp) and so are the whole image's.
#include "base/buffer.hpp"
#include "image/detail/normalize.hpp"
#include "image/detail/strips.hpp"
#include "image/regions.hpp"
#include "image/renderer.hpp"
#include "table/table.hpp"

namespace veldra {
namespace {

StridedValues all_of(const Table& table) { return {table.values.data(), table.values.size(), 1}; }

// The greyscale image of a 2-D table under `range`.
Result<Image> gray_image(const Table& table, const Range& range) {
  auto pixels = allocate_deferred<std::uint8_t>(table.values.size());
  if (!pixels) return std::unexpected(pixels.error());
  if (auto filled = fill_bytes(range, all_of(table), pixels->data(), 1); !filled) {
    return std::unexpected(filled.error());
  }
  return Image{std::move(*pixels), table.shape[1], table.shape[0], 1};
}

// The palette image of a 2-D table under `range`.
Result<Image> palette_image(const Table& table, Palette palette, const Range& range) {
  // The table already holds 8 bytes per value, so 3 per value cannot overflow.
  auto pixels = allocate_deferred<std::uint8_t>(3 * table.values.size());
  if (!pixels) return std::unexpected(pixels.error());
  if (auto filled = fill_colors(range, all_of(table), palette, pixels->data()); !filled) {
    return std::unexpected(filled.error());
  }
  return Image{std::move(*pixels), table.shape[1], table.shape[0], 3};
}

// The whole table of a 2-D field and the range of its values.
struct Measured {
  Table table;
  Range range;
};

Result<Measured> measured_table(const Renderer& renderer, std::span<const std::uint64_t> divisors) {
  auto table = renderer.table_of(2, divisors);
  if (!table) return std::unexpected(table.error());
  Range range;
  if (auto widened = widen(range, all_of(*table)); !widened) return std::unexpected(widened.error());
  return Measured{std::move(*table), range};
}

// The region's table values, after the checks every region makes.
Result<Table> region_table(const Field& field, std::span<const std::uint64_t> divisors,
                           std::span<const std::uint64_t> start,
                           std::span<const std::uint64_t> shape) {
  if (auto fits = expect_dims(field, 2); !fits) return std::unexpected(fits.error());
  return table_region(field, divisors, start, shape);
}

}  // namespace

Result<Image> Renderer::grayscale(std::span<const std::uint64_t> divisors) const {
  auto whole = measured_table(*this, divisors);
  if (!whole) return std::unexpected(whole.error());
  return gray_image(whole->table, whole->range);
}

Result<Image> Renderer::colored(std::span<const std::uint64_t> divisors, Palette palette) const {
  auto whole = measured_table(*this, divisors);
  if (!whole) return std::unexpected(whole.error());
  return palette_image(whole->table, palette, whole->range);
}

Result<Range> value_range(const Field& field, std::span<const std::uint64_t> divisors,
                          std::span<const std::uint64_t> start,
                          std::span<const std::uint64_t> shape, std::optional<Shape> fold) {
  if (auto layout = region_layout(field, divisors, start, shape); !layout) {
    return std::unexpected(layout.error());
  }
  // A strip of rows at a time, each strip's range merged in order: the very
  // bits of one pass over the region.
  Range range;
  auto measured = for_each_strip(shape[0], shape[1], [&](std::uint64_t first, std::uint64_t rows) -> Status {
    const std::uint64_t from[2] = {start[0] + first, start[1]};
    const std::uint64_t extent[2] = {rows, shape[1]};
    auto table = table_region(field, divisors, from, extent);
    if (!table) return std::unexpected(table.error());
    return fold ? widen_folded(range, all_of(*table), *fold) : widen(range, all_of(*table));
  });
  if (!measured) return std::unexpected(measured.error());
  return range;
}

Result<Image> grayscale_region(const Field& field, std::span<const std::uint64_t> divisors,
                               std::span<const std::uint64_t> start,
                               std::span<const std::uint64_t> shape, const Range& range) {
  auto table = region_table(field, divisors, start, shape);
  if (!table) return std::unexpected(table.error());
  return gray_image(*table, range);
}

Result<Image> colored_region(const Field& field, std::span<const std::uint64_t> divisors,
                             Palette palette, std::span<const std::uint64_t> start,
                             std::span<const std::uint64_t> shape, const Range& range) {
  auto table = region_table(field, divisors, start, shape);
  if (!table) return std::unexpected(table.error());
  return palette_image(*table, palette, range);
}

}  // namespace veldra
