#include "base/interruption.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

#include "base/in_parallel.hpp"
#include "field/instance.hpp"

namespace veldra {
namespace {

std::atomic<std::uint64_t> polls{0}, items_done{0};
bool never() { return ++polls, false; }
bool after_some_items() { return ++polls, items_done.load() >= 1000; }
bool after_three_polls() { return ++polls > 3; }

TEST(Interruption, StopsEveryWorkerJoinsThemAndFails) {
  items_done = 0;
  std::atomic<std::size_t> stopped{0};
  const Interruption interruption(&after_some_items);
  auto status = run_scoped(3, [&](std::size_t) {  // never ends unless told to stop
    while (!stop_requested()) items_done.fetch_add(1);
    stopped.fetch_add(1);
  });
  ASSERT_FALSE(status);
  EXPECT_EQ(status.error().kind, ErrorKind::Interrupted);
  EXPECT_EQ(stopped, 3u);
  EXPECT_TRUE(interruption.fired());
}

TEST(Interruption, StopsPiecesOnWorkersAndOnTheCaller) {
  const std::uint64_t count = std::uint64_t{1} << 40;  // far too many to finish
  for (std::uint64_t grain : {count + 1, std::uint64_t{1024}}) {
    items_done = 0;
    const Interruption interruption(&after_some_items);
    auto done = for_each_chunk(count, grain, [&](std::uint64_t begin, std::uint64_t end) {
      items_done.fetch_add(end - begin);
    }, 4);
    ASSERT_FALSE(done);
    EXPECT_EQ(done.error().kind, ErrorKind::Interrupted);
  }
}

TEST(Interruption, APollThatNeverFiresChangesNothing) {
  auto item = [](std::uint64_t i) { return i * 2654435761u; };
  auto plain = in_parallel<std::uint64_t>(100000, 1024, item, 3);
  polls = 0;
  const Interruption interruption(&never);
  for (std::uint64_t grain : {1024u, 200000u}) {  // on workers, then on the caller
    auto watched = in_parallel<std::uint64_t>(100000, grain, item, 3);
    ASSERT_TRUE(watched);
    EXPECT_EQ(*watched, *plain);
  }
  EXPECT_GT(polls, 0u);
  EXPECT_FALSE(interruption.fired());
}

TEST(Interruption, ScopesNestAndNoScopeNeverStops) {
  EXPECT_FALSE(stop_requested());
  {
    items_done = 1000;
    const Interruption outer(&after_some_items);
    {
      const Interruption inner(&never);
      EXPECT_FALSE(stop_requested());
    }
    EXPECT_TRUE(stop_requested());
  }
  EXPECT_FALSE(stop_requested());
}

}  // namespace
}  // namespace veldra

namespace veldra {

TEST(Interruption, StopsLayingOutALattice) {
  // Drawn serially (create, a second or so to the end) and laid out on
  // workers (create_from, whose gradients take a microsecond each here, so
  // that the layout cannot end before the third look at the clock).
  std::vector<std::uint64_t> dims{2048, 2048};
  auto copy = [](const std::uint64_t* index, double* out) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(1);
    while (std::chrono::steady_clock::now() < until) {
    }
    out[0] = out[1] = double(index[0]);
  };
  for (bool drawn : {true, false}) {
    polls = 0;
    const Interruption interruption(&after_three_polls);
    auto lattice = drawn ? Instance::create(dims, 1) : Instance::create_from(dims, 1, copy);
    ASSERT_FALSE(lattice);
    EXPECT_EQ(lattice.error().kind, ErrorKind::Interrupted);
  }
}

}  // namespace veldra
