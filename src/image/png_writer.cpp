// Image::write_png: the whole image as one band of a PngStream.
#include "base/buffer.hpp"
#include "image/image.hpp"
#include "image/png_stream.hpp"

namespace veldra {

Status Image::write_png(const std::string& path) const {
  auto samples = checked_mul(width, height);
  if (samples) samples = checked_mul(*samples, channels);
  if ((channels != 1 && channels != 3) || !samples || *samples != pixels.size()) {
    return internal_error("an image's buffer must hold width * height * channels bytes");
  }
  auto stream = PngStream::open(path, width, height, channels);
  if (!stream) return std::unexpected(std::move(stream.error()));
  if (auto written = stream->write_rows(pixels); !written) return written;
  return stream->commit();
}

}  // namespace veldra
