#include "hair/detail/pipeline.hpp"

#include <algorithm>
#include <bit>
#include <optional>
#include <vector>

#include "base/buffer.hpp"
#include "base/workers.hpp"
#include "hair/detail/canvas.hpp"
#include "hair/detail/look.hpp"
#include "hair/detail/strand.hpp"

namespace veldra {
namespace {

// A key whose unsigned order is the total order of 32-bit floats.
std::uint32_t total_order_key(float f) {
  const auto bits = std::bit_cast<std::uint32_t>(f);
  return bits & 0x80000000u ? ~bits : bits | 0x80000000u;
}

}  // namespace

// A least-significant-digit radix sort of the keys, 11 bits a pass: stable,
// so strands of equal layer keep their index order, and linear, so a coat of
// millions of strands is ordered in tens of milliseconds (a comparison sort
// took half a second there, too long to wait for Ctrl-C).
Result<std::vector<std::uint64_t>> drawing_order(std::span<const Strand> strands) {
  constexpr unsigned kDigitBits = 11;
  constexpr std::size_t kBuckets = std::size_t{1} << kDigitBits;
  const std::uint64_t count = strands.size();
  auto order = allocate<std::uint64_t>(count);
  auto spare = allocate<std::uint64_t>(count);
  auto keys = allocate<std::uint32_t>(count);
  auto spare_keys = allocate<std::uint32_t>(count);
  if (!order) return std::unexpected(order.error());
  if (!spare) return std::unexpected(spare.error());
  if (!keys) return std::unexpected(keys.error());
  if (!spare_keys) return std::unexpected(spare_keys.error());
  for (std::uint64_t i = 0; i < count; ++i) {
    (*order)[i] = i;
    (*keys)[i] = total_order_key(strands[i].layer);
  }
  for (unsigned shift = 0; shift < 32; shift += kDigitBits) {
    std::vector<std::uint64_t> start(kBuckets + 1, 0);
    for (std::uint32_t key : *keys) ++start[((key >> shift) & (kBuckets - 1)) + 1];
    for (std::size_t b = 0; b < kBuckets; ++b) start[b + 1] += start[b];
    for (std::uint64_t i = 0; i < count; ++i) {
      const std::uint64_t to = start[((*keys)[i] >> shift) & (kBuckets - 1)]++;
      (*spare)[to] = (*order)[i];
      (*spare_keys)[to] = (*keys)[i];
    }
    order->swap(*spare);
    keys->swap(*spare_keys);
  }
  return order;
}

std::array<std::uint64_t, 2> color_map_divisors(std::span<const std::uint64_t> dims,
                                                std::uint64_t width, std::uint64_t height) {
  return {std::max<std::uint64_t>((width - 1) / dims[0], 1),
          std::max<std::uint64_t>((height - 1) / dims[1], 1)};
}

Result<Image> render_hair(const Renderer& renderer, std::uint64_t width, std::uint64_t height,
                          const Hair& hair, std::size_t workers, const ReliefSource& relief) {
  if (auto dims_ok = renderer.expect_dims(2); !dims_ok) return std::unexpected(dims_ok.error());
  if (width == 0 || height == 0) {
    return invalid_input("An image needs a positive width and height");
  }
  if (auto settings_ok = check_hair(hair); !settings_ok) return std::unexpected(settings_ok.error());

  auto pixel_count = checked_mul(width, height);
  if (!pixel_count || !checked_mul(*pixel_count, 3)) return out_of_memory();
  const std::uint64_t byte_count = *pixel_count * 3;

  const Field& field = renderer.field();
  const std::vector<std::uint64_t>& dims = field.dims();
  const std::array<double, 2> scale = {
      static_cast<double>(width) / static_cast<double>(dims[1]),
      static_cast<double>(height) / static_cast<double>(dims[0]),
  };
  workers = std::max<std::size_t>(workers, 1);

  const auto coat = grow_coat(field, hair, scale, workers);
  if (!coat) return std::unexpected(coat.error());
  auto order = drawing_order(coat->strands);
  if (!order) return std::unexpected(order.error());

  std::optional<ColorMap> color_map;
  if (hair.color_from_field) {
    const std::array<std::uint64_t, 2> divisors = color_map_divisors(dims, width, height);
    auto surface = relief(divisors, hair.surface);
    if (!surface) return std::unexpected(surface.error());
    auto decoded = ColorMap::from_image(*surface);
    if (!decoded) return std::unexpected(decoded.error());
    color_map = std::move(*decoded);
  }

  const bool mapped = color_map.has_value();
  const Look look = Look::of(hair, std::move(color_map), width, height);
  const LinearRgb fill = mapped ? LinearRgb{0.0f, 0.0f, 0.0f} : look.tones[0];
  const Split split = Split::of(height, Canvas::BAND_ROWS, workers);
  auto canvases = Canvas::bands(width, height, workers);
  if (!canvases) return std::unexpected(canvases.error());
  auto pixels = allocate_deferred<std::uint8_t>(byte_count);
  if (!pixels) return std::unexpected(pixels.error());

  // Every band draws all strands in the same order and owns its pixels, so
  // the image does not depend on how many bands there are; each worker (or
  // the calling thread, for a single band) then develops its own band into
  // its own rows of the image.
  auto combed = run_split(split, [&](std::size_t k) {
    Canvas& canvas = (*canvases)[k];
    canvas.clear(fill);
    canvas.comb(coat->strands, *order, hair, look);
    const std::uint64_t offset = canvas.top * width * 3;
    canvas.develop(std::span<std::uint8_t>(pixels->data() + offset, canvas.rows * width * 3));
  });
  if (!combed) return std::unexpected(combed.error());
  return Image{std::move(*pixels), width, height, 3};
}

}  // namespace veldra
