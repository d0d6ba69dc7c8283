#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <vector>

#include "field/slice_noise.hpp"
#include "lib/splitmix64.hpp"

namespace veldra {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// Coordinates worth trying on an axis of `cells` cells: the boundaries and
// just beyond them, every intersection, fractions that are exact and some
// that are not, values far outside, infinities, -0 and NaN.
std::vector<double> coordinates(std::uint64_t cells) {
  const double d = static_cast<double>(cells);
  std::vector<double> xs = {-0.0, -1e-300, -0.25, -7.0, std::nextafter(0.0, 1.0), std::nextafter(d, 0.0),
                            std::nextafter(d, 2 * d), d + 0.5, 1e300, -kInf, kInf, kNaN, d / 3.0,
                            2.0 * d / 3.0};
  for (std::uint64_t c = 0; c <= cells; ++c) {
    for (double f : {0.0, 0.5, 0.125, 0.3, 0.999999999}) xs.push_back(static_cast<double>(c) + f);
  }
  return xs;
}

// Compares SliceNoise with Instance::sample bit for bit, NaN results included.
void expect_same_as_sample(const Instance& field, const std::vector<double>& slices,
                           const std::array<double, 3>& xyz) {
  const SliceNoise noise(field, slices);
  double all[SliceNoise::kMaxSlices];
  noise.sample(xyz, 0, slices.size(), all);
  for (std::size_t s = 0; s < slices.size(); ++s) {
    const std::array<double, 4> point = {xyz[0], xyz[1], xyz[2], slices[s]};
    const double expected = field.sample(point);
    double one;
    noise.sample(xyz, s, 1, &one);
    ASSERT_EQ(std::bit_cast<std::uint64_t>(all[s]), std::bit_cast<std::uint64_t>(expected))
        << xyz[0] << ", " << xyz[1] << ", " << xyz[2] << ", " << slices[s] << ": " << all[s] << " vs "
        << expected;
    ASSERT_EQ(std::bit_cast<std::uint64_t>(one), std::bit_cast<std::uint64_t>(expected));
  }
}

class SliceNoiseFields : public testing::TestWithParam<std::vector<std::uint64_t>> {};

TEST_P(SliceNoiseFields, RandomPointsMatchSampleBitForBit) {
  const std::vector<std::uint64_t> dims = GetParam();
  const Instance field = *Instance::create(dims, 17);
  const double depth = static_cast<double>(dims[3]);
  const std::vector<double> slices = {0.0, depth / 3.0, 2.0 * depth / 3.0, depth};
  SplitMix64 random(5);
  for (int n = 0; n < 4000; ++n) {
    std::array<double, 3> xyz;
    for (std::size_t i = 0; i < 3; ++i) {
      xyz[i] = (random.next_f64() * 1.2 - 0.1) * static_cast<double>(dims[i]);
    }
    expect_same_as_sample(field, slices, xyz);
  }
}

TEST_P(SliceNoiseFields, BoundariesClampingAndNaNMatchSample) {
  const std::vector<std::uint64_t> dims = GetParam();
  const Instance field = *Instance::create(dims, 3);
  const std::vector<double> fourth = coordinates(dims[3]);
  const std::vector<double> xs = coordinates(dims[0]);
  const std::vector<double> ys = coordinates(dims[1]);
  const std::vector<double> zs = coordinates(dims[2]);
  for (std::size_t first = 0; first < fourth.size(); first += SliceNoise::kMaxSlices) {
    const std::vector<double> slices(fourth.begin() + first,
                                     fourth.begin() + std::min(first + SliceNoise::kMaxSlices, fourth.size()));
    for (double x : xs) {
      for (double y : ys) {
        expect_same_as_sample(field, slices, {x, y, zs[(first + 3) % zs.size()]});
      }
    }
    for (double z : zs) expect_same_as_sample(field, slices, {xs[first % xs.size()], 0.5, z});
  }
}

INSTANTIATE_TEST_SUITE_P(Dims, SliceNoiseFields,
                         testing::Values(std::vector<std::uint64_t>{1, 1, 1, 1},
                                         std::vector<std::uint64_t>{2, 3, 5, 7},
                                         std::vector<std::uint64_t>{4, 4, 4, 4},
                                         std::vector<std::uint64_t>{3, 1, 2, 3}));

}  // namespace
}  // namespace veldra
