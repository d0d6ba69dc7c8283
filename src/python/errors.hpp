// Mapping core errors onto Python exceptions, and the argument-name
// wrapping of conversion failures.
#pragma once

#include "lib/error.hpp"
#include "python/python.hpp"

namespace veldra::py {

// Creates the exception raised for worker threads that cannot start or that
// fail. It derives from BaseException, so `except Exception` does not hide
// it. Returns false with an exception set on failure.
bool create_internal_error_type();

// Raises `error` as a Python exception (ValueError, OSError, MemoryError or
// the internal error) and returns nullptr.
PyObject* raise(const Error& error);

// Called with a conversion failure set: replaces a TypeError by
// "argument '{name}': {message}", keeping the failure's cause; other
// exceptions pass unchanged.
void prefix_argument_name(const char* name);

// Raises TypeError "'{type}' object cannot be converted to '{target}'".
void raise_cannot_convert(PyObject* object, const char* target);

}  // namespace veldra::py
