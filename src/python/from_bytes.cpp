// The input comes from pickles, which anyone can craft: every size is
// checked before anything is allocated, and the bytes must match it exactly.
#include "python/from_bytes.hpp"

#include <algorithm>
#include <cstring>

#include "base/buffer.hpp"
#include "image/image.hpp"
#include "python/boxed_types.hpp"
#include "python/kit/byte_view.hpp"
#include "python/kit/module_kit.hpp"
#include "python/kit/text.hpp"
#include "table/table.hpp"

namespace veldra::py {
namespace from_bytes_detail {
namespace {

// A count of bytes that no buffer can hold (nor its byte count be written).
bool impossible(std::optional<std::uint64_t> bytes) {
  return !bytes || *bytes > static_cast<std::uint64_t>(PTRDIFF_MAX);
}

Result<Table> table_from_bytes(std::vector<std::uint64_t> shape, ByteView data) {
  if (shape.empty() || shape.size() > MAX_DIMS) {
    return invalid_input("A table has 1 to " + std::to_string(MAX_DIMS) + " axes, got " +
                         std::to_string(shape.size()));
  }
  // An extent of 0 is a table of no values, as values at no points give.
  std::optional<std::uint64_t> count = 1;
  for (std::uint64_t extent : shape) {
    count = checked_mul(*count, extent);
    if (!count) return invalid_input("Grid size overflows usize");
  }
  const auto bytes = checked_mul(*count, sizeof(double));
  if (impossible(bytes)) return out_of_memory(*count, sizeof(double));
  // With no values, the other extents can still be any size: their
  // strides, which a buffer view of the table gives, must fit too.
  std::optional<std::uint64_t> span = sizeof(double);
  for (std::uint64_t extent : shape) {
    if (span) span = checked_mul(*span, std::max<std::uint64_t>(extent, 1));
  }
  if (impossible(span)) return invalid_input("Shape " + list_text(shape) + " is too large to address");
  if (data.bytes().size() != *bytes) {
    return invalid_input("Expected " + std::to_string(*bytes) + " bytes for shape " +
                         list_text(shape) + ", got " + std::to_string(data.bytes().size()));
  }
  auto values = allocate_deferred<double>(*count);
  if (!values) return std::unexpected(values.error());
  // A table of no values may have no storage at all: nothing to copy.
  if (*count != 0) std::memcpy(values->data(), data.bytes().data(), data.bytes().size());
  return Table{std::move(shape), std::move(*values)};
}

Result<Image> image_from_bytes(std::uint64_t width, std::uint64_t height, std::uint64_t channels,
                               ByteView pixels) {
  const auto bytes = image_bytes(width, height, channels);
  if (!bytes) return std::unexpected(bytes.error());
  if (pixels.bytes().size() != *bytes) {
    return invalid_input("Expected " + std::to_string(*bytes) + " bytes for " +
                         std::to_string(width) + "x" + std::to_string(height) + " pixels of " +
                         std::to_string(channels) + " channels, got " +
                         std::to_string(pixels.bytes().size()));
  }
  // The size is that of a buffer that exists: a failure here is a real
  // shortage, which the entry point raises as MemoryError.
  Image image;
  image.pixels.assign(pixels.bytes().begin(), pixels.bytes().end());
  image.width = width;
  image.height = height;
  image.channels = channels;
  return image;
}

}  // namespace
}  // namespace from_bytes_detail

Result<std::uint64_t> image_bytes(std::uint64_t width, std::uint64_t height,
                                  std::uint64_t channels) {
  using namespace from_bytes_detail;
  if (width == 0 || height == 0) return invalid_input("An image needs a positive width and height");
  if (channels != 1 && channels != 3) {
    return invalid_input("Channels has to be 1 or 3, got " + std::to_string(channels));
  }
  const auto area = checked_mul(width, height);
  const auto bytes = area ? checked_mul(*area, channels) : std::nullopt;
  if (impossible(bytes)) return out_of_memory();
  return *bytes;
}

std::vector<MethodSpec> from_bytes_functions() {
  using namespace from_bytes_detail;
  return {
      function<table_from_bytes>(
          "table_from_bytes(shape, data)\n--\n\n"
          "A table of ``shape`` holding ``data``: row-major float64 values in the\n"
          "machine's byte order, as ``bytes(table)`` gives them. Rebuilds a pickled\n"
          "table; ``data`` is any C-contiguous bytes-like object."),
      function<image_from_bytes>(
          "image_from_bytes(width, height, channels, pixels)\n--\n\n"
          "An image of ``width`` x ``height`` pixels of ``channels`` bytes (1 or 3)\n"
          "each, rows top to bottom, as :attr:`Image.pixels` gives them. Rebuilds a\n"
          "pickled image; ``pixels`` is any C-contiguous bytes-like object."),
  };
}

}  // namespace veldra::py
