// Lists whose items are pure functions of their index, computed on scoped
// workers when the list is long enough to repay starting them.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "lib/buffer.hpp"
#include "lib/error.hpp"
#include "lib/workers.hpp"

namespace veldra {

// Returns the vector whose element i is item(i) for i in [0, count).
// Below `serial_limit` items everything runs on the calling thread in index
// order; from it on, contiguous chunks of ceil(count / processors) items go
// to one scoped thread each. `item` must be safe to call concurrently. The
// result is the same whatever the number of workers. A thread that cannot
// start or whose item fails ends the call with an error after every started
// worker has been joined; no partial vector is returned. `workers` of 0
// counts as 1; `start` starts the threads (tests replace it).
template <typename T, typename ItemFn>
Result<std::vector<T>> in_parallel(std::uint64_t count, std::uint64_t serial_limit, ItemFn&& item,
                                   std::size_t workers = available_processors(),
                                   ThreadStarter start = &start_thread) {
  auto items = allocate<T>(count);
  if (!items) return items;
  if (count == 0) return items;
  T* out = items->data();
  if (count < serial_limit) {
    try {
      for (std::uint64_t i = 0; i < count; ++i) out[i] = item(i);
    } catch (const std::bad_alloc&) {
      return out_of_memory();
    }
    return items;
  }
  const std::uint64_t threads = std::max<std::uint64_t>(workers, 1);
  const std::uint64_t chunk = std::max<std::uint64_t>((count + threads - 1) / threads, 1);
  const std::uint64_t chunks = (count + chunk - 1) / chunk;
  auto done = run_scoped(chunks, [&](std::size_t k) {
    const std::uint64_t begin = k * chunk;
    const std::uint64_t end = std::min(count, begin + chunk);
    for (std::uint64_t i = begin; i < end; ++i) out[i] = item(i);
  }, start);
  if (!done) return std::unexpected(done.error());
  return items;
}

}  // namespace veldra
