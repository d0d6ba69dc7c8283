#include "image/heightmap.hpp"

#include <cstring>

#include "base/buffer.hpp"
#include "image/color_bytes.hpp"
#include "image/detail/normalize.hpp"

namespace veldra {

Result<Range> heightmap_range(std::span<const double> values, std::size_t workers) {
  Range range;
  if (auto done = widen(range, {values.data(), values.size(), 1}, workers); !done) {
    return std::unexpected(done.error());
  }
  return range;
}

Result<std::vector<std::uint8_t>> heightmap_levels(std::span<const double> values,
                                                   const Range& range, unsigned bits,
                                                   std::size_t workers) {
  if (bits != 8 && bits != 16) return internal_error("a heightmap has 8 or 16 bits");
  const std::uint64_t width = bits / 8;
  const auto size = checked_mul(values.size(), width);
  if (!size) return out_of_memory();
  auto out = allocate<std::uint8_t>(*size);
  if (!out) return out;
  const std::uint32_t top = (std::uint32_t{1} << bits) - 1;
  std::uint8_t* levels = out->data();
  auto done = for_each_chunk(values.size(), SERIAL_LIMIT, [&](std::uint64_t begin, std::uint64_t end) {
    for (std::uint64_t k = begin; k < end; ++k) {
      const std::uint32_t level = range.has_spread()
                                      ? level_from_fraction(range.fraction(values[k]), top)
                                      : (top + 1) / 2;
      if (bits == 8) {
        levels[k] = static_cast<std::uint8_t>(level);
      } else {
        const auto sample = static_cast<std::uint16_t>(level);
        std::memcpy(levels + 2 * k, &sample, 2);
      }
    }
  }, workers);
  if (!done) return std::unexpected(done.error());
  return out;
}

}  // namespace veldra
