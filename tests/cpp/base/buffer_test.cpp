#include "base/buffer.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>

namespace veldra {
namespace {

TEST(AllocateDeferred, ImpossibleSizesAreOutOfMemory) {
  for (std::uint64_t count : {UINT64_MAX, UINT64_MAX / 8 + 1, std::uint64_t{1} << 60}) {
    auto buffer = allocate_deferred<double>(count);
    ASSERT_FALSE(buffer) << count;
    EXPECT_EQ(buffer.error().kind, ErrorKind::OutOfMemory);
  }
}

TEST(AllocateDeferred, SizedForWritingAcrossHugePages) {
  // 6 MiB: large enough to be advised into huge pages.
  const std::uint64_t count = (std::uint64_t{6} << 20) / sizeof(double);
  auto buffer = allocate_deferred<double>(count);
  ASSERT_TRUE(buffer);
  ASSERT_EQ(buffer->size(), count);
  std::iota(buffer->begin(), buffer->end(), 0.0);
  EXPECT_EQ((*buffer)[count - 1], static_cast<double>(count - 1));
  buffer->push_back(-1.0);  // grows like any vector, keeping what was written
  EXPECT_EQ((*buffer)[count / 2], static_cast<double>(count / 2));
  EXPECT_EQ(buffer->back(), -1.0);
}

// One released buffer of 4 to 64 MiB is kept, for one later request of
// exactly its size; keeping another releases it.
TEST(ReleasedBuffers, OneIsKeptForTheNextRequestOfItsSize) {
  constexpr std::size_t MIB = std::size_t{1} << 20;
  for (std::size_t bytes : {MIB, 4 * MIB - 8, 64 * MIB + 8}) {
    void* data = ::operator new(bytes);
    EXPECT_FALSE(keep_released(data, bytes)) << bytes;
    ::operator delete(data);
  }
  void* first = ::operator new(8 * MIB);
  ASSERT_TRUE(keep_released(first, 8 * MIB));
  EXPECT_EQ(take_released(8 * MIB - 8), nullptr);
  EXPECT_EQ(take_released(8 * MIB), first);
  EXPECT_EQ(take_released(8 * MIB), nullptr);  // given once
  ASSERT_TRUE(keep_released(first, 8 * MIB));
  void* second = ::operator new(4 * MIB);
  ASSERT_TRUE(keep_released(second, 4 * MIB));  // releases the first
  EXPECT_EQ(take_released(8 * MIB), nullptr);
  EXPECT_EQ(take_released(4 * MIB), second);
  ::operator delete(second);

  // A deferred buffer released and sized again lands in the same pages.
  const double* where = nullptr;
  {
    auto values = allocate_deferred<double>(std::uint64_t{1} << 20);
    ASSERT_TRUE(values);
    where = values->data();
  }
  auto again = allocate_deferred<double>(std::uint64_t{1} << 20);
  ASSERT_TRUE(again);
  EXPECT_EQ(again->data(), where);
}

}  // namespace
}  // namespace veldra
