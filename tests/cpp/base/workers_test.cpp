#include "base/workers.hpp"

#include <gtest/gtest.h>
#include <sched.h>

#include <algorithm>
#include <tuple>
#include <vector>

namespace veldra {
namespace {

TEST(RunScoped, RunsEveryPieceOnceOnItsOwnThread) {
  std::vector<std::thread::id> ran_on(6);
  ASSERT_TRUE(run_scoped(6, [&](std::size_t k) { ran_on[k] = std::this_thread::get_id(); }));
  ran_on.push_back(std::this_thread::get_id());
  std::sort(ran_on.begin(), ran_on.end());
  EXPECT_EQ(std::unique(ran_on.begin(), ran_on.end()), ran_on.end());
}

TEST(Split, CapsRunsByWorkersAndGrain) {
  struct Case {
    std::uint64_t count, grain;
    std::size_t workers;
    Split split;  // length, runs, step, on_caller
  };
  const Case cases[] = {
      {0, 16384, 8, {0, 0, 1, true}},
      {16383, 16384, 8, {16383, 1, 1024, true}},
      {16384, 16384, 8, {16384, 1, 1024, false}},
      {100000, 16384, 4, {25000, 4, 1024, false}},
      {100000, 16384, 64, {14286, 7, 1024, false}},  // at most ceil(100000 / 16384) runs
      {16385, 16384, 2, {8193, 2, 1024, false}},
      {65, 64, 2, {33, 2, 4, false}},
      {100, 10, 0, {100, 1, 1, false}},  // no workers count as one
  };
  for (const Case& c : cases) {
    const Split got = Split::of(c.count, c.grain, c.workers);
    EXPECT_EQ(std::tie(got.length, got.runs, got.step, got.on_caller),
              std::tie(c.split.length, c.split.runs, c.split.step, c.split.on_caller))
        << c.count << " " << c.grain << " " << c.workers;
  }
}

TEST(AvailableProcessors, FollowsTheAffinityOfTheProcess) {
  cpu_set_t saved;
  ASSERT_EQ(sched_getaffinity(0, sizeof saved, &saved), 0);
  EXPECT_EQ(available_processors(), static_cast<std::size_t>(CPU_COUNT(&saved)));
  int first = 0;
  while (!CPU_ISSET(first, &saved)) ++first;
  cpu_set_t one;
  CPU_ZERO(&one);
  CPU_SET(first, &one);
  ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
  const std::size_t pinned = available_processors();
  ASSERT_EQ(sched_setaffinity(0, sizeof saved, &saved), 0);
  EXPECT_EQ(pinned, 1u);
}

}  // namespace
}  // namespace veldra
