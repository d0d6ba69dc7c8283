// Python objects that own exactly one core value. Each core type maps to one
// Python class, registered once at module initialisation.
#pragma once

#include <new>
#include <utility>

#include "python/kit/python.hpp"

namespace veldra::py {

// Whether Python objects own values of T. The module specialises it to true
// for each of its core types, before any use; those convert to and from
// their class (convert.hpp).
template <typename T>
inline constexpr bool is_boxed = false;

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
