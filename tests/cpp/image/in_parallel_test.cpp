#include "base/in_parallel.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>
#include <stdexcept>
#include <system_error>

namespace veldra {
namespace {

// Threads started by `counting_start` know their start ordinal (0, 1, ...);
// every other thread, the caller included, reads -1.
thread_local int thread_ordinal = -1;
std::atomic<int> starts{0};
int refuse_from = INT_MAX;

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
  void SetUp() override { starts = 0, refuse_from = INT_MAX; }
};

TEST_F(InParallel, ResultIsIdenticalForAnyNumberOfWorkers) {
  auto mixed = [](std::uint64_t i) { return std::sin(static_cast<double>(i) * 0.37) * 1e3; };
  auto one = in_parallel<double>(20000, 16384, mixed, 1);
  ASSERT_TRUE(one);
  EXPECT_EQ((*one)[19999], mixed(19999));
  for (std::size_t workers : {2u, 3u, 7u}) {
    EXPECT_EQ(*in_parallel<double>(20000, 16384, mixed, workers), *one) << workers;
  }
}

TEST_F(InParallel, AFailingItemPanicsOnlyAfterEveryWorkerHasFinished) {
  std::atomic<std::uint64_t> finished{0};
  auto items = in_parallel<int>(16384, 4096, [&](std::uint64_t i) {
    if (i == 0) throw std::runtime_error("bad item");
    return static_cast<int>(finished.fetch_add(1));
  }, 4);
  ASSERT_FALSE(items);
  EXPECT_EQ(items.error().kind, ErrorKind::Internal);
  EXPECT_EQ(items.error().message, "a scoped thread panicked");
  EXPECT_EQ(finished, 3u * 4096u);  // the other three chunks ran to their end
}

TEST_F(InParallel, RunningOutOfMemoryInAnItemIsOutOfMemory) {
  auto failing = [](std::uint64_t i) {
    if (i == 5) throw std::bad_alloc();
    return 0;
  };
  for (std::uint64_t limit : {16384u, 1u}) {  // on the calling thread, then on workers
    auto items = in_parallel<int>(10, limit, failing, 4);
    ASSERT_FALSE(items);
    EXPECT_EQ(items.error().kind, ErrorKind::OutOfMemory);
  }
}

TEST_F(InParallel, ARefusedThreadFailsToSpawnAfterJoiningTheStartedOnes) {
  refuse_from = 2;
  std::atomic<std::uint64_t> finished{0};
  auto items = in_parallel<int>(16384, 4096, [&](std::uint64_t) {
    return static_cast<int>(finished.fetch_add(1));
  }, 4, &counting_start);
  ASSERT_FALSE(items);
  EXPECT_EQ(items.error().kind, ErrorKind::Internal);
  EXPECT_EQ(items.error().message, "failed to spawn thread: Resource temporarily unavailable");
  EXPECT_EQ(finished, 2u * 4096u);
}

TEST_F(InParallel, ChunksCoverTheRangeOnceInContiguousRuns) {
  // (count, limit, workers) -> the range each thread covered, in start order.
  auto ranges = [](std::uint64_t count, std::uint64_t limit, std::size_t workers) {
    std::vector<std::vector<std::uint64_t>> seen(workers + 1);
    starts = 0;
    auto done = for_each_chunk(count, limit, [&](std::uint64_t begin, std::uint64_t end) {
      auto& covered = seen[static_cast<std::size_t>(thread_ordinal + 1)];
      EXPECT_TRUE(covered.empty() || covered[1] == begin);
      covered = {covered.empty() ? begin : covered[0], end};
    }, workers, &counting_start);
    EXPECT_TRUE(done);
    return seen;
  };
  using Runs = std::vector<std::vector<std::uint64_t>>;
  EXPECT_EQ(ranges(100, 101, 4), (Runs{{0, 100}, {}, {}, {}, {}}));  // the calling thread
  EXPECT_EQ(ranges(10, 1, 4), (Runs{{}, {0, 3}, {3, 6}, {6, 9}, {9, 10}}));
  EXPECT_EQ(ranges(9, 1, 4), (Runs{{}, {0, 3}, {3, 6}, {6, 9}, {}}));  // ceil(9 / 4) = 3: three chunks
  EXPECT_EQ(ranges(3, 1, 4), (Runs{{}, {0, 1}, {1, 2}, {2, 3}, {}}));  // one item per thread
  EXPECT_EQ(ranges(65, 64, 4), (Runs{{}, {0, 33}, {33, 65}, {}, {}}));  // ceil(65 / 64) = 2 runs at most
  EXPECT_EQ(ranges(0, 0, 2), (Runs{{}, {}, {}}));
}

TEST_F(InParallel, PerChunkGivesOneFoldPerPieceInOrder) {
  // (count, limit, workers): every fold's range, which must follow on from
  // the one before, up to the limit's sixteenth long, and end at count.
  auto check = [](std::uint64_t count, std::uint64_t limit, std::size_t workers) {
    auto bounds = [](std::uint64_t begin, std::uint64_t end) {
      return std::vector<std::uint64_t>{begin, end};
    };
    auto folds = per_chunk<std::vector<std::uint64_t>>(count, limit, bounds, workers, &counting_start);
    ASSERT_TRUE(folds);
    std::uint64_t at = 0;
    for (const auto& fold : *folds) {
      EXPECT_EQ(fold[0], at);
      EXPECT_LE(fold[1] - fold[0], (limit + 15) / 16);
      at = fold[1];
    }
    EXPECT_EQ(at, count);
  };
  check(100, 101, 4);  // on the calling thread, pieces of 7
  check(50, 32, 2);    // two runs of 25, pieces of 2 and a last one of 1
  check(10, 1, 4);
  check(0, 0, 2);
}

}  // namespace
}  // namespace veldra
