// Fields and strands shared by the hair tests.
#pragma once

#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "hair/strand.hpp"
#include "lib/instance.hpp"

namespace veldra::testing {

inline Instance field_of(std::vector<std::uint64_t> dims, std::uint64_t seed = 7) {
  auto field = Instance::create(std::move(dims), seed);
  EXPECT_TRUE(field.has_value());
  return *field;
}

// Bit-for-bit equality of two strands.
inline bool same_strand(const Strand& a, const Strand& b) {
  return a.points.size() == b.points.size() &&
         std::memcmp(a.points.data(), b.points.data(), a.points.size() * sizeof a.points[0]) == 0 &&
         a.radius == b.radius && a.top == b.top && a.bottom == b.bottom && a.layer == b.layer &&
         a.shade == b.shade;
}

}  // namespace veldra::testing
