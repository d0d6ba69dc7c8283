#include "base/buffer.hpp"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <mutex>
#include <new>

namespace veldra {
namespace {

constexpr std::size_t SMALLEST_KEPT = std::size_t{4} << 20;
constexpr std::size_t LARGEST_KEPT = std::size_t{64} << 20;

struct Released {
  std::mutex lock;
  void* data = nullptr;
  std::size_t bytes = 0;
};

// Never destroyed: buffers are released until the very end of the process
// (the interpreter frees its last tables after static destructors ran).
Released& released() {
  static Released* kept = new Released;
  return *kept;
}

}  // namespace

void* take_released(std::size_t bytes) noexcept {
  if (bytes < SMALLEST_KEPT || bytes > LARGEST_KEPT) return nullptr;
  Released& r = released();
  std::lock_guard<std::mutex> hold(r.lock);
  if (r.data == nullptr || r.bytes != bytes) return nullptr;
  void* data = r.data;
  r.data = nullptr;
  r.bytes = 0;
  return data;
}

bool keep_released(void* data, std::size_t bytes) noexcept {
  if (bytes < SMALLEST_KEPT || bytes > LARGEST_KEPT) return false;
  Released& r = released();
  void* older = nullptr;
  {
    std::lock_guard<std::mutex> hold(r.lock);
    older = r.data;
    r.data = data;
    r.bytes = bytes;
  }
  ::operator delete(older);
  return true;
}

void advise_huge_pages(void* data, std::size_t bytes) {
  // Below two huge pages (2 MiB each on x86-64) there is nothing to gain.
  constexpr std::size_t SMALLEST = std::size_t{4} << 20;
  if (bytes < SMALLEST) return;
  const long page = sysconf(_SC_PAGESIZE);
  if (page <= 0) return;
  const auto mask = static_cast<std::uintptr_t>(page) - 1;
  const auto start = (reinterpret_cast<std::uintptr_t>(data) + mask) & ~mask;
  const auto end = (reinterpret_cast<std::uintptr_t>(data) + bytes) & ~mask;
  if (end > start) madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
}

}  // namespace veldra
