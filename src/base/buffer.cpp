#include "base/buffer.hpp"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

namespace veldra {

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
