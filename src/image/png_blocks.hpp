// A PNG's image data cut into blocks of rows, each filtered and deflated on
// its own so that blocks compress on many threads (or many machines) and
// still join into the one zlib stream a PNG holds, byte for byte the same
// whoever compressed them.
//
// A block is png_block_rows(row_bytes) rows: the fewest whole rows holding
// at least 1 MiB of filtered bytes, so that it depends on the row length
// alone. Every row is filtered with the adaptive choice of filter_row
// (png_filter.hpp); a block is deflated as raw deflate data at level 6
// (with the strategy for filtered data, as libpng chooses for filtered
// rows), primed with the last
// 32 KiB of filtered bytes before it as its dictionary (matches across the
// seam are kept), and ends on a byte boundary (a sync flush), the image's
// last block with the final deflate block instead. Joined in order behind
// the zlib header, with the Adler-32 of all filtered bytes after them,
// they are the zlib stream of the PNG's IDAT data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "base/error.hpp"
#include "base/workers.hpp"

namespace veldra {

// The rows of a PNG: `row_bytes` bytes of `pixel_bytes`-byte pixels each,
// 16-bit samples in the machine's byte order when `sixteen` (they are
// written big-endian, as PNG stores them).
struct PngRows {
  std::uint64_t row_bytes = 0;
  std::uint64_t pixel_bytes = 1;
  bool sixteen = false;
};

// The zlib header of the stream: deflate, a 32 KiB window, level 6.
inline constexpr std::uint8_t PNG_ZLIB_HEADER[2] = {0x78, 0x9c};

// Rows per block: the fewest whole rows of (row_bytes + 1) filtered bytes
// that reach 1 MiB, at least 1.
std::uint64_t png_block_rows(std::uint64_t row_bytes);

// The rows a block starting at `first` needs before it: those whose
// filtered bytes prime its dictionary, and the one before them that they
// are filtered against; all the rows before it near the top.
std::uint64_t png_context_rows(std::uint64_t row_bytes, std::uint64_t first);

// Raw rows [first - context, first + count) of an image, the `context` rows
// before the blocks from `before`, the rest from `rows`, each a run of
// whole rows.
struct RowSpans {
  std::span<const std::uint8_t> before;
  std::span<const std::uint8_t> rows;
  std::uint64_t first = 0;
  std::uint64_t context = 0;
};

// The Adler-32 of bytes A then B, from that of A (`first`), that of B
// (`second`) and B's length.
std::uint32_t adler32_joined(std::uint32_t first, std::uint32_t second, std::uint64_t length);

// Receives each deflated block in order, on the calling thread: its
// bytes, the Adler-32 of its filtered bytes and their number. A failure
// ends the work with that failure.
using BlockSink = std::function<Status(std::span<const std::uint8_t> deflated,
                                       std::uint32_t adler, std::uint64_t filtered)>;

// Filters and deflates the blocks of `spans.rows` (rows from
// `spans.first`, a multiple of the block rows, with `spans.context` equal
// to png_context_rows(row_bytes, first)) and hands them to `sink` in
// order. The rows are whole blocks, or end the image when `last` (its final
// block then closes the deflate stream). Blocks are compressed in rounds of
// a few per worker on `workers` scoped threads, which ask stop_requested()
// as they go; `sink` runs on the
// calling thread between those rounds. Fails with an interrupted error, an
// out-of-memory error, an internal error for rows that are not blocks, or
// the sink's failure; blocks handed over before stay handed over.
Status deflate_blocks(const PngRows& layout, const RowSpans& spans, bool last,
                      const BlockSink& sink, std::size_t workers = available_processors(),
                      ThreadStarter start = &start_thread);

}  // namespace veldra
