// Greyscale and palette images of a two-dimensional field. The table is
// row-major with axis 0 slowest, so its values come out in pixel order.
#include "base/buffer.hpp"
#include "image/detail/normalize.hpp"
#include "image/renderer.hpp"
#include "table/table.hpp"

namespace veldra {

Result<Image> Renderer::grayscale(std::span<const std::uint64_t> divisors) const {
  auto table = table_of(2, divisors);
  if (!table) return std::unexpected(table.error());

  const StridedValues all{table->values.data(), table->values.size(), 1};
  Range range;
  if (auto widened = widen(range, all); !widened) return std::unexpected(widened.error());
  auto pixels = allocate<std::uint8_t>(all.count);
  if (!pixels) return std::unexpected(pixels.error());
  if (auto filled = fill_bytes(range, all, pixels->data(), 1); !filled) {
    return std::unexpected(filled.error());
  }
  return Image{std::move(*pixels), table->shape[1], table->shape[0], 1};
}

Result<Image> Renderer::colored(std::span<const std::uint64_t> divisors, Palette palette) const {
  auto table = table_of(2, divisors);
  if (!table) return std::unexpected(table.error());

  const StridedValues all{table->values.data(), table->values.size(), 1};
  Range range;
  if (auto widened = widen(range, all); !widened) return std::unexpected(widened.error());
  // The table already holds 8 bytes per value, so 3 per value cannot overflow.
  auto pixels = allocate<std::uint8_t>(3 * all.count);
  if (!pixels) return std::unexpected(pixels.error());
  if (auto filled = fill_colors(range, all, palette, pixels->data()); !filled) {
    return std::unexpected(filled.error());
  }
  return Image{std::move(*pixels), table->shape[1], table->shape[0], 3};
}

}  // namespace veldra
