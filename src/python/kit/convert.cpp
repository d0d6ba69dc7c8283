#include "python/kit/convert.hpp"

#include <cstring>

namespace veldra::py {
namespace convert_detail {
namespace {

// NumPy's boolean scalars are accepted wherever a flag is, without
// depending on NumPy.
bool is_numpy_bool(PyObject* object) {
  PyObject* type = reinterpret_cast<PyObject*>(Py_TYPE(object));
  Ref module(PyObject_GetAttrString(type, "__module__"));
  Ref name(module ? PyType_GetName(Py_TYPE(object)) : nullptr);
  if (!module || !name) {
    PyErr_Clear();
    return false;
  }
  auto equals = [](PyObject* text, const char* expected) {
    return PyUnicode_Check(text) && PyUnicode_CompareWithASCIIString(text, expected) == 0;
  };
  return equals(module.get(), "numpy") && (equals(name.get(), "bool_") || equals(name.get(), "bool"));
}

}  // namespace
}  // namespace convert_detail

std::optional<double> Convert<double>::from(PyObject* object) {
  double value = PyFloat_AsDouble(object);  // also takes __float__ and __index__
  if (value == -1.0 && PyErr_Occurred()) return std::nullopt;
  return value;
}

std::optional<std::uint64_t> Convert<std::uint64_t>::from(PyObject* object) {
  Ref integer(PyLong_Check(object) ? Py_NewRef(object) : PyNumber_Index(object));
  if (!integer) return std::nullopt;
  unsigned long long value = PyLong_AsUnsignedLongLong(integer.get());
  if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return std::nullopt;
  return static_cast<std::uint64_t>(value);
}

std::optional<IntegerMod64> Convert<IntegerMod64>::from(PyObject* object) {
  Ref integer(PyLong_Check(object) ? Py_NewRef(object) : PyNumber_Index(object));
  if (!integer) return std::nullopt;
  unsigned long long value = PyLong_AsUnsignedLongLongMask(integer.get());
  if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return std::nullopt;
  return IntegerMod64{static_cast<std::uint64_t>(value)};
}

std::optional<std::uint8_t> Convert<std::uint8_t>::from(PyObject* object) {
  Ref integer(PyLong_Check(object) ? Py_NewRef(object) : PyNumber_Index(object));
  if (!integer) return std::nullopt;
  long long value = PyLong_AsLongLong(integer.get());
  if (value == -1 && PyErr_Occurred()) {
    if (!PyErr_ExceptionMatches(PyExc_OverflowError)) return std::nullopt;
    PyErr_Clear();
    value = -1;
  }
  if (value < 0 || value > 255) {
    PyErr_SetString(PyExc_OverflowError, "out of range integral type conversion attempted");
    return std::nullopt;
  }
  return static_cast<std::uint8_t>(value);
}

std::optional<bool> Convert<bool>::from(PyObject* object) {
  if (object == Py_True) return true;
  if (object == Py_False) return false;
  if (convert_detail::is_numpy_bool(object)) {
    int truth = PyObject_IsTrue(object);
    if (truth < 0) return std::nullopt;
    return truth == 1;
  }
  raise_cannot_convert(object, "PyBool");
  return std::nullopt;
}

std::optional<FsPath> Convert<FsPath>::from(PyObject* object) {
  Ref path(PyOS_FSPath(object));
  if (!path) return std::nullopt;
  if (!PyUnicode_Check(path.get())) {
    raise_cannot_convert(path.get(), "PyString");
    return std::nullopt;
  }
  Ref encoded(PyUnicode_EncodeFSDefault(path.get()));
  if (!encoded) return std::nullopt;
  char* bytes;
  Py_ssize_t size;
  if (PyBytes_AsStringAndSize(encoded.get(), &bytes, &size) < 0) return std::nullopt;
  if (std::memchr(bytes, '\0', static_cast<std::size_t>(size))) {
    PyErr_SetString(PyExc_ValueError, "embedded null byte");
    return std::nullopt;
  }
  return FsPath{std::string(bytes, static_cast<std::size_t>(size))};
}

std::optional<std::array<std::uint64_t, 3>> Convert<std::array<std::uint64_t, 3>>::from(
    PyObject* object) {
  if (!PyTuple_Check(object)) {
    raise_cannot_convert(object, "PyTuple");
    return std::nullopt;
  }
  Py_ssize_t length = PyTuple_Size(object);
  if (length != 3) {
    PyErr_Format(PyExc_ValueError, "expected tuple of length 3, but got tuple of length %zd",
                 length);
    return std::nullopt;
  }
  std::array<std::uint64_t, 3> values;
  for (Py_ssize_t i = 0; i < 3; ++i) {
    auto value = Convert<std::uint64_t>::from(PyTuple_GetItem(object, i));
    if (!value) return std::nullopt;
    values[static_cast<std::size_t>(i)] = *value;
  }
  return values;
}

template <typename Item>
std::optional<std::vector<Item>> Convert<std::vector<Item>>::from(PyObject* object) {
  if (PyUnicode_Check(object)) {
    PyErr_SetString(PyExc_TypeError, "Can't extract `str` to `Vec`");
    return std::nullopt;
  }
  if (!PySequence_Check(object)) {
    raise_cannot_convert(object, "Sequence");
    return std::nullopt;
  }
  std::vector<Item> items;
  // The length only reserves room: a failing or absurd __len__ is ignored.
  Py_ssize_t length = PySequence_Size(object);
  if (length < 0) {
    PyErr_Clear();
  } else if (length <= (Py_ssize_t{1} << 20)) {
    items.reserve(static_cast<std::size_t>(length));
  }
  Ref iterator(PyObject_GetIter(object));
  if (!iterator) return std::nullopt;
  while (Ref item{PyIter_Next(iterator.get())}) {
    auto value = Convert<Item>::from(item.get());
    if (!value) return std::nullopt;
    items.push_back(*value);
  }
  if (PyErr_Occurred()) return std::nullopt;
  return items;
}

template struct Convert<std::vector<double>>;
template struct Convert<std::vector<std::uint64_t>>;
template struct Convert<std::vector<std::uint8_t>>;
template struct Convert<std::vector<bool>>;

PyObject* to_python(double value) { return PyFloat_FromDouble(value); }
PyObject* to_python(std::uint64_t value) { return PyLong_FromUnsignedLongLong(value); }
PyObject* to_python(bool value) { return PyBool_FromLong(value); }
PyObject* to_python(Bytes bytes) {
  return PyBytes_FromStringAndSize(reinterpret_cast<const char*>(bytes.data.data()),
                                   static_cast<Py_ssize_t>(bytes.data.size()));
}

namespace convert_detail {
namespace {

template <typename T>
PyObject* list_of(std::span<const T> values) {
  PyObject* list = PyList_New(static_cast<Py_ssize_t>(values.size()));
  if (!list) return nullptr;
  for (std::size_t i = 0; i < values.size(); ++i) {
    PyObject* item = to_python(values[i]);
    if (!item) {
      Py_DECREF(list);
      return nullptr;
    }
    PyList_SetItem(list, static_cast<Py_ssize_t>(i), item);
  }
  return list;
}

}  // namespace
}  // namespace convert_detail

PyObject* to_python(std::span<const double> values) { return convert_detail::list_of(values); }
PyObject* to_python(std::span<const std::uint64_t> values) { return convert_detail::list_of(values); }

}  // namespace veldra::py
