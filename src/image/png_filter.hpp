// The adaptive filter of a PNG row: of Sub, Up, Average and Paeth, the one
// whose bytes, taken as signed, have the smallest sum of absolute values.
#pragma once

#include <cstdint>

namespace veldra {

// Writes the adaptively filtered `row` (filter type byte, then row_bytes
// bytes) to `out`, given the row above (`above`; zeros for the first row):
// of Sub, Up, Average and Paeth, the one whose bytes, taken as signed, have
// the smallest sum of absolute values, the earlier one on a tie.
void filter_row(const std::uint8_t* row, const std::uint8_t* above, std::uint64_t row_bytes,
                std::uint64_t pixel_bytes, std::uint8_t* out);

}  // namespace veldra
