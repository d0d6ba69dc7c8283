// Core work run with the interpreter lock released, so that other Python
// threads (a dask scheduler's workers, a writer thread) run meanwhile.
// Ctrl-C still stops it: the calling thread's polls take the lock back for
// a moment to run the signal handlers, at most once per STOP_POLL_INTERVAL
// (waiting for a busy lock at every row would cost more than the row).
#pragma once

#include <chrono>

#include "base/interruption.hpp"
#include "python/kit/python.hpp"

namespace veldra::py {

// Releases the interpreter lock of the calling thread until destroyed.
class ReleasedLock {
 public:
  ReleasedLock() noexcept;
  ~ReleasedLock();
  ReleasedLock(const ReleasedLock&) = delete;
  ReleasedLock& operator=(const ReleasedLock&) = delete;

 private:
  PyThreadState* state_;
  ReleasedLock* outer_;
  std::chrono::steady_clock::time_point next_poll_;
  friend bool signal_handler_raised_unlocked();
};

// The poll of work under a ReleasedLock: signal_handler_raised with the
// lock taken back for the while.
bool signal_handler_raised_unlocked();

// body() without the interpreter lock. It must not touch Python objects;
// the values it reads (converted arguments, buffers of objects the caller
// holds) stay valid, as the caller's references keep them alive.
template <typename Body>
decltype(auto) without_interpreter_lock(Body&& body) {
  const ReleasedLock released;
  const Interruption interruption(&signal_handler_raised_unlocked);
  return body();
}

}  // namespace veldra::py
