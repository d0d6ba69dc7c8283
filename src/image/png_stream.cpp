// PngStream through libpng: the container (signature, header, chunks),
// with the image data filtered and deflated by png_blocks. libpng reports
// failure by longjmp out of its callbacks, so each function here that calls
// libpng sets its own jump target, and everything those callbacks and the
// setjmp frames touch is plain data: no object with a destructor lives
// across a libpng call.
#include "image/png_stream.hpp"

#include <png.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

#include "base/buffer.hpp"
#include "base/interruption.hpp"
#include "base/os_error.hpp"

namespace veldra {
// Named, not anonymous: PngStream::Encoder, a class with external
// linkage, holds a Sink.
namespace png_stream_detail {

constexpr std::size_t kBufferSize = 8192;

// write() stored no byte at all; there is no errno for it.
constexpr int kWroteNothing = -1;

// The open file, its write buffer and the first failure seen.
struct Sink {
  int fd;
  std::size_t used;
  int failure;        // errno of a failed write, kWroteNothing, or 0
  char message[256];  // libpng's complaint, when it gave up
  unsigned char buffer[kBufferSize];
};

}  // namespace png_stream_detail

using png_stream_detail::kBufferSize;
using png_stream_detail::kWroteNothing;
using png_stream_detail::Sink;

namespace {

// The length of every IDAT chunk but the last.
constexpr std::size_t kChunkSize = 65536;

// The error for a failed write() on `path`.
std::unexpected<Error> write_error(int failure, const std::string& path) {
  if (failure == kWroteNothing) return io_error("failed to write whole buffer");
  return os_error(failure, path);
}

// Writes out the buffered bytes; false (with sink.failure set) on failure.
bool drain(Sink& sink) {
  const unsigned char* data = sink.buffer;
  std::size_t left = sink.used;
  sink.used = 0;
  while (left > 0) {
    const ssize_t written = ::write(sink.fd, data, left);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      sink.failure = written < 0 ? errno : kWroteNothing;
      return false;
    }
    data += written;
    left -= static_cast<std::size_t>(written);
  }
  return true;
}

// libpng hands over each chunk as it writes it, so asking
// stop_requested() here stops a long write part-way.
void write_data(png_structp png, png_bytep data, std::size_t length) {
  if (stop_requested()) png_error(png, "interrupted");
  Sink& sink = *static_cast<Sink*>(png_get_io_ptr(png));
  while (length > 0) {
    if (sink.used == kBufferSize && !drain(sink)) png_error(png, "write failed");
    std::size_t take = kBufferSize - sink.used;
    if (take > length) take = length;
    std::memcpy(sink.buffer + sink.used, data, take);
    sink.used += take;
    data += take;
    length -= take;
  }
}

void flush_data(png_structp png) {
  Sink& sink = *static_cast<Sink*>(png_get_io_ptr(png));
  if (!drain(sink)) png_error(png, "write failed");
}

[[noreturn]] void on_error(png_structp png, png_const_charp message) {
  Sink& sink = *static_cast<Sink*>(png_get_error_ptr(png));
  std::snprintf(sink.message, sizeof sink.message, "%s", message);
  png_longjmp(png, 1);
}

// Warnings are not reported; an error that follows one carries the news.
void on_warning(png_structp, png_const_charp) {}

// A size libpng accepts as is, or one it is sure to refuse with its own
// message (PNG sizes stop at 2^31 - 1).
png_uint_32 png_size(std::uint64_t size) {
  return size > PNG_UINT_31_MAX ? PNG_UINT_31_MAX + 1u : static_cast<png_uint_32>(size);
}

// Writes the signature and header. False when libpng gave up, with the
// reason in the sink.
bool start(png_structp png, png_infop info, std::uint64_t width, std::uint64_t height,
           std::uint64_t channels, std::uint64_t bits) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
  png_set_IHDR(png, info, png_size(width), png_size(height), static_cast<int>(bits),
               channels == 1 ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
  png_write_info(png, info);
  return true;
}

// Writes one chunk named `name`. False when libpng gave up.
bool put_chunk(png_structp png, const char* name, const std::uint8_t* data, std::size_t size) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_write_chunk(png, reinterpret_cast<png_const_bytep>(name), data, size);
  return true;
}

}  // namespace

// libpng's state for one stream; at a fixed address, as libpng keeps a
// pointer to the sink.
struct PngStream::Encoder {
  png_structp png;
  png_infop info;
  Sink sink;
};

void PngStream::DropEncoder::operator()(Encoder* encoder) const {
  png_destroy_write_struct(&encoder->png, &encoder->info);
  delete encoder;
}

