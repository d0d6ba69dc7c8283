#include "lib/workers.hpp"

#include <sched.h>

#include <new>
#include <string>
#include <system_error>
#include <vector>

namespace veldra {

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

  std::string spawn_failure;
  for (std::size_t k = 0; k < count; ++k) {
    auto body = [&work, &outcomes, k] {
      try {
        work(k);
      } catch (const std::bad_alloc&) {
        outcomes[k] = Outcome::OutOfMemory;
      } catch (...) {
        outcomes[k] = Outcome::Failed;
      }
    };
    try {
      threads.push_back(start(body));
    } catch (const std::system_error& e) {
      spawn_failure = "failed to spawn thread: " + e.code().message();
      break;
    } catch (const std::bad_alloc&) {
      spawn_failure = "failed to spawn thread: out of memory";
      break;
    }
  }
  for (std::thread& t : threads) t.join();

  if (!spawn_failure.empty()) return internal_error(spawn_failure);
  for (std::size_t k = 0; k < threads.size(); ++k) {
    if (outcomes[k] == Outcome::Failed) return internal_error("a scoped thread panicked");
  }
  for (std::size_t k = 0; k < threads.size(); ++k) {
    if (outcomes[k] == Outcome::OutOfMemory) return out_of_memory();
  }
  return {};
}

}  // namespace veldra
