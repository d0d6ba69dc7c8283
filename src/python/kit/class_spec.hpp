// A Python class declared as a table: its name, docstring, constructor,
// properties, methods and special methods. make_class() turns the table into
// a heap type named "veldra.{name}".
#pragma once

#include <string>
#include <vector>

#include "python/kit/callable.hpp"

namespace veldra::py {

struct MethodSpec {
  const char* doc;  // starts with the text signature "name($self, ...)\n--\n\n"
  PyCFunctionWithKeywords call;
  Signature* signature;
};

struct PropertySpec {
  const char* name;
  const char* doc;
  getter get;
  setter set = nullptr;  // nullptr: read-only
  void* closure = nullptr;
};

struct ConstructorSpec {
  newfunc call = nullptr;  // nullptr: the class cannot be instantiated
  Signature* signature = nullptr;
};

struct ClassSpec {
  const char* name;
  std::string doc;  // with a text-signature line when there is a constructor
  int basic_size;
  destructor dealloc;
  ConstructorSpec constructor;
  std::vector<PropertySpec> properties;
  std::vector<MethodSpec> methods;
  reprfunc repr = nullptr;
  lenfunc length = nullptr;
  richcmpfunc compare = nullptr;
  bool unhashable = false;
  unaryfunc as_int = nullptr;
  int (*get_buffer)(PyObject*, Py_buffer*, int) = nullptr;  // with release_buffer: the buffer protocol
  void (*release_buffer)(PyObject*, Py_buffer*) = nullptr;
};

// `doc` starts with the text signature "name($self, a, b)\n--\n\n", which
// must name F's parameters after the first (the build fails otherwise). R:
// how an integer argument out of range is reported (RangeErrors).
template <auto F, RangeErrors R = RangeErrors::Named>
MethodSpec method(MethodDoc<F> doc) {
  return {doc.text, &Method<F, R>::call, &Method<F, R>::signature};
}

template <auto G>
PropertySpec readonly(const char* name, const char* doc) {
  return {name, doc, &Getter<G>::get};
}

// repr() from a function of the core value giving the text.
template <auto R>
PyObject* repr_of(PyObject* self) {
  using Self = std::remove_cvref_t<
      std::tuple_element_t<0, typename FunctionTraits<decltype(R)>::Arguments>>;
  return shielded([&] {
    std::string text = R(core_of<Self>(self));
    return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
  });
}

// The common part of every spec of a class owning a `Core`.
template <typename Core>
ClassSpec class_owning(const char* name, std::string doc) {
  ClassSpec spec{name, std::move(doc), static_cast<int>(sizeof(Box<Core>)), &dealloc_box<Core>,
                 {}, {}, {}};
  return spec;
}

// The same for a class whose objects `Make` creates: the class docstring
// starts with the constructor's text signature "Name(a, b=1)\n--\n\n",
// which must name Make's parameters (the build fails otherwise).
template <typename Core, auto Make, RangeErrors R = RangeErrors::Named>
ClassSpec class_owning(const char* name, FunctionDoc<Make> doc) {
  ClassSpec spec = class_owning<Core>(name, std::string(doc.text));
  spec.constructor = {&Constructor<Make, R>::call, &Constructor<Make, R>::signature};
  return spec;
}

// Creates the heap type of `spec`, records it as the class of `Core` and
// returns a new reference, or nullptr with an exception set. The method,
// property and slot tables are kept for the life of the process.
PyObject* make_class(ClassSpec spec, PyTypeObject** registered, const char** registered_name);

template <typename Core>
PyObject* make_class(ClassSpec spec) {
  return make_class(std::move(spec), &class_of<Core>, &class_name<Core>);
}

}  // namespace veldra::py
