// The extension module veldra._extras: functions and classes beyond those
// of veldra._native, built into the same library so that both share one
// class registry (an object made here is accepted there) and one core. The
// package loads it from _native's file under its own name.
#include "python/classes.hpp"
#include "python/from_bytes.hpp"
#include "python/picture_regions.hpp"
#include "python/kit/errors.hpp"
#include "python/kit/module_kit.hpp"
#include "table/table.hpp"

namespace veldra::py {
namespace {

// A state size of 0: see initialise_once().
PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT, "_extras", "", 0, nullptr, nullptr, nullptr, nullptr, nullptr,
};

PyObject* the_module = nullptr;

bool fill(PyObject* module) {
  // Everything here makes objects of _native's classes, which its
  // initialisation registers.
  if (!class_of<Table>) {
    PyErr_SetString(PyExc_ImportError, "veldra._extras needs veldra._native imported first");
    return false;
  }
  return add_functions(module, from_bytes_functions()) &&
         add_to_module(module, "Field", make_field_class()) &&
         add_functions(module, picture_region_functions()) &&
         add_to_module(module, "PngWriter", make_png_writer_class());
}

PyObject* initialise() { return initialise_once(module_def, the_module, fill); }

}  // namespace
}  // namespace veldra::py

PyMODINIT_FUNC PyInit__extras() { return veldra::py::shielded(veldra::py::initialise); }
