// Scoped worker threads: started inside one call and joined before it
// returns, and the one rule by which work is cut for them. Used by the
// tables, the per-item passes and the hair bands.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <thread>

#include "base/error.hpp"

namespace veldra {

// Passes over fewer values (or pixels) than this stay on the calling
// thread: starting a worker would cost more than it saves.
inline constexpr std::uint64_t SERIAL_LIMIT = 16384;

// How long the calling thread waits for its workers between two looks at
// stop_requested(): short enough that a stop is noticed well within 100 ms.
inline constexpr std::chrono::milliseconds STOP_POLL_INTERVAL{20};

// How [0, count) is cut for scoped workers. Below `grain` items (the least
// work worth a thread) it is one run on the calling thread. Otherwise it is
// min(workers, ceil(count / grain)) runs, `workers` of 0 counting as 1, of
// `length` items each (the last one possibly shorter). Work that looks at
// stop_requested() between pieces of a run takes `step` items a piece, a
// sixteenth of the grain: small enough to stop promptly, large enough that
// the look costs nothing.
struct Split {
  std::uint64_t length = 0;
  std::uint64_t runs = 0;
  std::uint64_t step = 1;
  bool on_caller = true;

  static Split of(std::uint64_t count, std::uint64_t grain, std::size_t workers);
};

// The number of processors the operating system lets this process run on
// (its CPU affinity), or 1 when that cannot be told.
std::size_t available_processors();

// Starts a thread running `body`; throws std::system_error when the
// operating system refuses. Replaceable so tests can refuse on purpose.
using ThreadStarter = std::thread (*)(std::function<void()> body);
std::thread start_thread(std::function<void()> body);

// Runs work(0) ... work(count - 1), each on its own scoped thread, and
// returns once every started thread has been joined. While they run, the
// calling thread asks stop_requested() every STOP_POLL_INTERVAL, and the
// threads see the call's stop flag (work is expected to look at it between
// rows or chunks). Fails with an interrupted error when a stop was asked,
// with an internal error when a thread cannot be started ("failed to spawn
// thread: ...") or when a piece of work throws ("a scoped thread
// panicked"), and with an out-of-memory error when a piece of work runs
// out of memory; the caller must then discard whatever the work wrote.
Status run_scoped(std::size_t count, const std::function<void(std::size_t)>& work,
                  ThreadStarter start = &start_thread);

// Runs work(0) ... work(split.runs - 1) of `split`: when it is on the
// caller, on the calling thread (an out-of-memory error when that runs out
// of memory, an interrupted error when a stop was asked meanwhile),
// otherwise as run_scoped does. No runs, no work.
Status run_split(const Split& split, const std::function<void(std::size_t)>& work,
                 ThreadStarter start = &start_thread);

}  // namespace veldra
