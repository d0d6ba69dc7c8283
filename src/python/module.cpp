// The extension module veldra._native, the one module of the library:
// constants and the nine classes, each name appended to __all__ in the
// order it is added; then, under private names kept out of __all__, what
// the package exports besides them (Field, PngWriter, and the functions
// that rebuild tables and images and make pictures region by region).
#include "field/instance.hpp"
#include "image/globe.hpp"
#include "python/classes.hpp"
#include "python/from_bytes.hpp"
#include "python/kit/errors.hpp"
#include "python/kit/module_kit.hpp"
#include "python/picture_regions.hpp"
#include "python/png_functions.hpp"

namespace veldra::py {
namespace module_detail {
namespace {

// A state size of 0: see initialise_once().
PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT, "_native", "", 0, nullptr, nullptr, nullptr, nullptr, nullptr,
};

// The module of the first initialisation; a later one hands it out again.
PyObject* the_module = nullptr;

// Where the private names are public, and where pickles look for them.
constexpr const char* kPackage = "veldra";

bool fill(PyObject* module) {
  if (!create_internal_error_type()) return false;
  struct Addition {
    const char* name;
    PyObject* (*make)();
  };
  const Addition classes[] = {
      {"Palette", make_palette_class},   {"Shape", make_shape_class},
      {"Relief", make_relief_class},     {"Globe", make_globe_class},
      {"Hair", make_hair_class},         {"Instance", make_instance_class},
      {"Table", make_table_class},       {"Image", make_image_class},
      {"Renderer", make_renderer_class}, {"_Field", make_field_class},
      {"_PngWriter", make_png_writer_class},
  };
  if (!add_to_module(module, "MAX_DIMS", PyLong_FromSize_t(MAX_DIMS)) ||
      !add_to_module(module, "MAX_SAMPLES", PyLong_FromUnsignedLongLong(MAX_SAMPLES))) {
    return false;
  }
  for (const Addition& addition : classes) {
    if (!add_to_module(module, addition.name, addition.make())) return false;
  }
  return add_private_functions(module, from_bytes_functions(), kPackage) &&
         add_private_functions(module, picture_region_functions(), kPackage) &&
         add_private_functions(module, png_functions(), kPackage);
}

PyObject* initialise() { return initialise_once(module_def, the_module, fill); }

}  // namespace
}  // namespace module_detail
}  // namespace veldra::py

PyMODINIT_FUNC PyInit__native() { return veldra::py::shielded(veldra::py::module_detail::initialise); }
