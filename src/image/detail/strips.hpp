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

namespace veldra {

// Rows of a strip of `cols` table values per row: about 2 MiB, at least 1.
inline std::uint64_t strip_rows(std::uint64_t cols) {
  constexpr std::uint64_t kStripValues = (std::uint64_t{2} << 20) / sizeof(double);
  return std::max<std::uint64_t>(1, kStripValues / std::max<std::uint64_t>(cols, 1));
}

}  // namespace veldra
