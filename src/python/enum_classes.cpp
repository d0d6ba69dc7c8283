// Palette and Shape: the colour ramps and the height shapes.
#include "image/palette.hpp"
#include "python/boxed_types.hpp"
#include "python/classes.hpp"
#include "python/kit/enum_class.hpp"

namespace veldra::py {
namespace enum_classes_detail {
namespace {

constexpr Variant<Palette> palettes[] = {
    {"GRAY", Palette::Gray},       {"BLUE_RED", Palette::BlueRed}, {"HEAT", Palette::Heat},
    {"CRIMSON", Palette::Crimson}, {"AZURE", Palette::Azure},      {"TERRAIN", Palette::Terrain},
};

constexpr Variant<Shape> shapes[] = {
    {"SMOOTH", Shape::Smooth}, {"BILLOW", Shape::Billow}, {"RIDGED", Shape::Ridged},
};

Rgb palette_color(const Palette& self, double position) { return color(self, position); }

}  // namespace
}  // namespace enum_classes_detail

PyObject* make_palette_class() {
  using namespace enum_classes_detail;
  return make_enum_class<Palette>(
      "Palette",
      "Maps a noise value to a colour.\n\n"
      "``GRAY`` is black through white. ``BLUE_RED`` is blue through white to red.\n"
      "``HEAT`` is black through red and orange to white. ``CRIMSON`` and\n"
      "``AZURE`` are the ramps built for relief: they hold no black, so the dark\n"
      "comes only from the shading. ``TERRAIN`` is water, sand, grass, rock, snow.",
      palettes,
      {method<palette_color, RangeErrors::Bare>("color($self, position)\n--\n\n"
                             "Colour at ``position``, which is clamped to 0..1.")});
}

PyObject* make_shape_class() {
  using namespace enum_classes_detail;
  return make_enum_class<Shape>(
      "Shape",
      "How the noise is shaped into a height map before it is lit.\n\n"
      "``SMOOTH`` is rolling hills. ``BILLOW`` turns the zero-crossings into\n"
      "creases between rounded blobs. ``RIDGED`` is billow upside down: sharp\n"
      "ridges with wide basins between them.",
      shapes);
}

}  // namespace veldra::py
