#include "field/fixed_field.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "field/instance.hpp"
#include "lib/splitmix64.hpp"

namespace veldra {
namespace {

// The point location of sample and pull, written out plainly.
void locate(const Instance& field, std::span<const double> point, std::uint64_t* cell,
            double* frac) {
  for (std::size_t i = 0; i < field.n(); ++i) {
    const double upper = static_cast<double>(field.dims()[i]);
    double x = point[i];
    if (x < 0.0) x = 0.0;
    if (x > upper) x = upper;
    const double whole = std::floor(x);
    std::uint64_t c = whole >= 0.0 ? static_cast<std::uint64_t>(whole) : 0;  // NaN gives 0
    if (c > field.dims()[i] - 1) c = field.dims()[i] - 1;
    cell[i] = c;
    frac[i] = x - static_cast<double>(c);
  }
}

// pull's blend, corner by corner in increasing order, skipping weight 0.
std::vector<double> reference_pull(const Instance& field, std::span<const double> point) {
  const std::size_t n = field.n();
  std::uint64_t cell[MAX_DIMS];
  double frac[MAX_DIMS];
  locate(field, point, cell, frac);
  std::vector<double> out(n, 0.0);
  for (std::uint64_t c = 0; c < (std::uint64_t{1} << n); ++c) {
    double weight = 1.0;
    std::uint64_t k = 0;
    for (std::size_t i = 0; i < n; ++i) {
      const bool upper = (c >> i) & 1;
      const double w = fade(frac[i]);
      weight = weight * (upper ? w : 1.0 - w);
      k += (cell[i] + (upper ? 1 : 0)) * field.strides()[i];
    }
    if (weight == 0.0) continue;
    for (std::size_t j = 0; j < n; ++j) out[j] = out[j] + weight * field.gradients()[k * n + j];
  }
  return out;
}

std::uint64_t bits(double x) { return std::bit_cast<std::uint64_t>(x); }

std::string text(const std::vector<double>& point) {
  std::string out;
  for (double x : point) out += (out.empty() ? "" : ", ") + std::to_string(x);
  return out;
}

// Bit for bit, with any NaN standing for every NaN.
void expect_same(double got, double expected, const std::vector<double>& point) {
  if (std::isnan(expected)) {
    EXPECT_TRUE(std::isnan(got)) << text(point);
  } else {
    ASSERT_EQ(bits(got), bits(expected)) << got << " vs " << expected << " at " << text(point);
  }
}

// Random points inside and beyond the lattice, with coordinates on cell
// faces, on the bounds and NaN mixed in.
std::vector<std::vector<double>> points_for(const Instance& field, std::uint64_t seed) {
  SplitMix64 random(seed);
  std::vector<std::vector<double>> points;
  for (int k = 0; k < 400; ++k) {
    std::vector<double> p;
    for (std::size_t i = 0; i < field.n(); ++i) {
      const double d = static_cast<double>(field.dims()[i]);
      switch (random.next_u64() % 8) {
        case 0:
          p.push_back(std::floor(random.next_f64() * (d + 1.0)));  // an intersection
          break;
        case 1:
          p.push_back(random.next_u64() % 2 ? 0.0 : d);
          break;
        case 2:
          p.push_back(random.next_f64() * (d + 2.0) - 1.0);  // possibly outside
          break;
        default:
          p.push_back(random.next_f64() * d);
      }
    }
    points.push_back(p);
  }
  std::vector<double> nan_point(field.n(), 0.5);
  nan_point.back() = std::nan("");
  points.push_back(nan_point);
  return points;
}

class PointEvaluation : public testing::TestWithParam<std::size_t> {};

TEST_P(PointEvaluation, SampleIsEvalAtTheLocatedPoint) {
  const std::size_t n = GetParam();
  for (std::uint64_t seed : {1, 2, 3}) {
    std::vector<std::uint64_t> dims;
    for (std::size_t i = 0; i < n; ++i) dims.push_back(1 + (seed + i) % 3);
    auto field = Instance::create(dims, seed);
    ASSERT_TRUE(field);
    for (const auto& p : points_for(*field, seed)) {
      std::uint64_t cell[MAX_DIMS];
      double frac[MAX_DIMS];
      locate(*field, p, cell, frac);
      const double expected = field->eval(std::span(cell, n), std::span(frac, n));
      expect_same(field->sample(p), expected, p);
    }
  }
}

TEST_P(PointEvaluation, PullIsTheCornerByCornerBlend) {
  const std::size_t n = GetParam();
  for (std::uint64_t seed : {4, 5}) {
    auto field = Instance::create(std::vector<std::uint64_t>(n, 2), seed);
    ASSERT_TRUE(field);
    for (const auto& p : points_for(*field, seed)) {
      const std::vector<double> expected = reference_pull(*field, p);
      std::vector<double> got(n, -1.0);
      field->pull(p, got);
      for (std::size_t j = 0; j < n; ++j) expect_same(got[j], expected[j], p);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Dimensions, PointEvaluation, testing::Values(1, 2, 3, 4, 5),
                         [](const auto& info) { return std::to_string(info.param) + "d"; });

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

// One record evaluates its field at many points, as hair growth uses it:
// every one the general corner walk's result.
template <std::size_t N>
void expect_record_matches_walk(const std::vector<std::uint64_t>& dims) {
  const Instance field = *Instance::create(dims, 23);
  const FixedField<N> record(field);
  auto check = [&](const std::vector<double>& p) {
    std::uint64_t cell[MAX_DIMS];
    double frac[MAX_DIMS];
    locate(field, p, cell, frac);
    expect_same(record.noise(p.data()), field.eval(std::span(cell, N), std::span(frac, N)), p);
    const std::array<double, N> got = record.pull(p.data());
    const std::vector<double> expected = reference_pull(field, p);
    for (std::size_t j = 0; j < N; ++j) expect_same(got[j], expected[j], p);
  };
  // Every pair of the chosen coordinates on the first two axes, with the
  // others drawn from them at random.
  SplitMix64 random(9);
  for (double p0 : coordinates(dims[0])) {
    for (double p1 : coordinates(dims[1])) {
      std::vector<double> p = {p0, p1};
      for (std::size_t i = 2; i < N; ++i) {
        const std::vector<double> xs = coordinates(dims[i]);
        p.push_back(xs[random.next_u64() % xs.size()]);
      }
      check(p);
    }
  }
  for (int k = 0; k < 20000; ++k) {
    std::vector<double> p;
    for (std::size_t i = 0; i < N; ++i) {
      p.push_back((random.next_f64() * 1.1 - 0.05) * static_cast<double>(dims[i]));
    }
    check(p);
  }
}

TEST(FixedField, TwoAxesMatchTheWalk) {
  for (auto dims : {std::vector<std::uint64_t>{1, 1}, {6, 6}, {3, 8}, {9, 2}}) {
    expect_record_matches_walk<2>(dims);
  }
}

TEST(FixedField, ThreeAxesMatchTheWalk) {
  for (auto dims : {std::vector<std::uint64_t>{1, 1, 1}, {4, 2, 5}}) {
    expect_record_matches_walk<3>(dims);
  }
}

TEST(FixedField, FourAxesMatchTheWalk) {
  for (auto dims : {std::vector<std::uint64_t>{1, 1, 1, 1}, {2, 5, 3, 2}}) {
    expect_record_matches_walk<4>(dims);
  }
}

}  // namespace
}  // namespace veldra
