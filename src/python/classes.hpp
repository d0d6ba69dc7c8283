// The classes of the module, each created from its declaration table: the
// nine public ones, and Field and PngWriter, which the package exports.
#pragma once

#include <string>

#include "field/field.hpp"
#include "python/kit/python.hpp"

namespace veldra::py {

PyObject* make_palette_class();
PyObject* make_shape_class();
PyObject* make_relief_class();
PyObject* make_globe_class();
PyObject* make_hair_class();
PyObject* make_instance_class();
PyObject* make_table_class();
PyObject* make_image_class();
PyObject* make_renderer_class();

// Registered under private names; their __module__ is "veldra".
PyObject* make_field_class();
PyObject* make_png_writer_class();

// A Field's repr, the call that makes it: "Field(dims=[8, 8], seed=7, octaves=6)".
std::string field_repr(const veldra::Field& field);

}  // namespace veldra::py
