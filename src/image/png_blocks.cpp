// The blocks of a PNG's image data: filtering, and deflate through zlib.
#include "image/png_blocks.hpp"

#include <zlib.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>
#include <stdexcept>
#include <vector>

#include "base/in_parallel.hpp"
#include "base/interruption.hpp"
#include "image/png_filter.hpp"

namespace veldra {
namespace {

constexpr std::uint64_t kBlockBytes = std::uint64_t{1} << 20;
// Deflate's window: the most a block's dictionary can use.
constexpr std::uint64_t kWindow = 32768;
// Bytes handed to deflate between two looks at stop_requested().
constexpr std::uint64_t kPiece = 65536;
// Blocks per worker in a round: enough that uneven blocks even out.
constexpr std::size_t kBlocksPerWorker = 4;

std::uint64_t ceil_div(std::uint64_t a, std::uint64_t b) { return a / b + (a % b != 0); }

// Rows whose filtered bytes fill the window.
std::uint64_t window_rows(std::uint64_t row_bytes) { return ceil_div(kWindow, row_bytes + 1); }

// What a worker reuses from block to block: the rows as stored, big-endian
// (16-bit samples only), the filtered row, a row of zeros above the first.
struct Scratch {
  std::vector<std::uint8_t> stored[2];
  std::vector<std::uint8_t> line;
  std::vector<std::uint8_t> zeros;
};

// Reads raw rows by their index in the image, as PNG stores them.
class Rows {
 public:
  Rows(const PngRows& layout, const RowSpans& spans, Scratch& scratch)
      : layout_(layout), spans_(spans), scratch_(scratch) {}

  // Row i, from a slot of the scratch (0 or 1) when its bytes must be swapped.
  const std::uint8_t* stored(std::uint64_t i, int slot) const {
    const std::uint64_t n = layout_.row_bytes;
    const std::uint8_t* raw = i < spans_.first
                                  ? spans_.before.data() + (i - (spans_.first - spans_.context)) * n
                                  : spans_.rows.data() + (i - spans_.first) * n;
    if (!layout_.sixteen || std::endian::native == std::endian::big) return raw;
    std::uint8_t* out = scratch_.stored[slot].data();
    for (std::uint64_t k = 0; k + 1 < n; k += 2) {
      out[k] = raw[k + 1];
      out[k + 1] = raw[k];
    }
    return out;
  }

  // Filters rows [begin, end) one by one, handing each filtered row to
  // `take`; stops early when `take` returns false.
  template <typename Take>
  bool filter(std::uint64_t begin, std::uint64_t end, Take&& take) const {
    const std::uint64_t n = layout_.row_bytes;
    int slot = 0;
    const std::uint8_t* above = begin == 0 ? scratch_.zeros.data() : stored(begin - 1, slot);
    for (std::uint64_t i = begin; i < end; ++i) {
      slot ^= 1;
      const std::uint8_t* row = stored(i, slot);
      filter_row(row, above, n, layout_.pixel_bytes, scratch_.line.data());
      if (!take(scratch_.line.data())) return false;
      above = row;
    }
    return true;
  }

 private:
  const PngRows& layout_;
  const RowSpans& spans_;
  Scratch& scratch_;
};

struct Deflated {
  std::vector<std::uint8_t> bytes;
  std::uint32_t adler = 1;
  std::uint64_t filtered = 0;
};

class Deflater {
 public:
  Deflater() {
    if (deflateInit2(&z_, 6, Z_DEFLATED, -15, 8, Z_FILTERED) != Z_OK) throw std::bad_alloc();
  }
  ~Deflater() { deflateEnd(&z_); }
  Deflater(const Deflater&) = delete;
  Deflater& operator=(const Deflater&) = delete;

  void prime(const std::uint8_t* dictionary, std::uint64_t size) {
    if (deflateSetDictionary(&z_, dictionary, static_cast<uInt>(size)) != Z_OK) {
      throw std::logic_error("deflateSetDictionary");
    }
  }

  // Compresses `size` bytes, a piece at a time; false when told to stop.
  bool add(const std::uint8_t* data, std::uint64_t size, std::vector<std::uint8_t>& out) {
    while (size > 0) {
      if (stop_requested()) return false;
      const std::uint64_t piece = std::min(size, kPiece);
      z_.next_in = const_cast<std::uint8_t*>(data);
      z_.avail_in = static_cast<uInt>(piece);
      pump(Z_NO_FLUSH, out);
      data += piece;
      size -= piece;
    }
    return true;
  }

  void end(bool last, std::vector<std::uint8_t>& out) {
    pump(last ? Z_FINISH : Z_SYNC_FLUSH, out);
    out.resize(z_.total_out);
  }

