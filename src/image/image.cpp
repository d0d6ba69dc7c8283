#include "image/image.hpp"

namespace veldra {

std::optional<std::span<const std::uint8_t>> Image::pixel(std::uint64_t x, std::uint64_t y) const {
  if (x >= width || y >= height) return std::nullopt;
  const std::uint64_t offset = (y * width + x) * channels;
  return std::span<const std::uint8_t>(pixels.data() + offset, channels);
}

}  // namespace veldra
