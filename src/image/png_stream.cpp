// PngStream through libpng: the one home of the PNG settings (8 bits, no
// interlace, compression 6, every filter). libpng reports failure by
// longjmp out of its callbacks, so each function here that calls libpng
// sets its own jump target, and everything those callbacks and the setjmp
// frames touch is plain data: no object with a destructor lives across a
// libpng call.
#include "image/png_stream.hpp"

#include <png.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "base/buffer.hpp"
#include "base/interruption.hpp"
#include "base/os_error.hpp"

namespace veldra {
namespace {

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

// libpng hands over each chunk of compressed data as it fills (8 KiB), so
// asking stop_requested() here stops a row too wide to wait for part-way.
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
           std::uint64_t channels) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
  png_set_IHDR(png, info, png_size(width), png_size(height), 8,
               channels == 1 ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
  png_set_compression_level(png, 6);
  png_set_filter(png, PNG_FILTER_TYPE_BASE,
                 PNG_FILTER_SUB | PNG_FILTER_UP | PNG_FILTER_AVG | PNG_FILTER_PAETH);
  png_write_info(png, info);
  return true;
}

// Writes `count` rows of `row_bytes` bytes from `rows`, asking
// stop_requested() before each (and write_data within each). False when
// told to stop or when libpng gave up.
bool put_rows(png_structp png, const std::uint8_t* rows, std::uint64_t count,
              std::uint64_t row_bytes) {
  if (setjmp(png_jmpbuf(png))) return false;
  for (std::uint64_t y = 0; y < count; ++y) {
    if (stop_requested()) return false;
    png_write_row(png, rows + y * row_bytes);
  }
  return true;
}

bool finish(png_structp png) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_write_end(png, nullptr);
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
                     std::uint64_t row_bytes)
    : file_(std::move(file)),
      path_(std::move(path)),
      encoder_(std::move(encoder)),
      height_(height),
      row_bytes_(row_bytes) {}

PngStream::PngStream(PngStream&& other) noexcept = default;

PngStream::~PngStream() { abort(); }

Result<PngStream> PngStream::open(const std::string& path, std::uint64_t width,
                                  std::uint64_t height, std::uint64_t channels) {
  if (channels != 1 && channels != 3) return internal_error("a PNG has 1 or 3 channels");
  const auto row_bytes = checked_mul(width, channels);
  if (!row_bytes) return out_of_memory();

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

  const bool started = start(encoder->png, encoder->info, width, height, channels);
  PngStream stream(std::move(*file), path, std::move(encoder), height, *row_bytes);
  if (!started) return stream.fail();
  return stream;
}

Status PngStream::write_rows(std::span<const std::uint8_t> pixels) {
  if (!encoder_) return invalid_input("The PNG writer is closed");
  if (pixels.size() % row_bytes_ != 0) {
    return invalid_input("Expected whole rows of " + std::to_string(row_bytes_) + " bytes, got " +
                         std::to_string(pixels.size()) + " bytes");
  }
  const std::uint64_t rows = pixels.size() / row_bytes_;
  if (rows > height_ - rows_written_) {
    return invalid_input("Got " + std::to_string(rows) + " rows, but only " +
                         std::to_string(height_ - rows_written_) + " of " +
                         std::to_string(height_) + " remain");
  }
  if (!put_rows(encoder_->png, pixels.data(), rows, row_bytes_)) return fail();
  rows_written_ += rows;
  return {};
}

Status PngStream::commit() {
  if (!encoder_) return invalid_input("The PNG writer is closed");
  if (rows_written_ != height_) {
    abort();
    return invalid_input("Wrote " + std::to_string(rows_written_) + " of " +
                         std::to_string(height_) + " rows");
  }
  if (!finish(encoder_->png)) return fail();
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
