// Conversions between Python objects and core values, one per kind of
// parameter or result. A failed conversion returns nothing with the
// Python exception set; the caller adds the argument's name.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/error.hpp"
#include "python/kit/box.hpp"
#include "python/kit/errors.hpp"
#include "python/kit/python.hpp"

namespace veldra::py {

// A file-system path, already encoded with the file-system encoding.
struct FsPath {
  std::string bytes;
};

// Any Python integer (or object with __index__), taken modulo 2^64: -1 is
// 2^64 - 1, 2^64 + 5 is 5. For seeds, where every integer names a field.
struct IntegerMod64 {
  std::uint64_t value;
};

// Argument conversion: Convert<T>::from(object) gives a T or nothing.
// The primary template serves the boxed core types: an instance of the
// class registered for T (or a subclass), copied.
template <typename T>
struct Convert {
  static_assert(is_boxed<T>, "no conversion for this parameter type");
  static std::optional<T> from(PyObject* object) {
    if (!is_instance<T>(object)) {
      raise_cannot_convert(object, class_name<T>);
      return std::nullopt;
    }
    return core_of<T>(object);
  }
};

// None (or an omitted argument whose default is None) gives an empty
// optional; anything else converts as T.
template <typename T>
struct Convert<std::optional<T>> {
  static std::optional<std::optional<T>> from(PyObject* object) {
    // Built in place: copying an empty inner optional reads its unset
    // value, which GCC warns of once the call is inlined.
    if (object == Py_None) return std::optional<std::optional<T>>(std::in_place);
    auto value = Convert<T>::from(object);
    if (!value) return std::nullopt;
    return std::optional<T>(std::move(*value));
  }
};

template <>
struct Convert<double> {
  static std::optional<double> from(PyObject* object);
};
template <>
struct Convert<std::uint64_t> {
  static std::optional<std::uint64_t> from(PyObject* object);
};
template <>
struct Convert<IntegerMod64> {
  static std::optional<IntegerMod64> from(PyObject* object);
};
template <>
struct Convert<std::uint8_t> {
  static std::optional<std::uint8_t> from(PyObject* object);
};
template <>
struct Convert<bool> {
  static std::optional<bool> from(PyObject* object);
};
template <>
struct Convert<FsPath> {
  static std::optional<FsPath> from(PyObject* object);
};
template <>
struct Convert<std::array<std::uint64_t, 3>> {
  static std::optional<std::array<std::uint64_t, 3>> from(PyObject* object);
};

// Any sequence but a str, each item converted like a single argument.
template <typename Item>
struct Convert<std::vector<Item>> {
  static std::optional<std::vector<Item>> from(PyObject* object);
};

// Bytes handed back as a new Python bytes object (a copy).
struct Bytes {
  std::span<const std::uint8_t> data;
};

// Result conversion: a new reference, or nullptr with an exception set.
PyObject* to_python(double value);
PyObject* to_python(std::uint64_t value);
PyObject* to_python(bool value);
PyObject* to_python(Bytes bytes);
PyObject* to_python(std::span<const double> values);         // list of float
PyObject* to_python(std::span<const std::uint64_t> values);  // list of int
inline PyObject* to_python(const std::vector<double>& v) { return to_python(std::span(v)); }
inline PyObject* to_python(const std::vector<std::uint64_t>& v) { return to_python(std::span(v)); }

// Fixed-size numbers come back as tuples.
template <typename T, std::size_t N>
PyObject* to_python(const std::array<T, N>& values) {
  PyObject* tuple = PyTuple_New(N);
  if (!tuple) return nullptr;
  for (std::size_t i = 0; i < N; ++i) {
    using Number = std::conditional_t<std::is_floating_point_v<T>, double, std::uint64_t>;
    PyObject* item = to_python(static_cast<Number>(values[i]));
    if (!item) {
      Py_DECREF(tuple);
      return nullptr;
    }
    PyTuple_SetItem(tuple, static_cast<Py_ssize_t>(i), item);
  }
  return tuple;
}

// Nothing becomes None.
template <typename T>
PyObject* to_python(const std::optional<T>& value) {
  if (!value) return Py_NewRef(Py_None);
  return to_python(*value);
}

// Success becomes None; an error becomes its exception.
inline PyObject* to_python(const Status& status) {
  if (!status) return raise(status.error());
  return Py_NewRef(Py_None);
}

// A new core value becomes a new object of its class.
template <typename Core>
  requires is_boxed<Core>
PyObject* to_python(Core core) {
  return box<Core>(std::move(core));
}

template <typename T>
  requires(!std::is_void_v<T>)
PyObject* to_python(Result<T>&& result) {
  if (!result) return raise(result.error());
  return to_python(std::move(*result));
}

// Already a Python object: passed through (a new reference).
inline PyObject* to_python(PyObject* object) { return object; }

}  // namespace veldra::py
