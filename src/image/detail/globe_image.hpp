// The globe rendering with its number of workers made explicit, so that
// one-worker and many-worker results can be compared.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/error.hpp"
#include "image/globe.hpp"
#include "image/image.hpp"
#include "image/renderer.hpp"

namespace veldra {

// Renderer::globe with both per-pixel passes spread over `workers`
// threads (from SERIAL_LIMIT pixels on); the bytes do not depend on
// `workers`.
Result<Image> globe_image(const Renderer& renderer, std::uint64_t width, std::uint64_t height,
                          const Globe& settings, std::size_t workers);

}  // namespace veldra