 private:
  void pump(int flush, std::vector<std::uint8_t>& out) {
    for (;;) {
      if (out.size() - z_.total_out < kPiece) out.resize(std::max(2 * out.size(), z_.total_out + 2 * kPiece));
      z_.next_out = out.data() + z_.total_out;
      z_.avail_out = static_cast<uInt>(std::min<std::uint64_t>(out.size() - z_.total_out, 1u << 30));
      const int status = deflate(&z_, flush);
      if (status == Z_STREAM_ERROR) throw std::logic_error("deflate");
      if (flush == Z_FINISH ? status == Z_STREAM_END : z_.avail_out != 0 && z_.avail_in == 0) return;
    }
  }

  z_stream z_{};
};

// Block [begin, end) of rows; its bytes, or nothing when told to stop.
bool deflate_block(const PngRows& layout, const RowSpans& spans, std::uint64_t begin,
                   std::uint64_t end, bool last, Scratch& scratch, Deflated& result) {
  const std::uint64_t line = layout.row_bytes + 1;
  const Rows rows(layout, spans, scratch);
  Deflater deflater;
  if (begin > 0) {
    // The filtered rows before the block, recomputed: the same bytes as
    // where they were compressed.
    const std::uint64_t from = begin - std::min(begin, window_rows(layout.row_bytes));
    std::vector<std::uint8_t> before((begin - from) * line);
    std::uint8_t* at = before.data();
    rows.filter(from, begin, [&](const std::uint8_t* filtered) {
      std::memcpy(at, filtered, line);
      at += line;
      return true;
    });
    const std::uint64_t used = std::min<std::uint64_t>(before.size(), kWindow);
    deflater.prime(before.data() + before.size() - used, used);
  }
  result.bytes.clear();
  result.adler = 1;
  result.filtered = (end - begin) * line;
  const bool whole = rows.filter(begin, end, [&](const std::uint8_t* filtered) {
    result.adler = static_cast<std::uint32_t>(adler32_z(result.adler, filtered, line));
    return deflater.add(filtered, line, result.bytes);
  });
  if (!whole) return false;
  deflater.end(last, result.bytes);
  return true;
}

}  // namespace

std::uint32_t adler32_joined(std::uint32_t first, std::uint32_t second, std::uint64_t length) {
  return static_cast<std::uint32_t>(adler32_combine(first, second, static_cast<z_off_t>(length)));
}

std::uint64_t png_block_rows(std::uint64_t row_bytes) {
  return std::max<std::uint64_t>(ceil_div(kBlockBytes, row_bytes + 1), 1);
}

std::uint64_t png_context_rows(std::uint64_t row_bytes, std::uint64_t first) {
  return std::min(first, window_rows(row_bytes) + 1);
}

Status deflate_blocks(const PngRows& layout, const RowSpans& spans, bool last,
                      const BlockSink& sink, std::size_t workers, ThreadStarter start) {
  const std::uint64_t n = layout.row_bytes;
  const std::uint64_t block = png_block_rows(n);
  const std::uint64_t count = n == 0 ? 0 : spans.rows.size() / n;
  if (n == 0 || spans.rows.size() % n != 0 || spans.first % block != 0 ||
      spans.context != png_context_rows(n, spans.first) ||
      spans.before.size() != spans.context * n || (count % block != 0 && !last) ||
      (last && count == 0)) {
    return internal_error("the rows to deflate are not whole blocks after their context");
  }
  const std::uint64_t blocks = ceil_div(count, block);
  const std::uint64_t per_round = std::max<std::size_t>(workers, 1) * kBlocksPerWorker;
  std::vector<Deflated> results;
  try {
    results.resize(std::min(per_round, blocks));
  } catch (const std::bad_alloc&) {
    return out_of_memory();
  }
  for (std::uint64_t first = 0; first < blocks; first += per_round) {
    const std::uint64_t round = std::min(per_round, blocks - first);
    auto done = for_each_chunk(round, 1, [&](std::uint64_t begin, std::uint64_t end) {
      Scratch scratch;
      scratch.line.resize(n + 1);
      scratch.zeros.assign(n, 0);
      if (layout.sixteen) {
        scratch.stored[0].resize(n);
        scratch.stored[1].resize(n);
      }
      for (std::uint64_t k = begin; k < end; ++k) {
        const std::uint64_t row = spans.first + (first + k) * block;
        const std::uint64_t stop = std::min(row + block, spans.first + count);
        const bool final = last && first + k + 1 == blocks;
        if (!deflate_block(layout, spans, row, stop, final, scratch, results[k])) return;
      }
    }, workers, start);
    if (!done) return done;
    for (std::uint64_t k = 0; k < round; ++k) {
      if (auto taken = sink(results[k].bytes, results[k].adler, results[k].filtered); !taken) {
        return taken;
      }
    }
  }
  return {};
}

}  // namespace veldra
