// Image::write_png through libpng. libpng reports failure by longjmp out of
// its callbacks, so everything those callbacks and the setjmp frame touch
// is plain data: no object with a destructor lives across a libpng call.
#include <png.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/buffer.hpp"
#include "base/interruption.hpp"
#include "base/os_error.hpp"
#include "base/output_file.hpp"
#include "image/image.hpp"

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

void write_data(png_structp png, png_bytep data, std::size_t length) {
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

// Writes the whole PNG stream into the sink. Returns false when libpng gave
// up, with the reason in the sink.
bool encode(png_structp png, png_infop info, const Image& image) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
  png_set_IHDR(png, info, png_size(image.width), png_size(image.height), 8,
               image.channels == 1 ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
  png_set_compression_level(png, 6);
  png_set_filter(png, PNG_FILTER_TYPE_BASE,
                 PNG_FILTER_SUB | PNG_FILTER_UP | PNG_FILTER_AVG | PNG_FILTER_PAETH);
  png_write_info(png, info);
  const std::uint64_t row_bytes = image.width * image.channels;
  for (std::uint64_t y = 0; y < image.height; ++y) {
    if (stop_requested()) return false;
    png_write_row(png, image.pixels.data() + y * row_bytes);
  }
  png_write_end(png, nullptr);
  return true;
}

}  // namespace

Status Image::write_png(const std::string& path) const {
  auto samples = checked_mul(width, height);
  if (samples) samples = checked_mul(*samples, channels);
  if ((channels != 1 && channels != 3) || !samples || *samples != pixels.size()) {
    return internal_error("an image's buffer must hold width * height * channels bytes");
  }

  auto file = OutputFile::open(path);
  if (!file) return std::unexpected(std::move(file.error()));

  Sink sink{};
  sink.fd = file->fd();
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &sink, on_error, on_warning);
  png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
  if (info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    return out_of_memory();
  }
  png_set_write_fn(png, &sink, write_data, flush_data);
  const bool encoded = encode(png, info, *this);
  png_destroy_write_struct(&png, &info);

  // What was encoded before a failure still reaches a file written in
  // place; the first failure decides the message.
  const int encode_failure = sink.failure;
  const bool drained = drain(sink);
  // Interrupted: the target stays as it was (the temporary file goes).
  if (!encoded && stop_requested()) return interrupted();
  if (!encoded) {
    if (encode_failure != 0) return write_error(encode_failure, path);
    return io_error(std::string(sink.message));
  }
  if (!drained) return write_error(sink.failure, path);
  return file->commit();
}

}  // namespace veldra
