#include "python/kit/released.hpp"

#include "base/workers.hpp"
#include "python/kit/errors.hpp"

namespace veldra::py {
namespace released_detail {
namespace {

thread_local ReleasedLock* innermost = nullptr;

}  // namespace
}  // namespace released_detail

ReleasedLock::ReleasedLock() noexcept
    : state_(PyEval_SaveThread()),
      outer_(released_detail::innermost),
      next_poll_(std::chrono::steady_clock::now()) {
  released_detail::innermost = this;
}

ReleasedLock::~ReleasedLock() {
  released_detail::innermost = outer_;
  PyEval_RestoreThread(state_);
}

bool signal_handler_raised_unlocked() {
  ReleasedLock& released = *released_detail::innermost;
  const auto now = std::chrono::steady_clock::now();
  if (now < released.next_poll_) return false;
  released.next_poll_ = now + STOP_POLL_INTERVAL;
  PyEval_RestoreThread(released.state_);
  const bool raised = signal_handler_raised();
  released.state_ = PyEval_SaveThread();
  return raised;
}

}  // namespace veldra::py
