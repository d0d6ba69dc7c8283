// Binding of positional and keyword arguments to the parameters of one
// callable. The parameters are read from the callable's docstring, whose
// text-signature line ("name($self, a, b=None, *, c=0.5)\n--\n\n") is thus
// the single source of its name, parameter names and defaults; those after
// a "*" are keyword-only. The line is split by one function, both at compile
// time (to count the parameters against the C++ function's, callable.hpp)
// and at import (for the names and defaults).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "python/kit/errors.hpp"
#include "python/kit/python.hpp"

namespace veldra::py {

// One item of a text signature: "b=None" has the name "b" and the default
// text "None"; a required parameter has an empty default text.
struct TextParameter {
  std::string_view name;
  std::string_view fallback;
  bool keyword_only = false;
};

// What the text-signature line of a docstring holds, apart from each
// parameter, which split_text_signature() hands to its visitor.
struct TextSignature {
  bool found = false;        // the docstring starts with "name(...)\n--\n\n"
  bool self = false;         // "$self" comes first: the signature of a method
  std::size_t count = 0;     // parameters, "$self" and a bare "*" left out
};

constexpr std::string_view strip_spaces(std::string_view text) {
  const std::size_t begin = text.find_first_not_of(' ');
  if (begin == std::string_view::npos) return {};
  return text.substr(begin, text.find_last_not_of(' ') - begin + 1);
}

// Splits the text-signature line at the start of `doc`, calling
// `each(TextParameter)` once per parameter in order.
template <typename Each>
constexpr TextSignature split_text_signature(std::string_view doc, Each&& each) {
  TextSignature signature;
  const std::size_t open = doc.find('(');
  const std::size_t close = open == std::string_view::npos ? open : doc.find(")\n--\n\n", open);
  if (close == std::string_view::npos) return signature;
  signature.found = true;
  const std::string_view list = doc.substr(open + 1, close - open - 1);
  bool keyword_only = false;
  std::size_t start = 0;
  while (start < list.size()) {
    std::size_t comma = list.find(',', start);
    if (comma == std::string_view::npos) comma = list.size();
    const std::string_view item = strip_spaces(list.substr(start, comma - start));
    const bool first = start == 0;
    start = comma + 1;
    if (item.empty()) continue;
    if (item == "$self") {
      signature.self = signature.self || first;
      continue;
    }
    if (item == "*") {
      keyword_only = true;
      continue;
    }
    const std::size_t equals = item.find('=');
    TextParameter parameter{strip_spaces(item.substr(0, equals)), {}, keyword_only};
    if (equals != std::string_view::npos) parameter.fallback = strip_spaces(item.substr(equals + 1));
    each(parameter);
    ++signature.count;
  }
  return signature;
}

struct Parameter {
  std::string name;
  PyObject* fallback = nullptr;  // the default (owned for the module's life); nullptr: required
};

struct Signature {
  std::string callable{};  // as errors name it: "Instance.noise()", "Instance.__new__()"
  std::vector<Parameter> parameters{};
  std::size_t required = 0;  // leading parameters without a default
  std::size_t positional = 0;  // leading parameters that may be passed by position
  RangeErrors range_errors = RangeErrors::Named;  // set by the declaration, not the docstring
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
