// Noise values to bytes: the per-image range and the byte and palette
// mappings shared by the flat and three-axis renderings.
#pragma once

#include <cstdint>

#include "image/palette.hpp"
#include "image/renderer.hpp"

namespace veldra {

// The values first[k * stride] for k in [0, count): a whole table
// (stride 1) or one slice of its last axis (stride = that axis's extent),
// read in place.
struct StridedValues {
  const double* first;
  std::uint64_t count;
  std::uint64_t stride;
  double operator[](std::uint64_t k) const { return first[k * stride]; }
};

// Widens `range` by every value of `values`; NaN values are ignored.
void widen(Range& range, StridedValues values);

// Writes to out[k * out_stride] the byte of values[k] under `range`:
// (v - lo) / (hi - lo) clamped to 0..1, times 255, rounded half away from
// zero. Without spread every byte is 128.
void fill_bytes(const Range& range, StridedValues values, std::uint8_t* out,
                std::uint64_t out_stride);

// Writes the palette colour of each value, three bytes per value, to
// consecutive bytes from `out`. Without spread every colour is the
// palette's colour at 0.5.
void fill_colors(const Range& range, StridedValues values, Palette palette, std::uint8_t* out);

}  // namespace veldra
