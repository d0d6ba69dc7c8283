// What every extension module of the library shares: one initialisation
// per process in the main interpreter only, and names added to __all__ in
// the order they are added.
#pragma once

#include <vector>

#include "python/kit/class_spec.hpp"

namespace veldra::py {

// A module-level function: F's parameters all come from the arguments.
template <auto F>
struct Function {
  static inline Signature signature;

  static PyObject* call(PyObject*, PyObject* args, PyObject* kwargs) {
    return shielded([&] { return bind_and_call<F, 0>(signature, args, kwargs); });
  }
};

// `doc` starts with the text signature "name(a, b)\n--\n\n", which must
// name F's parameters (the build fails otherwise).
template <auto F>
MethodSpec function(FunctionDoc<F> doc) {
  return {doc.text, &Function<F>::call, &Function<F>::signature};
}

// Binds `value` to `name` and, unless the name is private (starts with
// "_"), appends it to the module's __all__ (creating it); steals `value`,
// which may be nullptr with an exception set. Returns false with an
// exception set on failure.
bool add_to_module(PyObject* module, const char* name, PyObject* value);

// Adds one module-level function per spec (declared with function<F>()),
// each also appended to __all__. The method tables are kept for the life of
// the process. Returns false with an exception set on failure.
bool add_functions(PyObject* module, std::vector<MethodSpec> functions);

// Adds each function as add_functions() does, but under the private name
// "_" + its name, kept out of __all__, with `home` as its __module__: the
// package that exports it under its own name, where pickles find it.
bool add_private_functions(PyObject* module, std::vector<MethodSpec> functions, const char* home);

// The body of a PyInit function. `def` must have a state size of 0 (not
// -1): the interpreter then calls the PyInit function on every import
// rather than copying a cached dictionary, so a second import gets the
// first module back (from `cache`) and a sub-interpreter is refused.
// `fill` adds the module's contents once. Returns a new reference, or
// nullptr with an exception set.
PyObject* initialise_once(PyModuleDef& def, PyObject*& cache, bool (*fill)(PyObject* module));

}  // namespace veldra::py
