// The extension module veldra._native: constants and classes, each name
// appended to __all__ in the order it is added.
#include "image/globe.hpp"
#include "field/instance.hpp"
#include "python/classes.hpp"
#include "python/errors.hpp"

namespace veldra::py {
namespace {

// A state size of 0 (not -1) makes the interpreter call PyInit__native on
// every import rather than copying a cached dictionary, so a second import
// gets the first module back and a sub-interpreter is refused.
PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT, "_native", "", 0, nullptr, nullptr, nullptr, nullptr, nullptr,
};

// The module of the first initialisation; a later one hands it out again.
PyObject* the_module = nullptr;

bool add(PyObject* module, const char* name, PyObject* value) {
  Ref owned(value);
  if (!owned) return false;
  Ref all(PyObject_GetAttrString(module, "__all__"));
  if (!all) {
    PyErr_Clear();
    all = Ref(PyList_New(0));
    if (!all || PyModule_AddObjectRef(module, "__all__", all.get()) < 0) return false;
  }
  Ref text(PyUnicode_FromString(name));
  return text && PyList_Append(all.get(), text.get()) == 0 &&
         PyModule_AddObjectRef(module, name, owned.get()) == 0;
}

PyObject* initialise() {
  if (PyInterpreterState_GetID(PyInterpreterState_Get()) != 0) {
    PyErr_SetString(PyExc_ImportError,
                    "veldra._native can only be imported in the main interpreter");
    return nullptr;
  }
  if (the_module) return Py_NewRef(the_module);
  if (!create_internal_error_type()) return nullptr;

  Ref module(PyModule_Create(&module_def));
  if (!module) return nullptr;
  struct Addition {
    const char* name;
    PyObject* (*make)();
  };
  const Addition classes[] = {
      {"Palette", make_palette_class},   {"Shape", make_shape_class},
      {"Relief", make_relief_class},     {"Globe", make_globe_class},
      {"Hair", make_hair_class},         {"Instance", make_instance_class},
      {"Table", make_table_class},       {"Image", make_image_class},
      {"Renderer", make_renderer_class},
  };
  if (!add(module.get(), "MAX_DIMS", PyLong_FromSize_t(MAX_DIMS)) ||
      !add(module.get(), "MAX_SAMPLES", PyLong_FromUnsignedLongLong(MAX_SAMPLES))) {
    return nullptr;
  }
  for (const Addition& addition : classes) {
    if (!add(module.get(), addition.name, addition.make())) return nullptr;
  }
  the_module = Py_NewRef(module.get());
  return module.release();
}

}  // namespace
}  // namespace veldra::py

PyMODINIT_FUNC PyInit__native() { return veldra::py::shielded(veldra::py::initialise); }
