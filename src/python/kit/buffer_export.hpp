// The buffer protocol for objects that own a read-only, C-contiguous block
// of numbers (tables and images), so that numpy.asarray and memoryview see
// the data without a copy. A view holds a reference to its object, which
// keeps the data alive for as long as the view exists.
#pragma once

#include <vector>

#include "python/kit/callable.hpp"

namespace veldra::py {

// What a view describes: `data` holds prod(shape) items of `itemsize` bytes,
// row-major (the last axis fastest).
struct BufferLayout {
  const void* data;
  Py_ssize_t itemsize;
  const char* format;  // struct-module code: "d" for float64, "B" for uint8
  std::vector<Py_ssize_t> shape;
};

// Fills `view` for `self` as the consumer's `flags` ask, or raises
// BufferError (a writable view, Fortran order of a true matrix, or a
// negative extent or a stride beyond Py_ssize_t).
int export_buffer(PyObject* self, Py_buffer* view, int flags, const BufferLayout& layout);
void release_buffer(PyObject* self, Py_buffer* view);

// A getbuffer slot from a function describing the core value's layout;
// shielded like every entry point (describing allocates).
template <auto Describe>
int get_buffer(PyObject* self, Py_buffer* view, int flags) {
  using Self = std::remove_cvref_t<
      std::tuple_element_t<0, typename FunctionTraits<decltype(Describe)>::Arguments>>;
  view->obj = nullptr;
  return shielded([&] { return export_buffer(self, view, flags, Describe(core_of<Self>(self))); });
}

}  // namespace veldra::py
