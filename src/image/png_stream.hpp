// A PNG written a band of rows at a time, so that a picture never needs to
// be in memory whole. The file appears only when every row has been written
// and commit() succeeds: it is written as an OutputFile, and a stream that
// fails or is dropped before commit() leaves the target as it was.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "base/error.hpp"
#include "base/output_file.hpp"

namespace veldra {

class PngStream {
 public:
  // Opens `path` for an 8-bit greyscale (channels 1) or RGB (3) PNG of
  // width x height pixels and writes its header. Fails with the OutputFile
  // error naming `path`, or with libpng's refusal of the size (an Io error).
  static Result<PngStream> open(const std::string& path, std::uint64_t width,
                                std::uint64_t height, std::uint64_t channels);

  PngStream(PngStream&& other) noexcept;
  PngStream& operator=(PngStream&&) = delete;
  // Without commit(): as abort().
  ~PngStream();

  std::uint64_t height() const { return height_; }
  std::uint64_t rows_written() const { return rows_written_; }
  bool is_open() const { return encoder_ != nullptr; }

  // Appends the whole rows in `pixels` (row_bytes = width * channels bytes
  // each, top to bottom). Refused, writing nothing, when the stream is
  // closed, when `pixels` is not whole rows, or when it holds more rows than
  // remain. A failure while writing (the file, or an interruption, asked
  // between rows and as compressed data is written) aborts the stream.
  Status write_rows(std::span<const std::uint8_t> pixels);

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
            std::uint64_t height, std::uint64_t row_bytes);

  // The error of a failed libpng call, after which the stream is aborted.
  std::unexpected<Error> fail();

  std::optional<OutputFile> file_;
  std::string path_;
  std::unique_ptr<Encoder, DropEncoder> encoder_;  // null once closed
  std::uint64_t height_;
  std::uint64_t row_bytes_;
  std::uint64_t rows_written_ = 0;
};

}  // namespace veldra
