#include "base/workers.hpp"

#include <gtest/gtest.h>
#include <sched.h>

#include <algorithm>
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
