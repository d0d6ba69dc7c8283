// Heightmaps: a table's values as 8- or 16-bit levels, for terrain tools
// that import greyscale PNGs of more than 256 steps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "base/error.hpp"
#include "base/range.hpp"
#include "base/workers.hpp"

namespace veldra {

// The range a heightmap of `values` spans: the greyscale picture's (NaN
// ignored, the same bits as one pass in order).
Result<Range> heightmap_range(std::span<const double> values,
                              std::size_t workers = available_processors());

// The level of each value, written as `bits` (8 or 16) bits in the
// machine's byte order: (v - lo) / (hi - lo) clamped to 0..1, times
// 2^bits - 1, rounded half away from zero (NaN gives 0); without spread
// (a flat table) every level is 2^(bits - 1), as every greyscale byte is 128.
// With bits 8, the bytes of the greyscale picture of the same values.
Result<std::vector<std::uint8_t>> heightmap_levels(std::span<const double> values,
                                                   const Range& range, unsigned bits,
                                                   std::size_t workers = available_processors());

}  // namespace veldra
