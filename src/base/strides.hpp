#pragma once

#include <cstdint>
#include <vector>

namespace veldra {

// Strides of a row-major array over `shape`: the last axis has stride 1 and
// strides[i - 1] = strides[i] * shape[i]. The caller has already checked
// that the product of the extents fits in 64 bits.
inline std::vector<std::uint64_t> row_major_strides(const std::vector<std::uint64_t>& shape) {
  std::vector<std::uint64_t> strides(shape.size());
  std::uint64_t stride = 1;
  for (std::size_t i = shape.size(); i-- > 0;) {
    strides[i] = stride;
    stride *= shape[i];
  }
  return strides;
}

}  // namespace veldra
