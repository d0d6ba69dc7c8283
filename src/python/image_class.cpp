// Image: an 8-bit picture returned by every rendering.
#include "image/image.hpp"
#include "python/class_spec.hpp"
#include "python/classes.hpp"

namespace veldra::py {
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

std::string repr(const Image& self) {
  return "Image(" + std::to_string(self.width) + "x" + std::to_string(self.height) +
         ", channels=" + std::to_string(self.channels) + ")";
}

}  // namespace

PyObject* make_image_class() {
  ClassSpec spec = class_owning<Image>(
      "Image", "An 8-bit image, rows top to bottom, ``channels`` bytes per pixel.");
  spec.properties = {
      readonly<width>("width", "Pixels across."),
      readonly<height>("height", "Pixels down."),
      readonly<channels>("channels", "Bytes per pixel: 1 for greyscale, 3 for colour."),
      readonly<pixels>("pixels", "The whole buffer, row-major."),
  };
  spec.methods = {
      method<pixel>("pixel($self, x, y)\n--\n\nOne pixel's bytes, or ``None`` outside the image."),
      method<write_png>("write_png($self, path)\n--\n\nWrite the image as a PNG."),
  };
  spec.repr = &repr_of<repr>;
  return make_class<Image>(std::move(spec));
}

}  // namespace veldra::py
