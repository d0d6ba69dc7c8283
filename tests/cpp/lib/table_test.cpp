#include "lib/table.hpp"

#include <gtest/gtest.h>

#include "lib/strides.hpp"

namespace veldra {
namespace {

std::string layout_message(const Instance& field, std::vector<std::uint64_t> divisors) {
  auto layout = field.table_layout(divisors);
  return layout ? std::string("ok") : layout.error().message;
}

TEST(Table, LayoutChecksAxisByAxis) {
  auto square = Instance::create({2, 2}, 1);
  auto unit = Instance::create({1, 1}, 1);
  EXPECT_EQ(layout_message(*square, {2}), "Expected 2 divisors, got 1");
  EXPECT_EQ(layout_message(*square, {0, 1}), "Divisor cannot be 0");
  EXPECT_EQ(layout_message(*square, {1ull << 63, 1}), "Grid size overflows usize");
  EXPECT_EQ(layout_message(*unit, {UINT64_MAX, 1}), "Grid size overflows usize");
  EXPECT_EQ(layout_message(*unit, {UINT64_MAX - 1, 0}), "Divisor cannot be 0");
  EXPECT_EQ(layout_message(*unit, {1ull << 32, 1ull << 32}), "Grid size overflows usize");
}

TEST(Table, ShapeIsCellsTimesDivisorsPlusOne) {
  auto field = Instance::create({3, 1, 2}, 1);
  auto layout = field->table_layout(std::vector<std::uint64_t>{2, 3, 1});
  ASSERT_TRUE(layout);
  EXPECT_EQ(layout->shape, (std::vector<std::uint64_t>{7, 4, 3}));
  EXPECT_EQ(layout->count, 84u);
}

TEST(Table, ValuesMatchSampleAtPowerOfTwoDivisors) {
  auto field = Instance::create({3, 2}, 21);
  std::vector<std::uint64_t> divisors{4, 8};
  auto table = field->table(divisors);
  ASSERT_TRUE(table);
  const auto t = row_major_strides(table->shape);
  for (std::uint64_t i = 0; i < table->shape[0]; ++i) {
    for (std::uint64_t j = 0; j < table->shape[1]; ++j) {
      double p[] = {static_cast<double>(i) / 4, static_cast<double>(j) / 8};
      EXPECT_EQ(table->values[i * t[0] + j], field->sample(p)) << i << "," << j;
    }
  }
}

TEST(Table, DivisorsOfOneGiveTheIntersectionsAllZero) {
  auto field = Instance::create({2, 3, 1}, 2);
  auto table = field->table(std::vector<std::uint64_t>{1, 1, 1});
  ASSERT_TRUE(table);
  EXPECT_EQ(table->shape, field->shape());
  for (double v : table->values) EXPECT_EQ(v, 0.0);
}

}  // namespace
}  // namespace veldra
