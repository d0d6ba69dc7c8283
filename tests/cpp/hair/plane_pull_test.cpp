#include "hair/plane_pull.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <vector>

#include "lib/splitmix64.hpp"

namespace veldra {
namespace {

void expect_same_as_pull(const Instance& field, double p0, double p1) {
  const double point[2] = {p0, p1};
  double expected[2];
  field.pull(point, expected);
  const std::array<double, 2> got = PlanePull(field).at(p0, p1);
  for (int k = 0; k < 2; ++k) {
    ASSERT_EQ(std::bit_cast<std::uint64_t>(got[k]), std::bit_cast<std::uint64_t>(expected[k]))
        << p0 << ", " << p1 << " component " << k << ": " << got[k] << " vs " << expected[k];
  }
}

// Coordinates worth trying on an axis of `cells` cells: boundaries and just
// beyond them, intersections, exact and inexact fractions, far outside,
// infinities, -0 and NaN.
std::vector<double> coordinates(std::uint64_t cells) {
  const double d = static_cast<double>(cells);
  const double inf = std::numeric_limits<double>::infinity();
  std::vector<double> xs = {-0.0, -1e-300, -3.5, std::nextafter(0.0, 1.0), std::nextafter(d, 0.0),
                            std::nextafter(d, 2 * d), d + 2.0, 1e300, -inf, inf,
                            std::numeric_limits<double>::quiet_NaN()};
  for (std::uint64_t c = 0; c <= cells; ++c) {
    for (double f : {0.0, 0.5, 0.25, 0.7, 0.999999999}) xs.push_back(static_cast<double>(c) + f);
  }
  return xs;
}

class PlanePullFields : public testing::TestWithParam<std::vector<std::uint64_t>> {};

TEST_P(PlanePullFields, MatchesPullBitForBit) {
  const std::vector<std::uint64_t> dims = GetParam();
  const Instance field = *Instance::create(dims, 23);
  for (double p0 : coordinates(dims[0])) {
    for (double p1 : coordinates(dims[1])) expect_same_as_pull(field, p0, p1);
  }
  SplitMix64 random(9);
  for (int n = 0; n < 20000; ++n) {
    const double p0 = (random.next_f64() * 1.1 - 0.05) * static_cast<double>(dims[0]);
    expect_same_as_pull(field, p0, random.next_f64() * static_cast<double>(dims[1]));
  }
}

INSTANTIATE_TEST_SUITE_P(Dims, PlanePullFields,
                         testing::Values(std::vector<std::uint64_t>{1, 1}, std::vector<std::uint64_t>{6, 6},
                                         std::vector<std::uint64_t>{3, 8}, std::vector<std::uint64_t>{9, 2}));

}  // namespace
}  // namespace veldra
