// Regions of a picture rendered a strip of rows at a time. A region's
// whole table (8 bytes a value) is tens of megabytes for a chunk of a large
// picture: freshly mapped pages, zeroed by the kernel, written and read
// back through memory. A strip's table of about 2 MiB comes from memory
// the allocator already holds and stays in the cache while it is used.
// Regions' tables are the whole table's values bit for bit, so strips
// change no pixel.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>

#include "base/error.hpp"
#include "field/field.hpp"
#include "image/renderer.hpp"
#include "table/table.hpp"

namespace veldra {

// Rows of a strip of `cols` table values per row: about 2 MiB, at least 1.
inline std::uint64_t strip_rows(std::uint64_t cols) {
  constexpr std::uint64_t kStripValues = (std::uint64_t{2} << 20) / sizeof(double);
  return std::max<std::uint64_t>(1, kStripValues / std::max<std::uint64_t>(cols, 1));
}

// Calls strip(first, rows) for rows [0, count) of `cols` values each, a
// strip at a time and in order, until one fails.
template <typename Strip>
Status for_each_strip(std::uint64_t count, std::uint64_t cols, Strip&& strip) {
  const std::uint64_t step = strip_rows(cols);
  for (std::uint64_t first = 0; first < count; first += step) {
    if (auto done = strip(first, std::min(step, count - first)); !done) return done;
  }
  return {};
}

// The layout of the whole image's table, after the checks every region
// makes, in their order (regions.hpp).
inline Result<TableLayout> region_layout(const Field& field, std::span<const std::uint64_t> divisors,
                                         std::span<const std::uint64_t> start,
                                         std::span<const std::uint64_t> shape) {
  if (auto fits = expect_dims(field, 2); !fits) return std::unexpected(fits.error());
  auto layout = table_layout(field, divisors);
  if (!layout) return std::unexpected(layout.error());
  if (auto inside = check_region(layout->shape, start, shape); !inside) {
    return std::unexpected(inside.error());
  }
  return layout;
}

}  // namespace veldra
