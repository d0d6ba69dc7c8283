// Turns a plain C++ function on core values into a Python callable. The
// function's parameter types choose the conversions, its docstring's text
// signature names the parameters, and its result is converted back:
//
//   Result<double> noise(const Instance& self, std::vector<double> point);
//   method<noise>("noise($self, point)\n--\n\nNoise at a single point...")
//
// The docstring is checked while compiling: a text signature naming more or
// fewer parameters than the function takes (after the object itself, for a
// method) does not build, and the compiler's message shows the function and
// the docstring (see CheckedDoc).
//
// Arguments are bound, then converted in parameter order; the first failure
// is raised (a TypeError prefixed with the argument's name), and the
// function runs only when all conversions succeeded.
#pragma once

#include <optional>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>

#include "python/kit/box.hpp"
#include "python/kit/convert.hpp"
#include "python/kit/signature.hpp"

namespace veldra::py {

template <typename F>
struct FunctionTraits;
template <typename R, typename... A>
struct FunctionTraits<R (*)(A...)> {
  using Return = R;
  using Arguments = std::tuple<std::remove_cvref_t<A>...>;
};

template <auto F>
inline constexpr std::size_t parameter_count =
    std::tuple_size_v<typename FunctionTraits<decltype(F)>::Arguments>;

// Never defined: reaching one in a constant evaluation stops the build, and
// the compiler names it in its message.
void docstring_has_no_text_signature();
void text_signature_of_a_method_must_start_with_self();
void text_signature_of_a_function_has_no_self();
void text_signature_names_more_or_fewer_parameters_than_the_function_takes();

// A docstring checked against F while compiling: its text signature names
// as many parameters as F takes after the first `Bound` (1 for a method's
// object, which the signature calls "$self"). Made only from a constant, so
// that a mismatch fails the build; GCC's message then reads
//   in 'constexpr' expansion of 'CheckedDoc<noise, 1>("noise($self, point, extra)...")'
//   error: call to non-'constexpr' function
//          'text_signature_names_more_or_fewer_parameters_than_the_function_takes()'
template <auto F, std::size_t Bound>
struct CheckedDoc {
  const char* text;

  consteval CheckedDoc(const char* doc) : text(doc) {
    const TextSignature signature = split_text_signature(doc, [](const TextParameter&) {});
    if (!signature.found) docstring_has_no_text_signature();
    if (Bound == 1 && !signature.self) text_signature_of_a_method_must_start_with_self();
    if (Bound == 0 && signature.self) text_signature_of_a_function_has_no_self();
    if (signature.count + Bound != parameter_count<F>) {
      text_signature_names_more_or_fewer_parameters_than_the_function_takes();
    }
  }
};

// The docstring of a method, whose F takes the object's core value first,
// and of a function or constructor, whose F takes only the arguments.
template <auto F>
using MethodDoc = CheckedDoc<F, 1>;
template <auto F>
using FunctionDoc = CheckedDoc<F, 0>;

// Converts the argument in slots[K] into the K-th value; on failure the
// TypeError (and the OverflowError, as the signature says) names the argument.
template <std::size_t K, typename Values>
bool convert_one(const Signature& signature, PyObject** slots, Values& values) {
  using T = typename std::tuple_element_t<K, Values>::value_type;
  auto converted = Convert<T>::from(slots[K]);
  if (!converted) {
    prefix_argument_name(signature.parameters[K].name.c_str(), signature.range_errors);
    return false;
  }
  std::get<K>(values).emplace(std::move(*converted));
  return true;
}

template <auto F, std::size_t First, typename Indices>
struct Call;

// Binds and converts the arguments of F's parameters from `First` on, in
// order, then calls F with `self...` prepended and converts the result.
template <auto F, std::size_t First, std::size_t... I>
struct Call<F, First, std::index_sequence<I...>> {
  using Arguments = typename FunctionTraits<decltype(F)>::Arguments;
  using Values = std::tuple<std::optional<std::tuple_element_t<First + I, Arguments>>...>;

  template <typename... Self>
  static PyObject* run(const Signature& signature, PyObject* args, PyObject* kwargs,
                       Self&... self) {
    PyObject* slots[sizeof...(I) + 1];
    if (!bind_arguments(signature, args, kwargs, slots)) return nullptr;
    Values values;
    if (!(convert_one<I>(signature, slots, values) && ...)) return nullptr;
    return to_python(F(self..., std::move(*std::get<I>(values))...));
  }
};

template <auto F, std::size_t First, typename... Self>
PyObject* bind_and_call(const Signature& signature, PyObject* args, PyObject* kwargs,
                        Self&... self) {
  constexpr std::size_t count = parameter_count<F> - First;
  return Call<F, First, std::make_index_sequence<count>>::run(signature, args, kwargs, self...);
}

// A method: F takes the object's core value first.
template <auto F, RangeErrors R = RangeErrors::Named>
struct Method {
  using Self = std::remove_cvref_t<
      std::tuple_element_t<0, typename FunctionTraits<decltype(F)>::Arguments>>;
  static inline Signature signature{.range_errors = R};

  static PyObject* call(PyObject* self, PyObject* args, PyObject* kwargs) {
    return shielded(
        [&] { return bind_and_call<F, 1>(signature, args, kwargs, core_of<Self>(self)); });
  }
};

// A constructor: F returns the new core value, or an error. The classes
// cannot be subclassed, so the new object is always of F's class.
template <auto F, RangeErrors R = RangeErrors::Named>
struct Constructor {
  static inline Signature signature{.range_errors = R};

  static PyObject* call(PyTypeObject*, PyObject* args, PyObject* kwargs) {
    return shielded([&] { return bind_and_call<F, 0>(signature, args, kwargs); });
  }
};

// A read-only property computed from the core value.
template <auto G>
struct Getter {
  using Self = std::remove_cvref_t<
      std::tuple_element_t<0, typename FunctionTraits<decltype(G)>::Arguments>>;
  static PyObject* get(PyObject* self, void*) {
    return shielded([&] { return to_python(G(core_of<Self>(self))); });
  }
};

}  // namespace veldra::py
