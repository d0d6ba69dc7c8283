// Turns a plain C++ function on core values into a Python callable. The
// function's parameter types choose the conversions, its docstring's text
// signature names the parameters, and its result is converted back:
//
//   Result<double> noise(const Instance& self, std::vector<double> point);
//   method<noise>("noise($self, point)\n--\n\nNoise at a single point...")
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

// Converts the argument in slots[K] into the K-th value; on failure the
// TypeError names the argument.
template <std::size_t K, typename Values>
bool convert_one(const Signature& signature, PyObject** slots, Values& values) {
  using T = typename std::tuple_element_t<K, Values>::value_type;
  auto converted = Convert<T>::from(slots[K]);
  if (!converted) {
    prefix_argument_name(signature.parameters[K].name.c_str());
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
  constexpr std::size_t count =
      std::tuple_size_v<typename FunctionTraits<decltype(F)>::Arguments> - First;
  return Call<F, First, std::make_index_sequence<count>>::run(signature, args, kwargs, self...);
}

// A method: F takes the object's core value first.
template <auto F>
struct Method {
  using Self = std::remove_cvref_t<
      std::tuple_element_t<0, typename FunctionTraits<decltype(F)>::Arguments>>;
  static inline Signature signature;

  static PyObject* call(PyObject* self, PyObject* args, PyObject* kwargs) {
    return shielded(
        [&] { return bind_and_call<F, 1>(signature, args, kwargs, core_of<Self>(self)); });
  }
};

// A constructor: F returns the new core value, or an error. The classes
// cannot be subclassed, so the new object is always of F's class.
template <auto F>
struct Constructor {
  static inline Signature signature;

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
