// Linked only into sanitized builds. AddressSanitizer's own operator new
// ends the process when an allocation cannot be had, even when its
// allocator may return null; this one throws std::bad_alloc as the standard
// operator does, so the out-of-memory paths run under the sanitizer too.
// The allocation itself is still the sanitizer's (its nothrow operator new),
// so its operator delete matches.
#include <new>

void* operator new(std::size_t size) {
  if (void* memory = ::operator new(size, std::nothrow)) return memory;
  throw std::bad_alloc();
}

void* operator new[](std::size_t size) {
  if (void* memory = ::operator new[](size, std::nothrow)) return memory;
  throw std::bad_alloc();
}
