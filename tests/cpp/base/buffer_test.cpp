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

}  // namespace
}  // namespace veldra
