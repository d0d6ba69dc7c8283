// Lists whose items are pure functions of their index, and ranges of
// independent work, computed on scoped workers when they are long enough to
// repay starting them.
#pragma once

#include <algorithm>
#include <cstdint>
#include <new>
#include <vector>

#include "lib/buffer.hpp"
#include "lib/error.hpp"
#include "lib/workers.hpp"

namespace veldra {

// How for_each_chunk cuts [0, count): `chunks` runs of `length` items, the
// last one possibly shorter; below the serial limit, one run on the caller.
struct Chunking {
  std::uint64_t length = 0;
  std::uint64_t chunks = 0;
  bool on_caller = true;

  static Chunking of(std::uint64_t count, std::uint64_t serial_limit, std::size_t workers) {
    if (count == 0) return {};
    if (count < serial_limit) return {count, 1, true};
    const std::uint64_t threads = std::max<std::uint64_t>(workers, 1);
    const std::uint64_t length = std::max<std::uint64_t>((count + threads - 1) / threads, 1);
    return {length, (count + length - 1) / length, false};
  }
};

// Calls body(begin, end) on consecutive ranges that together cover [0,
// count) once. Below `serial_limit` the whole range runs on the calling
// thread; from it on, contiguous chunks of ceil(count / workers) go to one
// scoped thread each. `body` must be safe to call concurrently on disjoint
// ranges. A thread that cannot start or whose body fails ends the call with
// an error after every started worker has been joined; a body that runs out
// of memory on the calling thread gives an out-of-memory error. `workers` of
// 0 counts as 1; `start` starts the threads (tests replace it).
template <typename Body>
Status for_each_chunk(std::uint64_t count, std::uint64_t serial_limit, Body&& body,
                      std::size_t workers = available_processors(),
                      ThreadStarter start = &start_thread) {
  const Chunking cut = Chunking::of(count, serial_limit, workers);
  if (cut.chunks == 0) return {};
  if (cut.on_caller) {
    try {
      body(std::uint64_t{0}, count);
    } catch (const std::bad_alloc&) {
      return out_of_memory();
    }
    return {};
  }
  return run_scoped(cut.chunks, [&](std::size_t k) {
    const std::uint64_t begin = k * cut.length;
    body(begin, std::min(count, begin + cut.length));
  }, start);
}

// Returns fold(begin, end) of every run that for_each_chunk hands out, in
// run order, so that a caller can combine the partial results in the order
// one pass over [0, count) would have met them. Empty when count is 0.
template <typename T, typename Fold>
Result<std::vector<T>> per_chunk(std::uint64_t count, std::uint64_t serial_limit, Fold&& fold,
                                 std::size_t workers = available_processors(),
                                 ThreadStarter start = &start_thread) {
  const Chunking cut = Chunking::of(count, serial_limit, workers);
  auto partials = allocate<T>(cut.chunks);
  if (!partials) return partials;
  T* out = partials->data();
  auto done = for_each_chunk(count, serial_limit, [&](std::uint64_t begin, std::uint64_t end) {
    out[begin / cut.length] = fold(begin, end);
  }, workers, start);
  if (!done) return std::unexpected(done.error());
  return partials;
}

// Returns the vector whose element i is item(i) for i in [0, count),
// computed by for_each_chunk: on the calling thread in index order below
// `serial_limit`, otherwise in contiguous chunks on scoped threads. `item`
// must be safe to call concurrently. The result is the same whatever the
// number of workers; no partial vector is returned.
template <typename T, typename ItemFn>
Result<std::vector<T>> in_parallel(std::uint64_t count, std::uint64_t serial_limit, ItemFn&& item,
                                   std::size_t workers = available_processors(),
                                   ThreadStarter start = &start_thread) {
  auto items = allocate<T>(count);
  if (!items) return items;
  T* out = items->data();
  auto done = for_each_chunk(count, serial_limit, [&](std::uint64_t begin, std::uint64_t end) {
    for (std::uint64_t i = begin; i < end; ++i) out[i] = item(i);
  }, workers, start);
  if (!done) return std::unexpected(done.error());
  return items;
}

}  // namespace veldra
