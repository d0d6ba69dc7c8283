// Scoped worker threads: started inside one call and joined before it
// returns. Used by the tables, the per-item passes and the hair bands.
#pragma once

#include <cstddef>
#include <functional>
#include <thread>

#include "lib/error.hpp"

namespace veldra {

// The number of processors the operating system lets this process run on
// (its CPU affinity), or 1 when that cannot be told.
std::size_t available_processors();

// Starts a thread running `body`; throws std::system_error when the
// operating system refuses. Replaceable so tests can refuse on purpose.
using ThreadStarter = std::thread (*)(std::function<void()> body);
std::thread start_thread(std::function<void()> body);

// Runs work(0) ... work(count - 1), each on its own scoped thread, and
// returns once every started thread has been joined. Fails with an internal
// error when a thread cannot be started ("failed to spawn thread: ...") or
// when a piece of work throws ("a scoped thread panicked"), and with an
// out-of-memory error when a piece of work runs out of memory; the caller
// must then discard whatever the work wrote.
Status run_scoped(std::size_t count, const std::function<void(std::size_t)>& work,
                  ThreadStarter start = &start_thread);

}  // namespace veldra
