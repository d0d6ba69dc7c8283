// Enumeration classes: one object per variant stored on the class, an
// integer form, equality with same-class objects and integers, no order,
// no hash, no constructor.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "python/kit/class_spec.hpp"

namespace veldra::py {

template <typename E>
struct Variant {
  const char* attribute;  // "BLUE_RED"
  E value;
};

template <typename E>
PyObject* enum_repr(PyObject* self) {
  return shielded([&] {
    std::string text =
        std::string(class_name<E>) + "." + std::string(display_name(core_of<E>(self)));
    return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
  });
}

template <typename E>
PyObject* enum_int(PyObject* self) {
  return PyLong_FromLong(static_cast<long>(core_of<E>(self)));
}

// The integer `other` stands for, when it is one of this class or converts
// by the integer protocol; nothing otherwise.
template <typename E>
std::optional<long long> comparable_value(PyObject* other) {
  if (is_instance<E>(other)) return static_cast<long long>(core_of<E>(other));
  if (!PyLong_Check(other) && !PyIndex_Check(other)) return std::nullopt;
  Ref integer(PyNumber_Index(other));
  long long value = integer ? PyLong_AsLongLong(integer.get()) : -1;
  if (PyErr_Occurred()) {
    PyErr_Clear();
    return std::nullopt;
  }
  return value;
}

template <typename E>
PyObject* enum_compare(PyObject* self, PyObject* other, int op) {
  if (op != Py_EQ && op != Py_NE) Py_RETURN_NOTIMPLEMENTED;
  auto value = comparable_value<E>(other);
  if (!value) Py_RETURN_NOTIMPLEMENTED;
  bool equal = *value == static_cast<long long>(core_of<E>(self));
  return PyBool_FromLong(op == Py_EQ ? equal : !equal);
}

// Creates the class and stores one object per variant on it.
template <typename E>
PyObject* make_enum_class(const char* name, const char* doc, std::span<const Variant<E>> variants,
                          std::vector<MethodSpec> methods = {}) {
  ClassSpec spec = class_owning<E>(name, doc);
  spec.methods = std::move(methods);
  spec.repr = &enum_repr<E>;
  spec.compare = &enum_compare<E>;
  spec.unhashable = true;
  spec.as_int = &enum_int<E>;
  Ref type(make_class<E>(std::move(spec)));
  if (!type) return nullptr;
  for (const Variant<E>& variant : variants) {
    Ref object(box<E>(variant.value));
    Ref attribute(PyUnicode_InternFromString(variant.attribute));
    // The class is immutable, which type.__setattr__ enforces; the generic
    // setter writes its dictionary once, here, before anyone can look.
    if (!object || !attribute ||
        PyObject_GenericSetAttr(type.get(), attribute.get(), object.get()) < 0) {
      return nullptr;
    }
  }
  PyType_Modified(reinterpret_cast<PyTypeObject*>(type.get()));
  return type.release();
}

}  // namespace veldra::py
