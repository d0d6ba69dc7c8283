// Binding of positional and keyword arguments to the parameters of one
// callable. The parameters are read from the callable's docstring, whose
// text-signature line ("name($self, a, b=None, *, c=0.5)\n--\n\n") is thus
// the single source of its name, parameter names and defaults; those after
// a "*" are keyword-only.
#pragma once

#include <string>
#include <vector>

#include "python/kit/python.hpp"

namespace veldra::py {

struct Parameter {
  std::string name;
  PyObject* fallback = nullptr;  // the default (owned for the module's life); nullptr: required
};

struct Signature {
  std::string callable;  // as errors name it: "Instance.noise()", "Instance.__new__()"
  std::vector<Parameter> parameters;
  std::size_t required = 0;  // leading parameters without a default
  std::size_t positional = 0;  // leading parameters that may be passed by position
};

// Parses the text-signature line of `doc`; `callable` names it in errors.
// Defaults may be None, True, False, integer or float literals: what
// inspect.signature reads back from a text signature. Keyword-only
// parameters need a default. Returns false with an exception
// set when the line is malformed.
bool parse_signature(const char* doc, std::string callable, Signature& out);

// Fills slots[0 .. parameters.size()) with borrowed references to the
// passed arguments, or to the defaults of omitted ones. Returns false with a
// TypeError set for a surplus, unknown, duplicated or missing argument.
bool bind_arguments(const Signature& signature, PyObject* args, PyObject* kwargs,
                    PyObject** slots);

}  // namespace veldra::py
