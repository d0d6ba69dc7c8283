// Image: an 8-bit picture returned by every rendering.
#include "image/image.hpp"
#include "python/boxed_types.hpp"
#include "python/classes.hpp"
#include "python/kit/buffer_export.hpp"
#include "python/kit/class_spec.hpp"

namespace veldra::py {
namespace image_class_detail {
namespace {

std::uint64_t width(const Image& self) { return self.width; }
std::uint64_t height(const Image& self) { return self.height; }
std::uint64_t channels(const Image& self) { return self.channels; }
Bytes pixels(const Image& self) { return {self.pixels}; }

std::optional<Bytes> pixel(const Image& self, std::uint64_t x, std::uint64_t y) {
  auto bytes = self.pixel(x, y);
  if (!bytes) return std::nullopt;
  return Bytes{*bytes};
}

Status write_png(const Image& self, FsPath path) { return self.write_png(path.bytes); }

// One channel: (height, width); colour: (height, width, 3), as Pillow and
// numpy lay pictures out.
BufferLayout layout(const Image& self) {
  std::vector<Py_ssize_t> shape{static_cast<Py_ssize_t>(self.height),
                                static_cast<Py_ssize_t>(self.width)};
  if (self.channels != 1) shape.push_back(static_cast<Py_ssize_t>(self.channels));
  return {self.pixels.data(), 1, "B", std::move(shape)};
}

std::string repr(const Image& self) {
  return "Image(" + std::to_string(self.width) + "x" + std::to_string(self.height) +
         ", channels=" + std::to_string(self.channels) + ")";
}

}  // namespace
}  // namespace image_class_detail

PyObject* make_image_class() {
  using namespace image_class_detail;
  ClassSpec spec = class_owning<Image>(
      "Image", "An 8-bit image, rows top to bottom, ``channels`` bytes per pixel.");
  spec.properties = {
      readonly<width>("width", "Pixels across."),
      readonly<height>("height", "Pixels down."),
      readonly<channels>("channels", "Bytes per pixel: 1 for greyscale, 3 for colour."),
      readonly<pixels>("pixels", "The whole buffer, row-major."),
  };
  spec.methods = {
      method<pixel, RangeErrors::Bare>("pixel($self, x, y)\n--\n\nOne pixel's bytes, or ``None`` outside the image."),
      method<write_png, RangeErrors::Bare>("write_png($self, path)\n--\n\nWrite the image as a PNG."),
  };
  spec.repr = &repr_of<repr>;
  spec.get_buffer = &get_buffer<layout>;
  spec.release_buffer = &release_buffer;
  return make_class<Image>(std::move(spec));
}

}  // namespace veldra::py