PngStream::PngStream(OutputFile file, std::string path,
                     std::unique_ptr<Encoder, DropEncoder> encoder, std::uint64_t height,
                     PngRows layout, std::size_t workers)
    : file_(std::move(file)),
      path_(std::move(path)),
      encoder_(std::move(encoder)),
      height_(height),
      layout_(layout),
      block_rows_(png_block_rows(layout.row_bytes)),
      workers_(workers) {}

PngStream::PngStream(PngStream&& other) noexcept = default;

PngStream::~PngStream() { abort(); }

Result<PngStream> PngStream::open(const std::string& path, std::uint64_t width,
                                  std::uint64_t height, std::uint64_t channels,
                                  std::uint64_t bits, std::size_t workers) {
  if (channels != 1 && channels != 3) return internal_error("a PNG has 1 or 3 channels");
  if (bits != 8 && bits != 16) return internal_error("a PNG has 8 or 16 bits per sample");
  const auto row_bytes = checked_mul(width, channels * bits / 8);
  if (!row_bytes || *row_bytes > PTRDIFF_MAX / 2) return out_of_memory();

  auto file = OutputFile::open(path);
  if (!file) return std::unexpected(std::move(file.error()));
  std::unique_ptr<Encoder, DropEncoder> encoder(new (std::nothrow) Encoder{});
  if (!encoder) return out_of_memory();
  encoder->sink.fd = file->fd();
  Sink* sink = &encoder->sink;
  encoder->png = png_create_write_struct(PNG_LIBPNG_VER_STRING, sink, on_error, on_warning);
  encoder->info = encoder->png != nullptr ? png_create_info_struct(encoder->png) : nullptr;
  if (encoder->info == nullptr) return out_of_memory();
  png_set_write_fn(encoder->png, sink, write_data, flush_data);

  const bool started = start(encoder->png, encoder->info, width, height, channels, bits);
  PngStream stream(std::move(*file), path, std::move(encoder), height,
                   PngRows{*row_bytes, channels * bits / 8, bits == 16}, workers);
  if (!started) return stream.fail();
  try {
    stream.chunk_.reserve(kChunkSize);
  } catch (const std::bad_alloc&) {
    return out_of_memory();
  }
  stream.chunk_.assign(std::begin(PNG_ZLIB_HEADER), std::end(PNG_ZLIB_HEADER));
  return stream;
}

Status PngStream::write_rows(std::span<const std::uint8_t> pixels) {
  if (!encoder_) return invalid_input("The PNG writer is closed");
  const std::uint64_t n = layout_.row_bytes;
  if (pixels.size() % n != 0) {
    return invalid_input("Expected whole rows of " + std::to_string(n) + " bytes, got " +
                         std::to_string(pixels.size()) + " bytes");
  }
  const std::uint64_t rows = pixels.size() / n;
  if (rows > height_ - rows_written_) {
    return invalid_input("Got " + std::to_string(rows) + " rows, but only " +
                         std::to_string(height_ - rows_written_) + " of " +
                         std::to_string(height_) + " remain");
  }
  if (rows > 0 && !context_known_) {
    return invalid_input("Rows cannot follow deflated blocks");
  }
  const std::uint64_t first = rows_written_;  // the row pixels[0] is
  auto raw = [&](std::uint64_t row) {
    return row >= first ? pixels.data() + (row - first) * n
                        : held_.data() + (row - held_first_) * n;
  };
  try {
    // The unfinished block, completed from the new rows when they reach
    // its end.
    std::uint64_t used = 0;
    if (rows_written_ > next_block_) {
      used = std::min(rows, next_block_ + block_rows_ - rows_written_);
      held_.insert(held_.end(), pixels.begin(), pixels.begin() + used * n);
      const std::uint64_t end = rows_written_ + used;
      if (end - next_block_ == block_rows_ || end == height_) {
        const std::uint64_t context = png_context_rows(n, next_block_);
        const std::span<const std::uint8_t> held(held_);
        const auto at = (next_block_ - held_first_) * n;
        if (auto done = deflate({held.subspan(at - context * n, context * n), held.subspan(at),
                                 next_block_, context}, end == height_); !done) {
          return done;
        }
        next_block_ = end;
      }
    }
    // Whole blocks straight from the new rows, after the held ones.
    std::uint64_t whole = rows - used;
    if (first + rows != height_) whole -= whole % block_rows_;
    if (whole > 0) {
      const std::uint64_t context = png_context_rows(n, next_block_);
      std::vector<std::uint8_t> before;
      before.reserve(context * n);
      for (std::uint64_t row = next_block_ - context; row < next_block_; ++row) {
        before.insert(before.end(), raw(row), raw(row) + n);
      }
      if (auto done = deflate({before, pixels.subspan(used * n, whole * n), next_block_, context},
                              first + rows == height_); !done) {
        return done;
      }
      next_block_ += whole;
    }
    // Kept: the next block's context and the rows of the unfinished one.
    // Rebuilt only when a block was finished, so that the held rows are
    // copied about once each.
    const std::uint64_t keep = next_block_ - png_context_rows(n, next_block_);
    if (keep == held_first_) {
      held_.insert(held_.end(), pixels.begin() + used * n, pixels.end());
    } else {
      std::vector<std::uint8_t> kept;
      kept.reserve((first + rows - keep) * n);
      for (std::uint64_t row = keep; row < first + rows; ++row) {
        kept.insert(kept.end(), raw(row), raw(row) + n);
      }
      held_ = std::move(kept);
      held_first_ = keep;
    }
  } catch (const std::bad_alloc&) {
    abort();
    return out_of_memory();
  }
  rows_written_ = first + rows;
  return {};
}

