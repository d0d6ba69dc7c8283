#include "table/table.hpp"

#include <gtest/gtest.h>

namespace veldra {
namespace {

TEST(Table, SplitFollowsTheChunkRule) {
  EXPECT_EQ(split_table(16383, 8).runs, 0u);
  auto exact = split_table(16384, 8);
  EXPECT_EQ(exact.runs, 1u);
  EXPECT_EQ(exact.chunk, 16384u);
  auto four = split_table(100000, 4);
  EXPECT_EQ(four.runs, 4u);
  EXPECT_EQ(four.chunk, 25000u);
  auto capped = split_table(100000, 64);  // at most ceil(100000 / 16384) = 7 runs
  EXPECT_EQ(capped.runs, 7u);
  EXPECT_EQ(capped.chunk, 14286u);
  auto odd = split_table(16385, 2);
  EXPECT_EQ(odd.runs, 2u);
  EXPECT_EQ(odd.chunk, 8193u);
}

}  // namespace
}  // namespace veldra
