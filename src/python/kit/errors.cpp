#include "python/kit/errors.hpp"

#include <string>

#include "base/os_error.hpp"

namespace veldra::py {
namespace errors_detail {
namespace {

PyObject* internal_error_type = nullptr;

// For each class OSError picks by errno (FileNotFoundError, ...), a
// subclass of it whose str() is that of its arguments: errno, strerror and
// filename set on the built-in class itself would turn str(e) into
// "[Errno 2] ...: 'path'", and the message stays the one of every release.
// Kept for the life of the process, keyed by the built-in class.
PyObject* plain_text_classes = nullptr;

PyObject* plain_text_class(PyObject* base) {
  if (!plain_text_classes && !(plain_text_classes = PyDict_New())) return nullptr;
  if (PyObject* known = PyDict_GetItemWithError(plain_text_classes, base)) return known;
  if (PyErr_Occurred()) return nullptr;
  Ref name(PyObject_GetAttrString(base, "__name__"));
  Ref plain_str(PyObject_GetAttrString(PyExc_BaseException, "__str__"));
  Ref members(PyDict_New());
  if (!name || !plain_str || !members ||
      PyDict_SetItemString(members.get(), "__str__", plain_str.get()) < 0) {
    return nullptr;
  }
  const char* bare = PyUnicode_AsUTF8AndSize(name.get(), nullptr);
  if (!bare) return nullptr;
  const std::string qualified = std::string("veldra.") + bare;
  Ref made(PyErr_NewException(qualified.c_str(), base, members.get()));
  if (!made || PyDict_SetItem(plain_text_classes, base, made.get()) < 0) return nullptr;
  return made.get();  // borrowed from the dictionary
}

// Raises the OSError subclass Python itself raises for error.os_errno, with
// errno, strerror and filename set, and the message as its only argument.
void raise_os_error(const Error& error) {
  Ref message(PyUnicode_FromStringAndSize(error.message.data(),
                                          static_cast<Py_ssize_t>(error.message.size())));
  if (!message) return;
  const std::string text = os_error_description(error.os_errno);
  Ref description(PyUnicode_DecodeLocaleAndSize(text.data(), static_cast<Py_ssize_t>(text.size()),
                                                "surrogateescape"));
  Ref filename(PyUnicode_DecodeFSDefaultAndSize(error.path.data(),
                                                static_cast<Py_ssize_t>(error.path.size())));
  if (!description || !filename) return;
  Ref probe(PyObject_CallFunction(PyExc_OSError, "iO", error.os_errno, description.get()));
  PyObject* type = probe ? plain_text_class(reinterpret_cast<PyObject*>(Py_TYPE(probe.get())))
                         : nullptr;
  if (!type) return;
  Ref exception(PyObject_CallFunction(type, "iOO", error.os_errno, description.get(),
                                      filename.get()));
  Ref arguments(PyTuple_Pack(1, message.get()));
  if (!exception || !arguments ||
      PyObject_SetAttrString(exception.get(), "args", arguments.get()) < 0) {
    return;
  }
  PyErr_SetObject(type, exception.get());
}

}  // namespace
}  // namespace errors_detail

bool create_internal_error_type() {
  using namespace errors_detail;
  if (internal_error_type) return true;
  internal_error_type = PyErr_NewException("veldra.InternalError", PyExc_BaseException, nullptr);
  return internal_error_type != nullptr;
}

PyObject* raise(const Error& error) {
  using namespace errors_detail;
  // A stopped call may fail in other ways on its way out; the handler's
  // exception is the news.
  if (PyErr_Occurred()) return nullptr;
  switch (error.kind) {
    case ErrorKind::InvalidInput:
      PyErr_SetString(PyExc_ValueError, error.message.c_str());
      break;
    case ErrorKind::Io:
      if (error.os_errno != 0) {
        raise_os_error(error);
      } else {
        PyErr_SetString(PyExc_OSError, error.message.c_str());
      }
      break;
    case ErrorKind::OutOfMemory:
      PyErr_SetString(PyExc_MemoryError, error.message.c_str());
      break;
    case ErrorKind::Internal:
      PyErr_SetString(internal_error_type ? internal_error_type : PyExc_SystemError,
                      error.message.c_str());
      break;
    case ErrorKind::Interrupted:
      // Only a poll that left an exception set stops a call.
      PyErr_SetNone(PyExc_KeyboardInterrupt);
      break;
  }
  return nullptr;
}

bool signal_handler_raised() { return PyErr_CheckSignals() != 0; }

void prefix_argument_name(const char* name, RangeErrors range_errors) {
  PyObject* kind = PyExc_TypeError;
  if (!PyErr_ExceptionMatches(kind)) {
    kind = PyExc_OverflowError;
    if (range_errors == RangeErrors::Bare || !PyErr_ExceptionMatches(kind)) return;
  }
  PyObject *type, *value, *traceback;
  PyErr_Fetch(&type, &value, &traceback);
  PyErr_NormalizeException(&type, &value, &traceback);
  Ref original_type(type), original(value), original_traceback(traceback);
  Ref text(original ? PyObject_Str(original.get()) : nullptr);
  if (!text) return;
  Ref wrapped(PyUnicode_FromFormat("argument '%s': %U", name, text.get()));
  if (!wrapped) return;
  Ref replacement(PyObject_CallFunctionObjArgs(kind, wrapped.get(), nullptr));
  if (!replacement) return;
  if (PyObject* cause = PyException_GetCause(original.get())) {
    PyException_SetCause(replacement.get(), cause);  // steals the new reference
  }
  PyErr_SetObject(kind, replacement.get());
}

void raise_cannot_convert(PyObject* object, const char* target) {
  Ref name(PyType_GetName(Py_TYPE(object)));
  if (!name) return;
  PyErr_Format(PyExc_TypeError, "'%U' object cannot be converted to '%s'", name.get(), target);
}

void exception_as_type_error(PyObject* kind) {
  if (!PyErr_ExceptionMatches(kind)) return;
  PyObject *type, *value, *traceback;
  PyErr_Fetch(&type, &value, &traceback);
  Ref text(value ? PyObject_Str(value) : nullptr);
  Py_XDECREF(type);
  Py_XDECREF(value);
  Py_XDECREF(traceback);
  if (text) PyErr_SetObject(PyExc_TypeError, text.get());
}

}  // namespace veldra::py
