#include "base/workers.hpp"

#include <sched.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <new>
#include <string>
#include <system_error>
#include <vector>

#include "base/interruption.hpp"

namespace veldra {

Split Split::of(std::uint64_t count, std::uint64_t grain, std::size_t workers) {
  if (count == 0) return {};
  const std::uint64_t step = std::max<std::uint64_t>(grain / 16 + (grain % 16 != 0), 1);
  if (count < grain) return {count, 1, step, true};
  const std::uint64_t most = count / grain + (count % grain != 0);
  const std::uint64_t threads = std::max<std::uint64_t>(std::min<std::uint64_t>(workers, most), 1);
  const std::uint64_t length = count / threads + (count % threads != 0);
  return {length, count / length + (count % length != 0), step, false};
}

std::size_t available_processors() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0) {
    int count = CPU_COUNT(&set);
    if (count > 0) return static_cast<std::size_t>(count);
  }
  unsigned hardware = std::thread::hardware_concurrency();
  return hardware > 0 ? hardware : 1;
}

std::thread start_thread(std::function<void()> body) { return std::thread(std::move(body)); }

namespace {

// How a piece of work ended; each thread writes only its own slot.
enum class Outcome : unsigned char { Finished, OutOfMemory, Failed };

}  // namespace

Status run_scoped(std::size_t count, const std::function<void(std::size_t)>& work,
                  ThreadStarter start) {
  std::vector<Outcome> outcomes;
  std::vector<std::thread> threads;
  try {
    outcomes.assign(count, Outcome::Finished);
    threads.reserve(count);
  } catch (const std::bad_alloc&) {
    return out_of_memory();
  }

  // The workers count themselves out, so that the calling thread can wait
  // for them a while at a time and ask whether to stop in between.
  std::mutex mutex;
  std::condition_variable finished;
  std::size_t running = 0;
  const StopFlag stop = StopFlag::of_this_thread();

  std::string spawn_failure;
  for (std::size_t k = 0; k < count; ++k) {
    auto body = [&, k] {
      {
        const StopFlag::Adopted adopted(stop);
        try {
          work(k);
        } catch (const std::bad_alloc&) {
          outcomes[k] = Outcome::OutOfMemory;
        } catch (...) {
          outcomes[k] = Outcome::Failed;
        }
      }
      const std::lock_guard lock(mutex);
      --running;
      finished.notify_one();
    };
    {
      const std::lock_guard lock(mutex);
      ++running;
    }
    try {
      threads.push_back(start(body));
    } catch (const std::system_error& e) {
      spawn_failure = "failed to spawn thread: " + e.code().message();
    } catch (const std::bad_alloc&) {
      spawn_failure = "failed to spawn thread: out of memory";
    }
    if (!spawn_failure.empty()) {
      const std::lock_guard lock(mutex);
      --running;
      break;
    }
  }
  {
    std::unique_lock lock(mutex);
    while (!finished.wait_for(lock, STOP_POLL_INTERVAL, [&] { return running == 0; })) {
      lock.unlock();
      stop_requested();
      lock.lock();
    }
  }
  for (std::thread& t : threads) t.join();

  if (stop_requested()) return interrupted();
  if (!spawn_failure.empty()) return internal_error(spawn_failure);
  for (std::size_t k = 0; k < threads.size(); ++k) {
    if (outcomes[k] == Outcome::Failed) return internal_error("a scoped thread panicked");
  }
  for (std::size_t k = 0; k < threads.size(); ++k) {
    if (outcomes[k] == Outcome::OutOfMemory) return out_of_memory();
  }
  return {};
}

Status run_split(const Split& split, const std::function<void(std::size_t)>& work,
                 ThreadStarter start) {
  if (!split.on_caller) return run_scoped(split.runs, work, start);
  try {
    for (std::size_t k = 0; k < split.runs; ++k) work(k);
  } catch (const std::bad_alloc&) {
    return out_of_memory();
  }
  if (stop_requested()) return interrupted();
  return {};
}

}  // namespace veldra
