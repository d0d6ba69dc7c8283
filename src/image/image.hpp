// The one result type of every rendering: an 8-bit raster.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/buffer.hpp"
#include "base/error.hpp"

namespace veldra {

// `pixels` is row-major: row 0 is the top row, each row runs left to right
// and each pixel holds `channels` consecutive bytes (1: grey; 3: red, green,
// blue). Channel c of pixel (x, y) is at (y * width + x) * channels + c.
// Invariant: pixels.size() == width * height * channels.
//
// The bytes are not zeroed when allocated (DeferredInit): a rendering
// writes every one, on its workers, so a huge image has no pass of zeroing
// that Ctrl-C would have to wait for, and each page is first touched where
// it is written.
using Pixels = std::vector<std::uint8_t, DeferredInit<std::uint8_t>>;

struct Image {
  Pixels pixels;
  std::uint64_t width = 0;
  std::uint64_t height = 0;
  std::uint64_t channels = 1;

  // The `channels` bytes of pixel (x, y), or nothing outside the image.
  std::optional<std::span<const std::uint8_t>> pixel(std::uint64_t x, std::uint64_t y) const;

  // Writes an 8-bit greyscale or RGB PNG (IHDR, IDAT, IEND only) to `path`,
  // creating or truncating the file. An operating-system failure comes back
  // as an Io error whose text ends in " (os error N)".
  Status write_png(const std::string& path) const;
};

}  // namespace veldra
