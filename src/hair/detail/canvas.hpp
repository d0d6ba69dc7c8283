// Canvases: horizontal bands of the hair image holding linear-light
// colours, each combed by one thread and then developed into bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "base/buffer.hpp"
#include "base/error.hpp"
#include "hair/detail/look.hpp"
#include "hair/detail/strand.hpp"
#include "hair/hair.hpp"

namespace veldra {

// A band's pixels, sized without being written (Canvas::clear writes them),
// so that each band's memory is first touched by the thread combing it.
using CanvasPixels = std::vector<LinearRgb, DeferredInit<LinearRgb>>;

// Image pixel (x, y) with top <= y < top + rows is pixels[x + (y - top) *
// width]: row-major from the band's first row. Channels stay in [0, 1].
struct Canvas {
  CanvasPixels pixels;
  std::uint64_t width = 0;
  std::uint64_t top = 0;   // image row of the band's first row
  std::uint64_t rows = 0;  // at least 1

  // The least number of rows worth a band of its own.
  static constexpr std::uint64_t BAND_ROWS = 64;

  // Cuts an image of width x height pixels into bands from the top, the
  // runs of Split::of(height, BAND_ROWS, threads): at most one per thread
  // and never more than one per BAND_ROWS rows, their pixels sized but not
  // yet written. Height 0 gives no band. Fails only with an out-of-memory
  // error.
  static Result<std::vector<Canvas>> bands(std::uint64_t width, std::uint64_t height,
                                           std::size_t threads);

  // Sets every pixel to `fill`, row by row. When stop_requested() says stop
  // it returns early, the band part-written.
  void clear(LinearRgb fill);

  // Draws strands[order[0]], strands[order[1]], ... in that sequence as
  // tapered, antialiased strokes shaded by `look`, each segment blended over
  // what is there. Strands that cannot reach the band are skipped. Every
  // band gives the same pixels as the matching rows of one full-height band.
  // When stop_requested() says stop it returns early, the band part-drawn.
  void comb(std::span<const Strand> strands, std::span<const std::uint64_t> order,
            const Hair& hair, const Look& look);

  // Writes the band as sRGB bytes, three per pixel in pixel order, into
  // `out`, which holds exactly rows * width * 3 bytes. A NaN channel gives 0.
  // When stop_requested() says stop it returns early, `out` part-written.
  void develop(std::span<std::uint8_t> out) const;
};

}  // namespace veldra
