#include "python/points_arg.hpp"

#include <bit>
#include <cstring>

namespace veldra::py {
namespace {

// Native or explicit byte order, one double per item.
bool is_float64(const Py_buffer& view) {
  const char* f = view.format ? view.format : "B";
  if (*f == '@' || *f == '=' || *f == (std::endian::native == std::endian::little ? '<' : '>')) ++f;
  return view.itemsize == 8 && std::strcmp(f, "d") == 0;
}

}  // namespace

void PointsArg::Release::operator()(Py_buffer* view) const {
  PyBuffer_Release(view);
  delete view;
}

std::optional<PointsArg> Convert<PointsArg>::from(PyObject* object) {
  PointsArg points;
  if (PyObject_CheckBuffer(object)) {
    auto view = std::make_unique<Py_buffer>();
    if (PyObject_GetBuffer(object, view.get(), PyBUF_C_CONTIGUOUS | PyBUF_FORMAT) < 0) {
      exception_as_type_error(PyExc_BufferError);
      exception_as_type_error(PyExc_ValueError);
      return std::nullopt;
    }
    points.view_ = std::unique_ptr<Py_buffer, PointsArg::Release>(view.release());
    const Py_buffer& v = *points.view_;
    if (v.ndim != 2 || !is_float64(v)) {
      PyErr_Format(PyExc_TypeError, "expected a 2-dimensional buffer of float64, got %d dimensions of format '%s'",
                   v.ndim, v.format ? v.format : "B");
      return std::nullopt;
    }
    points.rows_ = {static_cast<const double*>(v.buf), static_cast<std::uint64_t>(v.shape[0]),
                    static_cast<std::size_t>(v.shape[1])};
    return points;
  }
  if (PyUnicode_Check(object) || !PySequence_Check(object)) {
    raise_cannot_convert(object, "Sequence");
    return std::nullopt;
  }
  Ref iterator(PyObject_GetIter(object));
  if (!iterator) return std::nullopt;
  std::uint64_t count = 0;
  std::size_t width = 0;
  while (Ref item{PyIter_Next(iterator.get())}) {
    auto point = Convert<std::vector<double>>::from(item.get());
    if (!point) return std::nullopt;
    if (count == 0) width = point->size();
    if (point->size() != width) {
      points.odd_ = PointsArg::Odd{count, std::move(*point)};
      break;
    }
    points.copied_.insert(points.copied_.end(), point->begin(), point->end());
    ++count;
  }
  if (PyErr_Occurred()) return std::nullopt;
  points.rows_ = {points.copied_.data(), count, width};
  return points;
}

}  // namespace veldra::py
