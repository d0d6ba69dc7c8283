// Mapping core errors onto Python exceptions, and the argument-name
// wrapping of conversion failures.
#pragma once

#include <exception>
#include <new>
#include <type_traits>

#include "base/error.hpp"
#include "base/interruption.hpp"
#include "python/kit/python.hpp"

namespace veldra::py {

// Creates the exception raised for worker threads that cannot start or that
// fail. It derives from BaseException, so `except Exception` does not hide
// it. Returns false with an exception set on failure.
bool create_internal_error_type();

// Raises `error` as a Python exception (ValueError, OSError, MemoryError or
// the internal error) and returns nullptr. An Io error with an errno raises
// the OSError subclass Python picks for it (FileNotFoundError, ...), with
// errno, strerror and filename set; its str() and args are the message. An
// interrupted call has its exception set already (the signal handler's),
// which stays as it is.
PyObject* raise(const Error& error);

// The poll of every call's Interruption: runs the Python signal handlers of
// pending signals and says stop when one raised an exception, which is left
// set. Called with the interpreter lock held, as the calling thread keeps it.
bool signal_handler_raised();

// How a callable reports an integer argument out of its range (a negative
// size, a seed of 2**64). The calls of the first release (Instance's
// constructor, gradient, noise, force and table; Renderer, Table and Image)
// raise the interpreter's OverflowError as it is; every later one names the
// argument, as a TypeError is named.
enum class RangeErrors { Named, Bare };

// Called with a conversion failure set: replaces a TypeError (and, when
// range errors are Named, an OverflowError) by one of the same type with
// "argument '{name}': {message}", keeping the failure's cause; other
// exceptions pass unchanged.
void prefix_argument_name(const char* name, RangeErrors range_errors = RangeErrors::Bare);

// Raises TypeError "'{type}' object cannot be converted to '{target}'".
void raise_cannot_convert(PyObject* object, const char* target);

// Turns the pending exception, when it is a `kind` (a buffer refused for
// its layout: a BufferError, numpy's ValueError), into a TypeError with the
// same text, as a wrong type would raise; others are left as they are.
void exception_as_type_error(PyObject* kind);

// Runs `body`, a call from the interpreter into C++. A C++ exception must
// not unwind into the interpreter (that ends the process), so one that
// escapes becomes a Python exception: std::bad_alloc a MemoryError (with a
// message, unlike the interpreter's own), any
// other a SystemError. Long work inside stops when a signal handler raises
// (see signal_handler_raised); the call then fails with that exception,
// whatever `body` returned. The failure value is nullptr or -1.
template <typename Body>
auto shielded(Body&& body) noexcept -> decltype(body()) {
  using Returned = decltype(body());
  try {
    const Interruption interruption(&signal_handler_raised);
    Returned returned = body();
    if (!interruption.fired()) return returned;
    if constexpr (std::is_pointer_v<Returned>) Py_XDECREF(returned);
  } catch (const std::bad_alloc&) {
    PyErr_SetString(PyExc_MemoryError, "Out of memory: an allocation failed");
  } catch (const std::exception& e) {
    PyErr_SetString(PyExc_SystemError, e.what());
  } catch (...) {
    PyErr_SetString(PyExc_SystemError, "unexpected C++ exception");
  }
  if constexpr (std::is_pointer_v<Returned>) {
    return nullptr;
  } else {
    return Returned(-1);
  }
}

}  // namespace veldra::py
