#include "image/normalize.hpp"

#include "image/color_bytes.hpp"

namespace veldra {

void widen(Range& range, StridedValues values) {
  for (std::uint64_t k = 0; k < values.count; ++k) range.add(values[k]);
}

void fill_bytes(const Range& range, StridedValues values, std::uint8_t* out,
                std::uint64_t out_stride) {
  if (!range.has_spread()) {
    for (std::uint64_t k = 0; k < values.count; ++k) out[k * out_stride] = 128;
    return;
  }
  for (std::uint64_t k = 0; k < values.count; ++k) {
    out[k * out_stride] = byte_from_fraction(range.fraction(values[k]));
  }
}

void fill_colors(const Range& range, StridedValues values, Palette palette, std::uint8_t* out) {
  if (!range.has_spread()) {
    const Rgb middle = color(palette, 0.5);
    for (std::uint64_t k = 0; k < values.count; ++k) {
      for (std::size_t c = 0; c < 3; ++c) out[3 * k + c] = middle[c];
    }
    return;
  }
  for (std::uint64_t k = 0; k < values.count; ++k) {
    const Rgb rgb = color(palette, range.fraction(values[k]));
    for (std::size_t c = 0; c < 3; ++c) out[3 * k + c] = rgb[c];
  }
}

}  // namespace veldra
