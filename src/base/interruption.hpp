// Stopping a long call early. Whoever makes the call (the Python binding)
// installs an Interruption for its duration, with a poll that tells whether
// the call should stop (a signal arrived). Long work asks stop_requested()
// at its row, chunk and band boundaries and, when told to stop, returns an
// `interrupted()` error and no partial result.
#pragma once

#include <atomic>

namespace veldra {

// Whether the running call should stop; asked on the thread that installed
// it only, never while any lock is held.
using StopPoll = bool (*)();

// Installs `poll` for the calling thread until destroyed. Scopes nest: the
// innermost one governs, and the outer one is back in force afterwards.
class Interruption {
 public:
  explicit Interruption(StopPoll poll) noexcept;
  ~Interruption();
  Interruption(const Interruption&) = delete;
  Interruption& operator=(const Interruption&) = delete;

  // Whether the poll has said stop; from then on it is not asked again and
  // stop_requested() is true for the rest of the call, on every thread.
  bool fired() const noexcept { return stop_.load(std::memory_order_relaxed); }

 private:
  friend bool stop_requested() noexcept;
  friend class StopFlag;
  StopPoll poll_;
  std::atomic<bool> stop_{false};
  Interruption* outer_;
};

// Whether the running call should stop. On the thread that installed the
// Interruption this asks its poll (until it has said stop once); on a
// scoped worker it reads the call's stop flag, one relaxed load. Without
// an Interruption it is always false. Cheap enough for every row or chunk,
// not for every value.
bool stop_requested() noexcept;

// The stop flag of the calling thread's call, handed to the scoped workers
// it starts so that their stop_requested() reads it. A worker adopts it for
// the lifetime of a StopFlag::Adopted; an empty flag (no Interruption) never says
// stop.
class StopFlag {
 public:
  static StopFlag of_this_thread() noexcept;

  class Adopted {
   public:
    explicit Adopted(StopFlag flag) noexcept;
    ~Adopted();
    Adopted(const Adopted&) = delete;
    Adopted& operator=(const Adopted&) = delete;

   private:
    const std::atomic<bool>* outer_;
  };

 private:
  const std::atomic<bool>* flag_ = nullptr;
};

}  // namespace veldra
