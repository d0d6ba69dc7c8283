// Lists whose items are pure functions of their index, and ranges of
// independent work, computed on scoped workers when they are long enough to
// repay starting them. All of them cut the work by Split and stop early
// (with an interrupted error) when stop_requested() says so.
#pragma once

#include <algorithm>
#include <cstdint>
#include <new>
#include <vector>

#include "base/buffer.hpp"
#include "base/error.hpp"
#include "base/interruption.hpp"
#include "base/workers.hpp"

namespace veldra {

// The one loop of the work cut by a Split: calls body(run, begin, end) on
// pieces of at most `step` items, none crossing a multiple of `row`, that
// together cover [0, count) once, run k's pieces in order within
// [k * split.length, (k + 1) * split.length), each run on the calling
// thread or its scoped thread as run_split places it. Before each piece it asks stop_requested(), and once told to stop it
// hands out no more pieces and fails with an interrupted error. `body` must
// be safe to call concurrently on disjoint ranges of different runs. A
// thread that cannot start or whose body fails ends the call with an error
// after every started worker has been joined; a body that runs out of
// memory on the calling thread gives an out-of-memory error. `start`
// starts the threads (tests replace it).
template <typename Body>
Status for_each_piece(const Split& split, std::uint64_t count, std::uint64_t step,
                      std::uint64_t row, Body&& body, ThreadStarter start = &start_thread) {
  return run_split(split, [&](std::size_t run) {
    const std::uint64_t begin = run * split.length;
    const std::uint64_t end = std::min(count, begin + split.length);
    for (std::uint64_t at = begin; at < end;) {
      if (stop_requested()) return;
      const std::uint64_t most = std::min(step, row - at % row);
      const std::uint64_t next = end - at > most ? at + most : end;
      body(run, at, next);
      at = next;
    }
  }, start);
}

// Calls body(begin, end) on the pieces of Split::of(count, grain, workers),
// each no longer than the split's step, through for_each_piece: below
// `grain` all on the calling thread in order, from it on each run's pieces
// in order on one scoped thread per run.
template <typename Body>
Status for_each_chunk(std::uint64_t count, std::uint64_t grain, Body&& body,
                      std::size_t workers = available_processors(),
                      ThreadStarter start = &start_thread) {
  const Split split = Split::of(count, grain, workers);
  return for_each_piece(split, count, split.step, count,
                        [&](std::size_t, std::uint64_t begin, std::uint64_t end) { body(begin, end); },
                        start);
}

// Returns fold(begin, end) of every piece that for_each_chunk hands out, in
// piece order, so that a caller can combine the partial results in the
// order one pass over [0, count) would have met them. Empty when count is 0.
template <typename T, typename Fold>
Result<std::vector<T>> per_chunk(std::uint64_t count, std::uint64_t grain, Fold&& fold,
                                 std::size_t workers = available_processors(),
                                 ThreadStarter start = &start_thread) {
  // Run k's pieces take slots k * per_run onwards; only the last run can
  // have fewer, so the slots used are the first `used`.
  const Split split = Split::of(count, grain, workers);
  const std::uint64_t per_run = split.length / split.step + (split.length % split.step != 0);
  const std::uint64_t last = count - (split.runs == 0 ? 0 : (split.runs - 1) * split.length);
  const std::uint64_t used =
      split.runs == 0 ? 0 : (split.runs - 1) * per_run + last / split.step + (last % split.step != 0);
  auto partials = allocate<T>(used);
  if (!partials) return partials;
  T* out = partials->data();
  auto done = for_each_chunk(count, grain, [&](std::uint64_t begin, std::uint64_t end) {
    out[begin / split.length * per_run + begin % split.length / split.step] = fold(begin, end);
  }, workers, start);
  if (!done) return std::unexpected(done.error());
  return partials;
}

// Returns the vector whose element i is item(i) for i in [0, count),
// computed by for_each_chunk: on the calling thread in index order below
// `grain`, otherwise in contiguous chunks on scoped threads. `item` must be
// safe to call concurrently. The result is the same whatever the number of
// workers; no partial vector is returned. The vector is sized by default
// initialisation, which for plain records writes nothing: each item's
// memory is first touched where the item is computed.
template <typename T, typename ItemFn>
Result<std::vector<T, DeferredInit<T>>> in_parallel(std::uint64_t count, std::uint64_t grain,
                                                    ItemFn&& item,
                                                    std::size_t workers = available_processors(),
                                                    ThreadStarter start = &start_thread) {
  auto items = allocate_deferred<T>(count);
  if (!items) return items;
  T* out = items->data();
  auto done = for_each_chunk(count, grain, [&](std::uint64_t begin, std::uint64_t end) {
    for (std::uint64_t i = begin; i < end; ++i) out[i] = item(i);
  }, workers, start);
  if (!done) return std::unexpected(done.error());
  return items;
}

}  // namespace veldra
