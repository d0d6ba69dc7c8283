#include "lib/interruption.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "image/in_parallel.hpp"
#include "lib/workers.hpp"

namespace veldra {
namespace {

std::atomic<std::uint64_t> polls{0};
std::atomic<std::uint64_t> items_done{0};
bool never() { return ++polls, false; }
bool after_some_items() { return ++polls, items_done.load() >= 1000; }

class Interrupting : public ::testing::Test {
 protected:
  void SetUp() override { polls = 0, items_done = 0; }
};

TEST_F(Interrupting, WorkersStopJoinedAndTheCallFails) {
  // Workers that would never end unless told to stop.
  std::atomic<std::size_t> stopped{0};
  const Interruption interruption(&after_some_items);
  auto status = run_scoped(3, [&](std::size_t) {
    while (!stop_requested()) items_done.fetch_add(1);
    stopped.fetch_add(1);
  });
  ASSERT_FALSE(status);
  EXPECT_EQ(status.error().kind, ErrorKind::Interrupted);
  EXPECT_EQ(stopped, 3u);  // every one had stopped before run_scoped returned
  EXPECT_TRUE(interruption.fired());
}

TEST_F(Interrupting, PiecesStopOnWorkersAndOnTheCaller) {
  const std::uint64_t count = std::uint64_t{1} << 40;  // far too many to finish
  for (std::size_t workers : {1u, 4u}) {
    const std::uint64_t grain = workers == 1 ? count + 1 : 1024;  // the caller, then workers
    items_done = 0;
    const Interruption interruption(&after_some_items);
    auto done = for_each_chunk(count, grain, [&](std::uint64_t begin, std::uint64_t end) {
      items_done.fetch_add(end - begin);
    }, workers);
    ASSERT_FALSE(done);
    EXPECT_EQ(done.error().kind, ErrorKind::Interrupted);
  }
}

TEST_F(Interrupting, APollThatNeverFiresChangesNothing) {
  auto item = [](std::uint64_t i) { return i * 2654435761u; };
  auto plain = in_parallel<std::uint64_t>(100000, 1024, item, 3);
  const Interruption interruption(&never);
  for (std::uint64_t grain : {1024u, 200000u}) {
    auto watched = in_parallel<std::uint64_t>(100000, grain, item, 3);
    ASSERT_TRUE(watched);
    EXPECT_EQ(*watched, *plain);
  }
  EXPECT_GT(polls, 0u);
  EXPECT_FALSE(interruption.fired());
}

TEST_F(Interrupting, ScopesNestAndWorkOutsideThemNeverStops) {
  EXPECT_FALSE(stop_requested());
  {
    const Interruption outer(&after_some_items);
    items_done = 1000;
    {
      const Interruption inner(&never);
      EXPECT_FALSE(stop_requested());
    }
    EXPECT_TRUE(stop_requested());
    EXPECT_TRUE(outer.fired());
  }
  EXPECT_FALSE(stop_requested());
}

}  // namespace
}  // namespace veldra
