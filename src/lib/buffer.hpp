// Sizing and allocating the buffers of a call once, at their final size,
// without letting an impossible size crash or wrap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <optional>
#include <stdexcept>
#include <vector>

#include "lib/error.hpp"

namespace veldra {

// Returns a * b, or nothing when the product does not fit in 64 bits.
inline std::optional<std::uint64_t> checked_mul(std::uint64_t a, std::uint64_t b) {
  std::uint64_t product;
  if (__builtin_mul_overflow(a, b, &product)) return std::nullopt;
  return product;
}

// Returns a + b, or nothing when the sum does not fit in 64 bits.
inline std::optional<std::uint64_t> checked_add(std::uint64_t a, std::uint64_t b) {
  std::uint64_t sum;
  if (__builtin_add_overflow(a, b, &sum)) return std::nullopt;
  return sum;
}

// A vector of `count` copies of `fill`, or an out-of-memory error when that
// many elements cannot be addressed or allocated.
template <typename T>
Result<std::vector<T>> allocate(std::uint64_t count, const T& fill = T{}) {
  auto bytes = checked_mul(count, sizeof(T));
  if (!bytes || *bytes > static_cast<std::uint64_t>(PTRDIFF_MAX)) return out_of_memory();
  try {
    return std::vector<T>(static_cast<std::size_t>(count), fill);
  } catch (const std::bad_alloc&) {
    return out_of_memory();
  } catch (const std::length_error&) {
    return out_of_memory();
  }
}

// Asks the operating system to back the pages of [data, data + bytes) with
// huge pages when it is untouched memory of at least a few megabytes: their
// first touch then costs a fraction of the page faults. Advice only; it
// changes no contents and may be ignored.
void advise_huge_pages(void* data, std::size_t bytes);

// Reserves room for `count` elements in `v`; false when that is impossible.
template <typename T>
bool try_reserve(std::vector<T>& v, std::uint64_t count) {
  auto bytes = checked_mul(count, sizeof(T));
  if (!bytes || *bytes > static_cast<std::uint64_t>(PTRDIFF_MAX)) return false;
  try {
    v.reserve(static_cast<std::size_t>(count));
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  } catch (const std::length_error&) {
    return false;
  }
}

// allocate() for a large buffer that is about to be overwritten: the
// memory is advised into huge pages before its first touch.
template <typename T>
Result<std::vector<T>> allocate_large(std::uint64_t count, const T& fill = T{}) {
  std::vector<T> buffer;
  if (!try_reserve(buffer, count)) return out_of_memory();
  advise_huge_pages(buffer.data(), static_cast<std::size_t>(count) * sizeof(T));
  buffer.resize(static_cast<std::size_t>(count), fill);  // within the reserved room
  return buffer;
}

}  // namespace veldra
