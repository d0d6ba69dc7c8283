#include "python/kit/byte_view.hpp"

namespace veldra::py {

void ByteView::Release::operator()(Py_buffer* view) const {
  PyBuffer_Release(view);
  delete view;
}

std::optional<ByteView> Convert<ByteView>::from(PyObject* object) {
  auto view = std::make_unique<Py_buffer>();
  if (PyObject_GetBuffer(object, view.get(), PyBUF_SIMPLE) < 0) {
    // A strided view is a BufferError; like a wrong type it is a TypeError
    // naming the argument, with the exporter's own text.
    exception_as_type_error(PyExc_BufferError);
    return std::nullopt;
  }
  return ByteView(std::unique_ptr<Py_buffer, ByteView::Release>(view.release()));
}

}  // namespace veldra::py
