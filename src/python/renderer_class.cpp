// Renderer: turns a field of 2 to 4 dimensions into pictures.
#include "hair/hair.hpp"
#include "image/renderer.hpp"
#include "python/any_field.hpp"
#include "python/classes.hpp"
#include "python/kit/class_spec.hpp"
#include "python/kit/text.hpp"

namespace veldra::py {
namespace renderer_class_detail {
namespace {

using Divisors = std::vector<std::uint64_t>;

Result<Renderer> make(AnyField noise) { return Renderer::create(noise.field()); }

// The field as it was given: an Instance stays an Instance.
PyObject* instance(const Renderer& self) {
  if (self.field().made_from_instance()) return box<Instance>(self.field().base());
  return box<veldra::Field>(self.field());
}

Result<Image> grayscale(const Renderer& self, Divisors divisors) {
  return self.grayscale(divisors);
}

Result<Image> colored(const Renderer& self, Divisors divisors, Palette palette) {
  return self.colored(divisors, palette);
}

Result<Image> rgb_channels(const Renderer& self, Divisors divisors) {
  return self.rgb_channels(divisors);
}

Result<Image> rgb_channels_at(const Renderer& self, Divisors divisors,
                              std::array<std::uint64_t, 3> slices) {
  return self.rgb_channels_at(divisors, slices);
}

Result<Image> rgb_palette(const Renderer& self, Divisors divisors, std::uint64_t slice,
                          Palette palette) {
  return self.rgb_palette(divisors, slice, palette);
}

Result<Image> relief(const Renderer& self, Divisors divisors, std::optional<Relief> settings) {
  return self.relief(divisors, settings.value_or(Relief{}));
}

Result<Image> globe(const Renderer& self, std::uint64_t width, std::uint64_t height,
                    std::optional<Globe> settings) {
  return self.globe(width, height, settings.value_or(Globe{}));
}

Result<Image> hair(const Renderer& self, std::uint64_t width, std::uint64_t height,
                   std::optional<Hair> settings) {
  return render_hair(self, width, height, settings.value_or(Hair{}));
}

// A renderer of an Instance shows its dims and seed; one of a Field shows
// the Field, whose settings the dims and seed would hide.
std::string repr(const Renderer& self) {
  if (!self.field().made_from_instance()) return "Renderer(" + field_repr(self.field()) + ")";
  return "Renderer(dims=" + list_text(self.field().dims()) +
         ", seed=" + std::to_string(self.field().seed()) + ")";
}

}  // namespace
}  // namespace renderer_class_detail

PyObject* make_renderer_class() {
  using namespace renderer_class_detail;
  ClassSpec spec = class_owning<Renderer, make, RangeErrors::Bare>(
      "Renderer",
      "Renderer(noise)\n--\n\n"
      "Samples a noise field into pixels.\n\n"
      "Wraps a field of two dimensions (greyscale or relief), three (colour) or\n"
      "four (globe). Axes map to the image the way a row-major array does: the\n"
      "first axis runs down the image, the second across it.");
  spec.methods = {
      method<instance, RangeErrors::Bare>("instance($self)\n--\n\nThe wrapped field, for sampling single points."),
      method<grayscale, RangeErrors::Bare>("grayscale($self, divisors)\n--\n\n"
                        "Greyscale image of a two dimensional field, one pixel per sample."),
      method<colored, RangeErrors::Bare>("colored($self, divisors, palette)\n--\n\n"
                      "Colour image of a two dimensional field, running each value through\n"
                      "``palette``."),
      method<rgb_channels, RangeErrors::Bare>("rgb_channels($self, divisors)\n--\n\n"
                           "Colour image of a three dimensional field, taking red, green and blue\n"
                           "from three evenly spaced slices of the third axis."),
      method<rgb_channels_at, RangeErrors::Bare>("rgb_channels_at($self, divisors, slices)\n--\n\n"
                              "Colour image of a three dimensional field, taking red, green and blue\n"
                              "from three chosen slices of the third axis."),
      method<rgb_palette, RangeErrors::Bare>("rgb_palette($self, divisors, slice, palette)\n--\n\n"
                          "Colour image of a three dimensional field, taking one slice of the\n"
                          "third axis and running each value through ``palette``."),
      method<relief, RangeErrors::Bare>("relief($self, divisors, relief=None)\n--\n\n"
                     "Lit image of a two dimensional field, read as a height map."),
      method<globe, RangeErrors::Bare>("globe($self, width, height, globe=None)\n--\n\n"
                    "A sphere carved out of a four dimensional field."),
      method<hair, RangeErrors::Bare>("hair($self, width, height, hair=None)\n--\n\n"
                   "A coat of hair drawn from particles set loose in a two dimensional\n"
                   "field."),
  };
  spec.repr = &repr_of<repr>;
  return make_class<Renderer>(std::move(spec));
}

}  // namespace veldra::py
