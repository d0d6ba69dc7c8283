#include "base/interruption.hpp"

namespace veldra {
namespace {

// The Interruption installed on this thread, if any; and, on a scoped
// worker, the stop flag of the call that started it.
thread_local Interruption* installed = nullptr;
thread_local const std::atomic<bool>* adopted = nullptr;

}  // namespace

Interruption::Interruption(StopPoll poll) noexcept : poll_(poll), outer_(installed) {
  installed = this;
}

Interruption::~Interruption() { installed = outer_; }

bool stop_requested() noexcept {
  if (Interruption* call = installed) {
    if (call->stop_.load(std::memory_order_relaxed)) return true;
    if (call->poll_ == nullptr || !call->poll_()) return false;
    call->stop_.store(true, std::memory_order_relaxed);
    return true;
  }
  return adopted != nullptr && adopted->load(std::memory_order_relaxed);
}

StopFlag StopFlag::of_this_thread() noexcept {
  StopFlag flag;
  flag.flag_ = installed != nullptr ? &installed->stop_ : adopted;
  return flag;
}

StopFlag::Adopted::Adopted(StopFlag flag) noexcept : outer_(adopted) { adopted = flag.flag_; }

StopFlag::Adopted::~Adopted() { adopted = outer_; }

}  // namespace veldra
