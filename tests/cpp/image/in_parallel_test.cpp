#include "image/in_parallel.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <new>
#include <stdexcept>
#include <system_error>
#include <thread>

namespace veldra {
namespace {

// Threads started by `counting_start` learn their start ordinal (0, 1, ...);
// every other thread, the caller included, reads -1.
thread_local int thread_ordinal = -1;
std::atomic<int> starts{0};
int refuse_from = INT_MAX;  // the first start ordinal that is refused

std::thread counting_start(std::function<void()> body) {
  const int ordinal = starts.fetch_add(1);
  if (ordinal >= refuse_from) {
    throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
  }
  return std::thread([body = std::move(body), ordinal] {
    thread_ordinal = ordinal;
    body();
  });
}

class InParallel : public ::testing::Test {
 protected:
  void SetUp() override {
    starts = 0;
    refuse_from = INT_MAX;
  }
};

// A value that depends on nothing but the index.
double mixed(std::uint64_t i) {
  std::uint64_t z = (i + 1) * 0x9E3779B97F4A7C15ull;
  z = (z ^ (z >> 31)) * 0xBF58476D1CE4E5B9ull;
  return static_cast<double>(z >> 11) * 0x1.0p-53;
}

TEST_F(InParallel, CountZeroNeverCallsTheItem) {
  int calls = 0;
  auto items = in_parallel<int>(0, 1, [&](std::uint64_t) { return ++calls; }, 8, &counting_start);
  ASSERT_TRUE(items);
  EXPECT_TRUE(items->empty());
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(starts, 0);
}

TEST_F(InParallel, BelowTheLimitRunsOnTheCallingThreadInIndexOrder) {
  for (std::uint64_t limit : {16384u, 64u}) {
    std::vector<std::uint64_t> order;
    auto items = in_parallel<int>(
        limit - 1, limit,
        [&](std::uint64_t i) {
          order.push_back(i);
          return thread_ordinal;
        },
        8, &counting_start);
    ASSERT_TRUE(items);
    EXPECT_EQ(starts, 0);
    ASSERT_EQ(order.size(), limit - 1);
    for (std::uint64_t i = 0; i < order.size(); ++i) ASSERT_EQ(order[i], i);
    EXPECT_TRUE(std::all_of(items->begin(), items->end(), [](int t) { return t == -1; }));
  }
}

TEST_F(InParallel, ChunksAreTheCountOverTheWorkersRoundedUp) {
  auto items = in_parallel<int>(16385, 16384, [](std::uint64_t) { return thread_ordinal; }, 8,
                                &counting_start);
  ASSERT_TRUE(items);
  EXPECT_EQ(starts, 8);
  for (std::uint64_t i = 0; i < items->size(); ++i) ASSERT_EQ((*items)[i], static_cast<int>(i / 2049)) << i;
  EXPECT_EQ(std::count(items->begin(), items->end(), 7), 2042);
}

TEST_F(InParallel, MoreWorkersThanItemsStartsOneThreadPerItem) {
  auto items = in_parallel<int>(64, 64, [](std::uint64_t) { return thread_ordinal; }, 128, &counting_start);
  ASSERT_TRUE(items);
  EXPECT_EQ(starts, 64);
  for (std::uint64_t i = 0; i < 64; ++i) EXPECT_EQ((*items)[i], static_cast<int>(i));
}

TEST_F(InParallel, ZeroWorkersCountAsOne) {
  auto items = in_parallel<int>(100, 10, [](std::uint64_t) { return thread_ordinal; }, 0, &counting_start);
  ASSERT_TRUE(items);
  EXPECT_EQ(starts, 1);
  EXPECT_TRUE(std::all_of(items->begin(), items->end(), [](int t) { return t == 0; }));
}

TEST_F(InParallel, ResultIsIdenticalForAnyNumberOfWorkers) {
  auto one = in_parallel<double>(20000, 16384, mixed, 1);
  ASSERT_TRUE(one);
  for (std::uint64_t i = 0; i < one->size(); ++i) ASSERT_EQ((*one)[i], mixed(i));
  for (std::size_t workers : {2u, 3u, 7u}) {
    auto many = in_parallel<double>(20000, 16384, mixed, workers);
    ASSERT_TRUE(many);
    EXPECT_EQ(*many, *one) << workers << " workers";
  }
}

TEST_F(InParallel, AFailingItemPanicsOnlyAfterEveryWorkerHasFinished) {
  std::atomic<std::uint64_t> finished{0};
  auto items = in_parallel<int>(
      16384, 16384,
      [&](std::uint64_t i) {
        if (i == 0) throw std::runtime_error("bad item");
        finished.fetch_add(1);
        return 1;
      },
      4);
  ASSERT_FALSE(items);
  EXPECT_EQ(items.error().kind, ErrorKind::Internal);
  EXPECT_EQ(items.error().message, "a scoped thread panicked");
  EXPECT_EQ(finished, 3u * 4096u);  // the other three chunks ran to their end
}

TEST_F(InParallel, RunningOutOfMemoryInAnItemIsOutOfMemory) {
  auto failing = [](std::uint64_t i) -> int {
    if (i == 5) throw std::bad_alloc();
    return 0;
  };
  auto serial = in_parallel<int>(10, 16384, failing, 4);
  ASSERT_FALSE(serial);
  EXPECT_EQ(serial.error().kind, ErrorKind::OutOfMemory);
  auto parallel = in_parallel<int>(10, 1, failing, 4);
  ASSERT_FALSE(parallel);
  EXPECT_EQ(parallel.error().kind, ErrorKind::OutOfMemory);
}

TEST_F(InParallel, ARefusedThreadFailsToSpawnAfterJoiningTheStartedOnes) {
  refuse_from = 2;
  std::atomic<std::uint64_t> finished{0};
  auto items = in_parallel<int>(
      16384, 16384,
      [&](std::uint64_t) {
        finished.fetch_add(1);
        return 1;
      },
      4, &counting_start);
  ASSERT_FALSE(items);
  EXPECT_EQ(items.error().kind, ErrorKind::Internal);
  EXPECT_EQ(items.error().message, "failed to spawn thread: Resource temporarily unavailable");
  EXPECT_EQ(starts, 3);
  EXPECT_EQ(finished, 2u * 4096u);
}

}  // namespace
}  // namespace veldra
