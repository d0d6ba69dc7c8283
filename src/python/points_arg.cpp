#include "python/points_arg.hpp"

#include <bit>
#include <cmath>
#include <cstring>

#include "base/buffer.hpp"
#include "base/interruption.hpp"

namespace veldra::py {
namespace points_arg_detail {
namespace {

// Points converted between two asks whether the call should stop: a list
// of millions of points stops within milliseconds of Ctrl-C.
constexpr std::uint64_t POLL_POINTS = 4096;

// How one item of a buffer is read: its kind, its size in bytes and
// whether its bytes are in the other order than this machine's.
struct ItemFormat {
  enum Kind { Float, Signed, Unsigned } kind;
  std::size_t size;
  bool swapped;
};

// The struct-module format of one real number, with an optional byte
// order: d, f, e and the integers b B h H i I l L q Q n N. Others (bool,
// complex, characters, records) give nothing.
std::optional<ItemFormat> item_format(const char* format, Py_ssize_t itemsize) {
  const char* f = format ? format : "B";
  bool swapped = false;
  if (*f == '@' || *f == '=') {
    ++f;
  } else if (*f == '<' || *f == '>' || *f == '!') {
    swapped = (*f == '<') != (std::endian::native == std::endian::little);
    ++f;
  }
  if (f[0] == '\0' || f[1] != '\0') return std::nullopt;
  const auto size = static_cast<std::size_t>(itemsize);
  auto kind = [&]() -> std::optional<ItemFormat::Kind> {
    switch (f[0]) {
      case 'd': case 'f': case 'e': return ItemFormat::Float;
      case 'b': case 'h': case 'i': case 'l': case 'q': case 'n': return ItemFormat::Signed;
      case 'B': case 'H': case 'I': case 'L': case 'Q': case 'N': return ItemFormat::Unsigned;
      default: return std::nullopt;
    }
  }();
  if (!kind) return std::nullopt;
  const bool sized = *kind == ItemFormat::Float
                         ? size == (f[0] == 'd' ? 8u : f[0] == 'f' ? 4u : 2u)
                         : (size == 1 || size == 2 || size == 4 || size == 8);
  if (!sized) return std::nullopt;
  return ItemFormat{*kind, size, swapped && size > 1};
}

// An IEEE half-precision number, exactly.
double from_half(std::uint16_t bits) {
  const int exponent = (bits >> 10) & 0x1f;
  const int fraction = bits & 0x3ff;
  double magnitude;
  if (exponent == 0x1f) {
    magnitude = fraction ? NAN : INFINITY;
  } else if (exponent == 0) {
    magnitude = std::ldexp(fraction, -24);
  } else {
    magnitude = std::ldexp(fraction | 0x400, exponent - 25);
  }
  return (bits & 0x8000) ? -magnitude : magnitude;
}

// The number at `at`, read byte-wise: no alignment is assumed.
double read_item(const char* at, const ItemFormat& item) {
  unsigned char bytes[8];
  std::memcpy(bytes, at, item.size);
  if (item.swapped) {
    for (std::size_t i = 0; i < item.size / 2; ++i) std::swap(bytes[i], bytes[item.size - 1 - i]);
  }
  auto as = [&]<typename T>(T) {
    T value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
  };
  if (item.kind == ItemFormat::Float) {
    if (item.size == 8) return as(double{});
    if (item.size == 4) return as(float{});
    return from_half(as(std::uint16_t{}));
  }
  const bool is_signed = item.kind == ItemFormat::Signed;
  switch (item.size) {
    case 1: return is_signed ? as(std::int8_t{}) : as(std::uint8_t{});
    case 2: return is_signed ? as(std::int16_t{}) : as(std::uint16_t{});
    case 4: return is_signed ? as(std::int32_t{}) : as(std::uint32_t{});
    default: return is_signed ? static_cast<double>(as(std::int64_t{})) : static_cast<double>(as(std::uint64_t{}));
  }
}

// Whether `view` is read in place: native float64, C-contiguous, aligned.
bool readable_in_place(const Py_buffer& view, const ItemFormat& item) {
  if (item.kind != ItemFormat::Float || item.size != 8 || item.swapped) return false;
  if (reinterpret_cast<std::uintptr_t>(view.buf) % alignof(double) != 0) return false;
  return PyBuffer_IsContiguous(&view, 'C') == 1;
}

void raise_dimensions(int ndim, const std::string& format) {
  PyErr_Format(PyExc_TypeError, "expected a 2-dimensional buffer of float64, got %d dimensions of format '%s'",
               ndim, format.c_str());
}

// The number of points converted so far tells whether to ask if the call
// should stop; true when it should (the handler's exception is set).
bool stop_at(std::uint64_t converted) {
  return converted % POLL_POINTS == 0 && converted != 0 && stop_requested();
}

}  // namespace
}  // namespace points_arg_detail

void PointsArg::Release::operator()(Py_buffer* view) const {
  PyBuffer_Release(view);
  delete view;
}

bool PointsArg::fits(std::size_t n) const {
  using namespace points_arg_detail;
  if (!flat_ || n == 1) return true;
  raise_dimensions(1, format_);
  prefix_argument_name("points");
  return false;
}

std::optional<PointsArg> Convert<PointsArg>::from(PyObject* object) {
  using namespace points_arg_detail;
  PointsArg points;
  if (PyObject_CheckBuffer(object)) {
    auto view = std::make_unique<Py_buffer>();
    if (PyObject_GetBuffer(object, view.get(), PyBUF_RECORDS_RO) < 0) {
      exception_as_type_error(PyExc_BufferError);
      exception_as_type_error(PyExc_ValueError);
      return std::nullopt;
    }
    points.view_ = std::unique_ptr<Py_buffer, PointsArg::Release>(view.release());
    const Py_buffer& v = *points.view_;
    points.format_ = v.format ? v.format : "B";
    if (v.ndim != 2 && v.ndim != 1) {
      raise_dimensions(v.ndim, points.format_);
      return std::nullopt;
    }
    const auto item = item_format(v.format, v.itemsize);
    if (!item) {
      PyErr_Format(PyExc_TypeError, "expected real numbers (float or integer), got buffer format '%s'",
                   points.format_.c_str());
      return std::nullopt;
    }
    points.flat_ = v.ndim == 1;
    const auto count = static_cast<std::uint64_t>(v.shape[0]);
    const auto width = points.flat_ ? std::size_t{1} : static_cast<std::size_t>(v.shape[1]);
    if (readable_in_place(v, *item)) {
      points.rows_ = {static_cast<const double*>(v.buf), count, width};
      return points;
    }
    // Any other layout: one pass into rows of float64, by the strides.
    const Py_ssize_t row_stride = v.strides ? v.strides[0] : v.itemsize * static_cast<Py_ssize_t>(width);
    const Py_ssize_t column_stride = points.flat_ ? 0 : v.strides ? v.strides[1] : v.itemsize;
    // (A view with zero strides may show more numbers than memory holds.)
    const auto numbers = checked_mul(count, width);
    if (!numbers || !try_reserve(points.copied_, *numbers)) {
      raise(out_of_memory(numbers ? *numbers : count, numbers ? sizeof(double) : width * sizeof(double)).error());
      return std::nullopt;
    }
    for (std::uint64_t i = 0; i < count; ++i) {
      if (stop_at(i)) return std::nullopt;
      const char* row = static_cast<const char*>(v.buf) + static_cast<Py_ssize_t>(i) * row_stride;
      for (std::size_t j = 0; j < width; ++j) {
        points.copied_.push_back(read_item(row + static_cast<Py_ssize_t>(j) * column_stride, *item));
      }
    }
    points.rows_ = {points.copied_.data(), count, width};
    points.view_.reset();  // the copy is all the call reads
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
    if (stop_at(count)) return std::nullopt;
  }
  if (PyErr_Occurred()) return std::nullopt;
  points.rows_ = {points.copied_.data(), count, width};
  return points;
}

}  // namespace veldra::py
