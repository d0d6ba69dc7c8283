#include "python/kit/signature.hpp"

#include <string_view>

namespace veldra::py {
namespace signature_detail {
namespace {

PyObject* parse_default(const std::string& text) {
  if (text == "None") return Py_NewRef(Py_None);
  if (text == "True") return Py_NewRef(Py_True);
  if (text == "False") return Py_NewRef(Py_False);
  if (text.find_first_of(".eE") != std::string::npos) {
    Ref number(PyUnicode_FromString(text.c_str()));
    return number ? PyFloat_FromString(number.get()) : nullptr;
  }
  return PyLong_FromString(text.c_str(), nullptr, 10);
}

// "'a'", "'a' and 'b'", "'a', 'b', and 'c'".
std::string quoted_list(const std::vector<std::string>& names) {
  std::string text;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) {
      if (names.size() > 2) text += ",";
      text += i + 1 == names.size() ? " and " : " ";
    }
    text += "'" + names[i] + "'";
  }
  return text;
}

bool too_many_positional(const Signature& sig, Py_ssize_t given) {
  const std::size_t most = sig.positional;
  const char* verb = given == 1 ? "was" : "were";
  if (sig.required == most) {
    PyErr_Format(PyExc_TypeError, "%s takes %zu positional arguments but %zd %s given",
                 sig.callable.c_str(), most, given, verb);
  } else {
    PyErr_Format(PyExc_TypeError, "%s takes from %zu to %zu positional arguments but %zd %s given",
                 sig.callable.c_str(), sig.required, most, given, verb);
  }
  return false;
}

}  // namespace
}  // namespace signature_detail

bool parse_signature(const char* doc, std::string callable, Signature& out) {
  using namespace signature_detail;
  out.callable = std::move(callable);
  out.parameters.clear();
  out.required = 0;
  out.positional = 0;
  bool failed = false;
  const TextSignature text = split_text_signature(doc, [&](const TextParameter& item) {
    if (failed) return;
    Parameter parameter{std::string(item.name)};
    if (!item.fallback.empty()) {
      parameter.fallback = parse_default(std::string(item.fallback));
      if (!parameter.fallback) {
        failed = true;
        return;
      }
    } else if (out.parameters.size() > out.required || item.keyword_only) {
      PyErr_Format(PyExc_SystemError, "required parameter after a default in %s",
                   out.callable.c_str());
      failed = true;
      return;
    } else {
      ++out.required;
    }
    out.parameters.push_back(std::move(parameter));
    if (!item.keyword_only) out.positional = out.parameters.size();
  });
  if (!text.found) {
    PyErr_Format(PyExc_SystemError, "no text signature in the docstring of %s", out.callable.c_str());
    return false;
  }
  return !failed;
}

bool bind_arguments(const Signature& sig, PyObject* args, PyObject* kwargs, PyObject** slots) {
  using namespace signature_detail;
  const std::size_t count = sig.parameters.size();
  for (std::size_t i = 0; i < count; ++i) slots[i] = nullptr;

  const Py_ssize_t given = args ? PyTuple_Size(args) : 0;
  if (given < 0) return false;
  if (static_cast<std::size_t>(given) > sig.positional) return too_many_positional(sig, given);
  for (Py_ssize_t i = 0; i < given; ++i) slots[i] = PyTuple_GetItem(args, i);

  if (kwargs) {
    PyObject *key, *value;
    Py_ssize_t position = 0;
    while (PyDict_Next(kwargs, &position, &key, &value)) {
      Py_ssize_t length = 0;
      const char* name = PyUnicode_Check(key) ? PyUnicode_AsUTF8AndSize(key, &length) : nullptr;
      if (!name) {
        PyErr_Clear();
        PyErr_Format(PyExc_TypeError, "%s keywords must be strings", sig.callable.c_str());
        return false;
      }
      // By the whole length: a name may hold a NUL byte.
      const std::string_view whole(name, static_cast<std::size_t>(length));
      std::size_t i = 0;
      while (i < count && sig.parameters[i].name != whole) ++i;
      if (i == count) {
        PyErr_Format(PyExc_TypeError, "%s got an unexpected keyword argument '%U'",
                     sig.callable.c_str(), key);
        return false;
      }
      if (slots[i]) {
        PyErr_Format(PyExc_TypeError, "%s got multiple values for argument '%s'",
                     sig.callable.c_str(), name);
        return false;
      }
      slots[i] = value;
    }
  }

  std::vector<std::string> missing;
  for (std::size_t i = 0; i < count; ++i) {
    if (slots[i]) continue;
    if (sig.parameters[i].fallback) {
      slots[i] = sig.parameters[i].fallback;
    } else {
      missing.push_back(sig.parameters[i].name);
    }
  }
  if (!missing.empty()) {
    PyErr_Format(PyExc_TypeError, "%s missing %zu required positional argument%s: %s",
                 sig.callable.c_str(), missing.size(), missing.size() == 1 ? "" : "s",
                 quoted_list(missing).c_str());
    return false;
  }
  return true;
}

}  // namespace veldra::py
