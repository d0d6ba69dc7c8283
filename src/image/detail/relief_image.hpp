// The relief rendering with its number of workers made explicit, so that
// one-worker and many-worker results can be compared.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "base/error.hpp"
#include "image/image.hpp"
#include "image/relief.hpp"
#include "image/renderer.hpp"

namespace veldra {

// Renderer::relief with its heights and shading spread over `workers`
// threads (from SERIAL_LIMIT pixels on), in contiguous runs of whole
// rows; the bytes do not depend on `workers`.
Result<Image> relief_image(const Renderer& renderer, std::span<const std::uint64_t> divisors,
                           const Relief& settings, std::size_t workers);

}  // namespace veldra
