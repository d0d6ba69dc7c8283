#include "hair/canvas.hpp"

#include <algorithm>

#include "image/encoded_steps.hpp"
#include "lib/buffer.hpp"

namespace veldra {

Result<std::vector<Canvas>> Canvas::bands(std::uint64_t width, std::uint64_t height, LinearRgb fill,
                                          std::size_t threads) {
  std::vector<Canvas> canvases;
  if (height == 0) return canvases;
  const std::uint64_t t = std::max<std::uint64_t>(threads, 1);
  const std::uint64_t n = std::min(t, height / 64 + (height % 64 != 0));
  const std::uint64_t per_band = std::max<std::uint64_t>(height / n + (height % n != 0), 1);
  const std::uint64_t count = height / per_band + (height % per_band != 0);
  if (!try_reserve(canvases, count)) return out_of_memory();
  for (std::uint64_t i = 0; i < count; ++i) {
    const std::uint64_t top = i * per_band;
    const std::uint64_t rows = std::min(height - top, per_band);
    auto size = checked_mul(rows, width);
    if (!size) return out_of_memory();
    auto pixels = allocate<LinearRgb>(*size, fill);
    if (!pixels) return std::unexpected(pixels.error());
    canvases.push_back(Canvas{std::move(*pixels), width, top, rows});
  }
  return canvases;
}

void Canvas::develop(std::span<std::uint8_t> out) const {
  const EncodedSteps& encode = EncodedSteps::table();
  std::uint8_t* byte = out.data();
  for (const LinearRgb& pixel : pixels) {
    for (float channel : pixel) *byte++ = encode(static_cast<double>(channel));
  }
}

}  // namespace veldra
