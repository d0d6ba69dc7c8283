#include "python/kit/buffer_export.hpp"

namespace veldra::py {

int export_buffer(PyObject* self, Py_buffer* view, int flags, const BufferLayout& layout) {
  view->obj = nullptr;
  if ((flags & PyBUF_WRITABLE) == PyBUF_WRITABLE) {
    PyErr_SetString(PyExc_BufferError, "the buffer is read-only");
    return -1;
  }
  const int ndim = static_cast<int>(layout.shape.size());
  // Every stride (the extents after an axis, an extent of 0 counted as 1,
  // times the item size) and the length must fit a Py_ssize_t; the owner
  // refuses such shapes first, and nothing below can overflow.
  Py_ssize_t count = 1;
  Py_ssize_t span = layout.itemsize;
  std::size_t spread_axes = 0;
  for (Py_ssize_t extent : layout.shape) {
    if (extent < 0 || __builtin_mul_overflow(span, extent > 1 ? extent : 1, &span)) {
      PyErr_SetString(PyExc_BufferError, "the buffer's shape does not fit Py_ssize_t");
      return -1;
    }
    count *= extent;
    if (extent > 1) ++spread_axes;
  }
  if ((flags & PyBUF_F_CONTIGUOUS) == PyBUF_F_CONTIGUOUS && spread_axes > 1) {
    PyErr_SetString(PyExc_BufferError, "the buffer is C-contiguous, not Fortran-contiguous");
    return -1;
  }

  // Shape and strides live in one block owned by the view.
  auto* extents = static_cast<Py_ssize_t*>(PyMem_Malloc(sizeof(Py_ssize_t) * 2 * (ndim ? ndim : 1)));
  if (!extents) {
    PyErr_NoMemory();
    return -1;
  }
  Py_ssize_t* strides = extents + ndim;
  Py_ssize_t stride = layout.itemsize;
  for (int i = ndim; i-- > 0;) {
    extents[i] = layout.shape[static_cast<std::size_t>(i)];
    strides[i] = stride;
    stride *= extents[i];
  }

  view->buf = const_cast<void*>(layout.data);
  view->len = count * layout.itemsize;
  view->readonly = 1;
  view->internal = extents;
  if ((flags & PyBUF_ND) == PyBUF_ND) {
    view->itemsize = layout.itemsize;
    view->format = (flags & PyBUF_FORMAT) ? const_cast<char*>(layout.format) : nullptr;
    view->ndim = ndim;
    view->shape = extents;
    view->strides = (flags & PyBUF_STRIDES) == PyBUF_STRIDES ? strides : nullptr;
  } else {
    // A plain request: the data as one run of unsigned bytes.
    view->itemsize = 1;
    view->format = (flags & PyBUF_FORMAT) ? const_cast<char*>("B") : nullptr;
    view->ndim = 1;
    view->shape = nullptr;
    view->strides = nullptr;
  }
  view->suboffsets = nullptr;
  view->obj = Py_NewRef(self);
  return 0;
}

void release_buffer(PyObject*, Py_buffer* view) { PyMem_Free(view->internal); }

}  // namespace veldra::py
