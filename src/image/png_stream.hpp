// A PNG written a band of rows at a time, so that a picture never needs to
// be in memory whole. The file appears only when every row has been written
// and commit() succeeds: it is written as an OutputFile, and a stream that
// fails or is dropped before commit() leaves the target as it was.
//
// Rows are compressed in blocks (png_blocks.hpp) on scoped workers as soon
// as a block is whole; the stream holds the rows of the unfinished block and
// the few before it that the next block needs. The image data is written in
// IDAT chunks of 64 KiB (the last one shorter), so the file's bytes depend
// on the pixels alone: not on the bands, nor on the number of workers, nor
// on whether the blocks came deflated from elsewhere (write_deflated).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/error.hpp"
#include "base/output_file.hpp"
#include "image/png_blocks.hpp"

namespace veldra {

class PngStream {
 public:
  // Opens `path` for a greyscale (channels 1) or RGB (3) PNG of width x
  // height pixels of `bits` (8 or 16) per sample and writes its header.
  // Fails with the OutputFile error naming `path`, or with libpng's refusal
  // of the size (an Io error). Blocks are compressed on `workers` threads.
  static Result<PngStream> open(const std::string& path, std::uint64_t width,
                                std::uint64_t height, std::uint64_t channels,
                                std::uint64_t bits = 8,
                                std::size_t workers = available_processors());

  PngStream(PngStream&& other) noexcept;
  PngStream& operator=(PngStream&&) = delete;
  // Without commit(): as abort().
  ~PngStream();

  std::uint64_t height() const { return height_; }
  std::uint64_t rows_written() const { return rows_written_; }
  bool is_open() const { return encoder_ != nullptr; }

  // Appends the whole rows in `pixels` (row_bytes = width * channels *
  // bits / 8 bytes each, top to bottom; 16-bit samples in the machine's
  // byte order). Refused, writing nothing, when the stream is closed, when
  // `pixels` is not whole rows, when it holds more rows than remain, or
  // after write_deflated. A failure while writing (the file, memory, or an
  // interruption, asked as blocks are compressed and written) aborts the
  // stream.
  Status write_rows(std::span<const std::uint8_t> pixels);

  // Appends `rows` rows that were filtered and deflated elsewhere by
  // deflate_blocks, as `deflated` with the Adler-32 `adler` of their
  // filtered bytes. Refused, writing nothing, when the stream is closed,
  // when rows of an unfinished block were written before, or when the rows
  // are not whole blocks and do not end the image. Failures abort as
  // write_rows's do.
  Status write_deflated(std::span<const std::uint8_t> deflated, std::uint32_t adler,
                        std::uint64_t rows);

  // Ends the PNG and puts the file in place of the target. Refused when the
  // stream is closed; fails, aborting, with "Wrote {k} of {height} rows"
  // when rows are missing. The stream is closed afterwards in every case.
  Status commit();

  // Closes the stream and drops what it wrote; the target stays as it was.
  // Does nothing when closed.
  void abort();

 private:
  struct Encoder;
  struct DropEncoder {
    void operator()(Encoder* encoder) const;
  };

  PngStream(OutputFile file, std::string path, std::unique_ptr<Encoder, DropEncoder> encoder,
            std::uint64_t height, PngRows layout, std::size_t workers);

  // Deflates the blocks of `spans` and writes them; aborts on failure.
  Status deflate(const RowSpans& spans, bool last);
  // Appends compressed bytes to the IDAT chunks; false when libpng failed.
  bool append(std::span<const std::uint8_t> bytes);
  // The error of a failed libpng call, after which the stream is aborted.
  std::unexpected<Error> fail();

  std::optional<OutputFile> file_;
  std::string path_;
  std::unique_ptr<Encoder, DropEncoder> encoder_;  // null once closed
  std::uint64_t height_;
  PngRows layout_;
  std::uint64_t block_rows_;
  std::size_t workers_;
  std::uint64_t rows_written_ = 0;
  std::uint64_t next_block_ = 0;  // the first row not yet deflated
  // Raw rows [held_first_, rows_written_): the context of the next block
  // and the rows of the unfinished one.
  std::vector<std::uint8_t> held_;
  std::uint64_t held_first_ = 0;
  bool context_known_ = true;  // false once deflated blocks came in
  std::vector<std::uint8_t> chunk_;  // the IDAT chunk being filled
  std::uint32_t adler_ = 1;
};

}  // namespace veldra