Status PngStream::write_deflated(std::span<const std::uint8_t> deflated, std::uint32_t adler,
                                 std::uint64_t rows) {
  if (!encoder_) return invalid_input("The PNG writer is closed");
  if (rows_written_ != next_block_) {
    return invalid_input("Deflated blocks cannot follow the rows of an unfinished block");
  }
  if (rows == 0 || rows > height_ - rows_written_) {
    return invalid_input("Got " + std::to_string(rows) + " deflated rows, but " +
                         std::to_string(height_ - rows_written_) + " of " +
                         std::to_string(height_) + " remain");
  }
  if (rows % block_rows_ != 0 && rows_written_ + rows != height_) {
    return invalid_input("Deflated rows must be whole blocks of " + std::to_string(block_rows_) +
                         " rows, or end the image");
  }
  adler_ = adler32_joined(adler_, adler, rows * (layout_.row_bytes + 1));
  if (!append(deflated)) return fail();
  rows_written_ += rows;
  next_block_ = rows_written_;
  held_ = {};
  held_first_ = rows_written_;
  context_known_ = false;
  return {};
}

Status PngStream::deflate(const RowSpans& spans, bool last) {
  bool appended = true;
  auto done = deflate_blocks(layout_, spans, last,
                             [&](std::span<const std::uint8_t> bytes, std::uint32_t adler,
                                 std::uint64_t filtered) -> Status {
                               adler_ = adler32_joined(adler_, adler, filtered);
                               appended = append(bytes);
                               if (!appended) return io_error("");
                               return {};
                             },
                             workers_);
  if (done) return {};
  if (!appended) return fail();
  abort();
  return done;
}

bool PngStream::append(std::span<const std::uint8_t> bytes) {
  while (!bytes.empty()) {
    const std::size_t take = std::min(bytes.size(), kChunkSize - chunk_.size());
    chunk_.insert(chunk_.end(), bytes.begin(), bytes.begin() + take);
    bytes = bytes.subspan(take);
    if (chunk_.size() == kChunkSize) {
      if (!put_chunk(encoder_->png, "IDAT", chunk_.data(), chunk_.size())) return false;
      chunk_.clear();
    }
  }
  return true;
}

Status PngStream::commit() {
  if (!encoder_) return invalid_input("The PNG writer is closed");
  if (rows_written_ != height_) {
    abort();
    return invalid_input("Wrote " + std::to_string(rows_written_) + " of " +
                         std::to_string(height_) + " rows");
  }
  const std::uint8_t check[4] = {
      static_cast<std::uint8_t>(adler_ >> 24), static_cast<std::uint8_t>(adler_ >> 16),
      static_cast<std::uint8_t>(adler_ >> 8), static_cast<std::uint8_t>(adler_)};
  if (!append(check) ||
      (!chunk_.empty() && !put_chunk(encoder_->png, "IDAT", chunk_.data(), chunk_.size())) ||
      !put_chunk(encoder_->png, "IEND", nullptr, 0)) {
    return fail();
  }
  if (!drain(encoder_->sink)) {
    const int failure = encoder_->sink.failure;
    abort();
    return write_error(failure, path_);
  }
  encoder_.reset();
  OutputFile file = std::move(*file_);
  file_.reset();
  return file.commit();
}

void PngStream::abort() {
  encoder_.reset();
  file_.reset();
}

std::unexpected<Error> PngStream::fail() {
  Sink& sink = encoder_->sink;
  // What was encoded before the failure still reaches a file written in
  // place; the first failure decides the message.
  const int failure = sink.failure;
  drain(sink);
  const std::string message = sink.message;
  abort();
  // Interrupted: the target stays as it was (the temporary file goes).
  if (stop_requested()) return interrupted();
  if (failure != 0) return write_error(failure, path_);
  return io_error(message);
}

}  // namespace veldra
