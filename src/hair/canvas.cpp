#include "hair/detail/canvas.hpp"

#include <algorithm>

#include "base/buffer.hpp"
#include "base/interruption.hpp"
#include "base/workers.hpp"
#include "image/encoded_steps.hpp"

namespace veldra {
namespace {

// Rows developed between two looks at stop_requested().
constexpr std::uint64_t kRowsPerLook = 16;

}  // namespace

Result<std::vector<Canvas>> Canvas::bands(std::uint64_t width, std::uint64_t height,
                                          std::size_t threads) {
  std::vector<Canvas> canvases;
  const Split split = Split::of(height, BAND_ROWS, threads);
  if (!try_reserve(canvases, split.runs)) return out_of_memory();
  for (std::uint64_t i = 0; i < split.runs; ++i) {
    const std::uint64_t top = i * split.length;
    const std::uint64_t rows = std::min(height - top, split.length);
    auto size = checked_mul(rows, width);
    if (!size) return out_of_memory();
    auto pixels = allocate_deferred<LinearRgb>(*size);
    if (!pixels) return std::unexpected(pixels.error());
    canvases.push_back(Canvas{std::move(*pixels), width, top, rows});
  }
  return canvases;
}

void Canvas::clear(LinearRgb fill) {
  for (std::uint64_t row = 0; row < rows; ++row) {
    if (row % kRowsPerLook == 0 && stop_requested()) return;
    std::fill_n(pixels.begin() + static_cast<std::ptrdiff_t>(row * width), width, fill);
  }
}

void Canvas::develop(std::span<std::uint8_t> out) const {
  const EncodedSteps& encode = EncodedSteps::table();
  std::uint8_t* byte = out.data();
  for (std::uint64_t row = 0; row < rows; ++row) {
    if (row % kRowsPerLook == 0 && stop_requested()) return;
    for (const LinearRgb& pixel : std::span(pixels).subspan(row * width, width)) {
      for (float channel : pixel) *byte++ = encode(static_cast<double>(channel));
    }
  }
}

}  // namespace veldra
