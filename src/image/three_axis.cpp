// Colour images from slices of the third (colour) axis of a 3-D field.
// The slices are read in place from the full table with a stride of n,
// the colour axis's extent.
#include <string>

#include "base/buffer.hpp"
#include "image/detail/normalize.hpp"
#include "image/renderer.hpp"
#include "table/table.hpp"

namespace veldra {
namespace {

// Fails unless `slice` lies on a colour axis of n samples.
Status expect_slice(std::uint64_t slice, std::uint64_t n) {
  if (slice >= n) {
    return invalid_input("Slice " + std::to_string(slice) +
                         " is outside the colour axis, which has " + std::to_string(n) +
                         " samples");
  }
  return {};
}

// Slice s of a 3-D table: one value per pixel, in pixel order.
StridedValues slice_of(const Table& table, std::uint64_t s) {
  const std::uint64_t n = table.shape[2];
  return {table.values.data() + s, table.values.size() / n, n};
}

}  // namespace

Result<Image> Renderer::rgb_channels(std::span<const std::uint64_t> divisors) const {
  if (auto fits = expect_dims(3); !fits) return std::unexpected(fits.error());
  auto layout = table_layout(field_, divisors);
  if (!layout) return std::unexpected(layout.error());
  const std::uint64_t n = layout->shape[2];
  if (n < 3) {
    return invalid_input("The colour axis has " + std::to_string(n) +
                         " samples but needs at least 3; raise its divisor");
  }
  return rgb_channels_at(divisors, {0, (n - 1) / 2, n - 1});
}

Result<Image> Renderer::rgb_channels_at(std::span<const std::uint64_t> divisors,
                                        std::array<std::uint64_t, 3> slices) const {
  auto table = table_of(3, divisors);
  if (!table) return std::unexpected(table.error());
  for (std::uint64_t s : slices) {
    if (auto inside = expect_slice(s, table->shape[2]); !inside) {
      return std::unexpected(inside.error());
    }
  }

  // One range over all three slices keeps the channels comparable.
  Range range;
  for (std::uint64_t s : slices) {
    if (auto widened = widen(range, slice_of(*table, s)); !widened) {
      return std::unexpected(widened.error());
    }
  }
  const std::uint64_t count = table->shape[0] * table->shape[1];
  auto pixels = allocate_deferred<std::uint8_t>(3 * count);
  if (!pixels) return std::unexpected(pixels.error());
  for (std::size_t c = 0; c < 3; ++c) {
    auto filled = fill_bytes(range, slice_of(*table, slices[c]), pixels->data() + c, 3);
    if (!filled) return std::unexpected(filled.error());
  }
  return Image{std::move(*pixels), table->shape[1], table->shape[0], 3};
}

Result<Image> Renderer::rgb_palette(std::span<const std::uint64_t> divisors, std::uint64_t slice,
                                    Palette palette) const {
  auto table = table_of(3, divisors);
  if (!table) return std::unexpected(table.error());
  if (auto inside = expect_slice(slice, table->shape[2]); !inside) {
    return std::unexpected(inside.error());
  }

  const StridedValues values = slice_of(*table, slice);
  Range range;
  if (auto widened = widen(range, values); !widened) return std::unexpected(widened.error());
  auto pixels = allocate_deferred<std::uint8_t>(3 * values.count);
  if (!pixels) return std::unexpected(pixels.error());
  if (auto filled = fill_colors(range, values, palette, pixels->data()); !filled) {
    return std::unexpected(filled.error());
  }
  return Image{std::move(*pixels), table->shape[1], table->shape[0], 3};
}

}  // namespace veldra
