// Reprs and messages: lists as "[a, b, c]", floats in the marked style.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/float_text.hpp"

namespace veldra::py {

inline std::string item_text(double value) { return marked_float(value); }
inline std::string item_text(std::uint64_t value) { return std::to_string(value); }
inline std::string item_text(std::uint8_t value) { return std::to_string(value); }

template <typename T>
std::string list_text(const std::vector<T>& items) {
  std::string text = "[";
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) text += ", ";
    text += item_text(items[i]);
  }
  return text + "]";
}

}  // namespace veldra::py
