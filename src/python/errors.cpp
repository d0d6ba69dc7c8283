#include "python/errors.hpp"

#include <string>

namespace veldra::py {
namespace {

PyObject* internal_error_type = nullptr;

}  // namespace

bool create_internal_error_type() {
  if (internal_error_type) return true;
  internal_error_type = PyErr_NewException("veldra.InternalError", PyExc_BaseException, nullptr);
  return internal_error_type != nullptr;
}

PyObject* raise(const Error& error) {
  // A stopped call may fail in other ways on its way out; the handler's
  // exception is the news.
  if (PyErr_Occurred()) return nullptr;
  switch (error.kind) {
    case ErrorKind::InvalidInput:
      PyErr_SetString(PyExc_ValueError, error.message.c_str());
      break;
    case ErrorKind::Io:
      // Built from the single string, so errno and filename stay unset.
      PyErr_SetString(PyExc_OSError, error.message.c_str());
      break;
    case ErrorKind::OutOfMemory:
      PyErr_NoMemory();
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

void prefix_argument_name(const char* name) {
  if (!PyErr_ExceptionMatches(PyExc_TypeError)) return;
  PyObject *type, *value, *traceback;
  PyErr_Fetch(&type, &value, &traceback);
  PyErr_NormalizeException(&type, &value, &traceback);
  Ref original_type(type), original(value), original_traceback(traceback);
  Ref text(original ? PyObject_Str(original.get()) : nullptr);
  if (!text) return;
  Ref wrapped(PyUnicode_FromFormat("argument '%s': %U", name, text.get()));
  if (!wrapped) return;
  Ref replacement(PyObject_CallFunctionObjArgs(PyExc_TypeError, wrapped.get(), nullptr));
  if (!replacement) return;
  if (PyObject* cause = PyException_GetCause(original.get())) {
    PyException_SetCause(replacement.get(), cause);  // steals the new reference
  }
  PyErr_SetObject(PyExc_TypeError, replacement.get());
}

void raise_cannot_convert(PyObject* object, const char* target) {
  Ref name(PyType_GetName(Py_TYPE(object)));
  if (!name) return;
  PyErr_Format(PyExc_TypeError, "'%U' object cannot be converted to '%s'", name.get(), target);
}

}  // namespace veldra::py
