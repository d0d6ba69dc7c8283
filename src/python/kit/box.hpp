// Python objects that own exactly one core value. Each core type maps to one
// Python class, registered once at module initialisation.
#pragma once

#include <new>
#include <utility>

#include "hair/hair.hpp"
#include "image/globe.hpp"
#include "image/image.hpp"
#include "image/palette.hpp"
#include "image/png_stream.hpp"
#include "image/relief.hpp"
#include "image/renderer.hpp"
#include "field/field.hpp"
#include "field/instance.hpp"
#include "table/table.hpp"
#include "python/kit/python.hpp"

namespace veldra::py {

// The core types that Python objects own.
template <typename T>
inline constexpr bool is_boxed = false;
template <> inline constexpr bool is_boxed<Instance> = true;
template <> inline constexpr bool is_boxed<veldra::Field> = true;
template <> inline constexpr bool is_boxed<Table> = true;
template <> inline constexpr bool is_boxed<Image> = true;
template <> inline constexpr bool is_boxed<Renderer> = true;
template <> inline constexpr bool is_boxed<Palette> = true;
template <> inline constexpr bool is_boxed<Shape> = true;
template <> inline constexpr bool is_boxed<Relief> = true;
template <> inline constexpr bool is_boxed<Globe> = true;
template <> inline constexpr bool is_boxed<Hair> = true;
template <> inline constexpr bool is_boxed<PngStream> = true;

template <typename Core>
struct Box {
  PyObject_HEAD
  Core core;
};

// The Python class of each boxed core type and its bare name, set when the
// class is created; the class holds a reference of its own (make_class).
template <typename Core>
inline PyTypeObject* class_of = nullptr;
template <typename Core>
inline const char* class_name = "";

template <typename Core>
Core& core_of(PyObject* object) {
  return reinterpret_cast<Box<Core>*>(object)->core;
}

template <typename Core>
bool is_instance(PyObject* object) {
  return PyObject_TypeCheck(object, class_of<Core>);
}

// Allocates an object of `type` and moves `core` into it; nullptr with an
// exception set on failure.
template <typename Core>
PyObject* box_into(PyTypeObject* type, Core&& core) {
  auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
  PyObject* object = alloc(type, 0);
  if (!object) return nullptr;
  new (&reinterpret_cast<Box<Core>*>(object)->core) Core(std::move(core));
  return object;
}

// A new object of Core's class owning `core`.
template <typename Core>
PyObject* box(Core core) {
  return box_into<Core>(class_of<Core>, std::move(core));
}

template <typename Core>
void dealloc_box(PyObject* object) {
  PyTypeObject* type = Py_TYPE(object);
  reinterpret_cast<Box<Core>*>(object)->core.~Core();
  auto free_object = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
  free_object(object);
  Py_DECREF(type);  // instances of heap types hold a reference to their class
}

}  // namespace veldra::py
