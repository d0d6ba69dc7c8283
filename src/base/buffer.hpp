// Sizing and allocating the buffers of a call once, at their final size,
// without letting an impossible size crash or wrap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>
#include <type_traits>
#include <utility>
#include <vector>

#include "base/error.hpp"

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
  if (!bytes || *bytes > static_cast<std::uint64_t>(PTRDIFF_MAX)) return out_of_memory(count, sizeof(T));
  try {
    return std::vector<T>(static_cast<std::size_t>(count), fill);
  } catch (const std::bad_alloc&) {
    return out_of_memory(count, sizeof(T));
  } catch (const std::length_error&) {
    return out_of_memory(count, sizeof(T));
  }
}

// Asks the operating system to back the pages of [data, data + bytes) with
// huge pages when it is untouched memory of at least a few megabytes: their
// first touch then costs a fraction of the page faults. Advice only; it
// changes no contents and may be ignored.
void advise_huge_pages(void* data, std::size_t bytes);

// Reserves room for `count` elements in `v`; false when that is impossible.
template <typename T, typename Allocator>
bool try_reserve(std::vector<T, Allocator>& v, std::uint64_t count) {
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

// One released buffer of 4 to 64 MiB, kept for the next request of the
// same size (from ::operator new, as the default allocator's). A table or
// image computed again and again (the frames of an animation, the chunks
// of a larger one) then lands in pages already mapped; fresh ones would
// first be zeroed by the kernel, a sixth of a 2049 x 2049 fractal table's
// time on a virtual machine. 64 MiB is as much as the C library's heap
// keeps back itself (the dynamic bound of its trim threshold).
// take_released: the kept buffer when it has `bytes` bytes (it is then no
// longer kept), else nullptr. keep_released: keeps `data`, releasing the
// buffer kept before, or returns false when `bytes` is outside the range;
// the caller then releases it.
void* take_released(std::size_t bytes) noexcept;
bool keep_released(void* data, std::size_t bytes) noexcept;

// An allocator for buffers that are written in full right after they are
// sized: sizing default-initialises (for numbers, leaves the memory as it
// is), so nothing is written twice and the first touch of every page
// happens where the buffer is filled, possibly on many threads. Buffers of
// a few megabytes or more are advised into huge pages, and one of them is
// kept for reuse when it is released (take_released).
template <typename T>
struct DeferredInit {
  using value_type = T;

  DeferredInit() = default;
  template <typename U>
  DeferredInit(const DeferredInit<U>&) noexcept {}

  // Only buffers that the default allocator takes from plain ::operator new
  // are kept, so that either one can release them.
  static constexpr bool KEPT = alignof(T) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__;

  T* allocate(std::size_t count) {
    if constexpr (KEPT) {
      if (count <= SIZE_MAX / sizeof(T)) {
        if (void* kept = take_released(count * sizeof(T))) return static_cast<T*>(kept);
      }
    }
    T* data = std::allocator<T>{}.allocate(count);
    advise_huge_pages(data, count * sizeof(T));
    return data;
  }
  void deallocate(T* data, std::size_t count) noexcept {
    if constexpr (KEPT) {
      if (keep_released(data, count * sizeof(T))) return;
    }
    std::allocator<T>{}.deallocate(data, count);
  }
  template <typename U>
  void construct(U* at) noexcept(std::is_nothrow_default_constructible_v<U>) {
    ::new (static_cast<void*>(at)) U;
  }
  template <typename U, typename... Args>
  void construct(U* at, Args&&... args) {
    ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...);
  }
  friend bool operator==(const DeferredInit&, const DeferredInit&) { return true; }
};

// A vector of `count` elements whose contents the caller must write before
// reading them, or an out-of-memory error.
template <typename T>
Result<std::vector<T, DeferredInit<T>>> allocate_deferred(std::uint64_t count) {
  std::vector<T, DeferredInit<T>> buffer;
  if (!try_reserve(buffer, count)) return out_of_memory(count, sizeof(T));
  buffer.resize(static_cast<std::size_t>(count));  // within the reserved room
  return buffer;
}

}  // namespace veldra
