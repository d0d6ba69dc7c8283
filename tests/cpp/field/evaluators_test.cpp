// Every evaluator of a field against the general walk of the formula
// (Instance::eval and formula::pull<0>), bit for bit: the fixed axis
// counts behind sample and pull, slices, many points at once (noise_at's)
// and table runs on every instruction set, the tables by rows and by
// columns, on one worker and on many; and the octaves of a Field, at
// points and in tables.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "base/splitmix64.hpp"
#include "base/strides.hpp"
#include "field/field.hpp"
#include "field/formula.hpp"
#include "field/instance.hpp"
#include "field/slice_noise.hpp"
#include "table/detail/point_noise.hpp"
#include "table/detail/table_fill.hpp"
#include "table/detail/field_table.hpp"
#include "table/table.hpp"

namespace veldra {
namespace {

using Dims = std::vector<std::uint64_t>;

std::uint64_t bits(double x) { return std::bit_cast<std::uint64_t>(x); }

// Bit for bit, any NaN standing for every NaN.
testing::AssertionResult same(double got, double expected) {
  if (std::isnan(expected) ? std::isnan(got) : bits(got) == bits(expected)) {
    return testing::AssertionSuccess();
  }
  return testing::AssertionFailure() << got << " instead of " << expected;
}

std::string text(const std::vector<double>& values) {
  std::ostringstream out;
  for (double x : values) out << x << ' ';
  return out.str();
}

// The general walk at `point`, clamped into the lattice (written out
// plainly: the floor of the clamped coordinate, NaN in cell 0): the noise,
// then the pull.
std::vector<double> walk(const Instance& field, const std::vector<double>& point) {
  const std::size_t n = field.n();
  std::uint64_t cell[MAX_DIMS];
  double frac[MAX_DIMS];
  Sides axes[MAX_DIMS];
  std::uint64_t base = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const double x = std::clamp(point[i], 0.0, static_cast<double>(field.dims()[i]));
    cell[i] = std::min(x >= 0.0 ? static_cast<std::uint64_t>(std::floor(x)) : 0, field.dims()[i] - 1);
    frac[i] = x - static_cast<double>(cell[i]);
    axes[i] = sides_at(frac[i]);
    base += cell[i] * field.strides()[i];
  }
  std::vector<double> out(n + 1, 0.0);
  out[0] = field.eval(std::span(cell, n), std::span(frac, n));
  auto gradient = [&](std::uint64_t c) {
    std::uint64_t k = base;
    for (std::size_t i = 0; i < n; ++i) k += (c >> i) & 1 ? field.strides()[i] : 0;
    return field.gradients().data() + k * n;
  };
  formula::pull<0>(n, axes, gradient, out.data() + 1);
  return out;
}

// Coordinates worth trying on an axis of `cells` cells: bounds and just
// beyond, intersections, exact and inexact fractions, far outside,
// infinities, -0 and NaN.
std::vector<double> coordinates(std::uint64_t cells) {
  const double d = static_cast<double>(cells);
  const double inf = std::numeric_limits<double>::infinity();
  std::vector<double> xs = {-0.0, -1e-300, -3.5, std::nextafter(0.0, 1.0), std::nextafter(d, 0.0),
                            std::nextafter(d, 2 * d), d + 2.0, 1e300, -inf, inf, d / 3.0,
                            std::numeric_limits<double>::quiet_NaN()};
  for (std::uint64_t c = 0; c <= cells; ++c) {
    for (double f : {0.0, 0.5, 0.3, 0.999999999}) xs.push_back(static_cast<double>(c) + f);
  }
  return xs;
}

// Points on a field: every pair of the chosen coordinates on the first two
// axes (the others drawn from theirs), then random points in and around it.
std::vector<std::vector<double>> points_on(const Instance& field, SplitMix64& random) {
  const std::size_t n = field.n();
  std::vector<std::vector<double>> points;
  auto pick = [&](std::size_t i) {
    const std::vector<double> xs = coordinates(field.dims()[i]);
    return xs[random.next_u64() % xs.size()];
  };
  for (double p0 : coordinates(field.dims()[0])) {
    for (double p1 : n > 1 ? coordinates(field.dims()[1]) : std::vector<double>{0.0}) {
      std::vector<double> p = {p0};
      if (n > 1) p.push_back(p1);
      for (std::size_t i = 2; i < n; ++i) p.push_back(pick(i));
      points.push_back(p);
    }
  }
  for (int k = 0; k < 3000; ++k) {
    std::vector<double> p;
    for (std::size_t i = 0; i < n; ++i) {
      p.push_back((random.next_f64() * 1.2 - 0.1) * static_cast<double>(field.dims()[i]));
    }
    points.push_back(p);
  }
  return points;
}

TEST(Evaluators, PointsSlicesAndPullsMatchTheGeneralWalk) {
  const std::vector<Dims> fields = {{3},       {1, 1},       {6, 6},       {9, 2},
                                    {1, 1, 1}, {4, 2, 5},    {1, 1, 1, 1}, {2, 5, 3, 2},
                                    {3, 1, 2, 3}, {2, 1, 3, 1, 2}, {1, 2, 1, 1, 1, 2}};
  SplitMix64 random(9);
  for (const Dims& dims : fields) {
    const Instance field = *Instance::create(dims, 23 + dims.size());
    const std::size_t n = dims.size();
    const std::vector<double> fourth = coordinates(dims.back());
    const std::vector<std::vector<double>> points = points_on(field, random);
    // Many points at once, as noise_at evaluates them, on every instruction set.
    std::vector<double> flat;
    for (const std::vector<double>& p : points) flat.insert(flat.end(), p.begin(), p.end());
    std::vector<std::vector<double>> many;
    for (const Simd simd : {Simd::Sse2, Simd::Avx2, Simd::Avx512}) {
      if (!simd_supported(simd)) continue;
      many.emplace_back(points.size());
      noise_points(field, flat.data(), points.size(), many.back().data(), simd);
    }
    for (std::size_t k = 0; k < points.size(); ++k) {
      const std::vector<double>& p = points[k];
      const std::vector<double> expected = walk(field, p);
      ASSERT_TRUE(same(field.sample(p), expected[0])) << text(p);
      for (const std::vector<double>& values : many) ASSERT_TRUE(same(values[k], expected[0])) << text(p);
      std::vector<double> pull(n, -1.0);
      field.pull(p, pull);
      for (std::size_t j = 0; j < n; ++j) ASSERT_TRUE(same(pull[j], expected[j + 1])) << text(p);
      if (n != 4) continue;
      // Four slices of the fourth axis, all at once and one at a time.
      std::vector<double> slices;
      for (int s = 0; s < 4; ++s) slices.push_back(fourth[random.next_u64() % fourth.size()]);
      const SliceNoise noise(field, slices);
      double all[4], one;
      noise.sample({p[0], p[1], p[2]}, 0, 4, all);
      for (std::size_t s = 0; s < 4; ++s) {
        const std::vector<double> q = {p[0], p[1], p[2], slices[s]};
        noise.sample({p[0], p[1], p[2]}, s, 1, &one);
        const double slice_expected = walk(field, q)[0];
        ASSERT_TRUE(same(all[s], slice_expected)) << text(q);
        ASSERT_TRUE(same(one, slice_expected)) << text(q);
      }
    }
  }
}

// The general walk at flat index k of the table of `divisors`: the cell
// q / d on each axis, except that an axis's last position lies in its last
// cell at fraction 1.0.
double table_point(const Instance& field, const Dims& divisors, std::uint64_t k) {
  const std::size_t n = field.n();
  Dims shape;
  for (std::size_t i = 0; i < n; ++i) shape.push_back(field.dims()[i] * divisors[i] + 1);
  const Dims strides = row_major_strides(shape);
  std::uint64_t cell[MAX_DIMS];
  double frac[MAX_DIMS];
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint64_t q = k / strides[i] % shape[i];
    cell[i] = std::min(q / divisors[i], field.dims()[i] - 1);
    frac[i] = q == shape[i] - 1 ? 1.0
                                : static_cast<double>(q % divisors[i]) / static_cast<double>(divisors[i]);
  }
  return field.eval(std::span(cell, n), std::span(frac, n));
}

struct TableCase {
  Dims dims, divisors;
  bool whole = true;  // the whole table as one run, besides shorter runs
};

std::uint64_t count_of(const TableCase& c) {
  std::uint64_t count = 1;
  for (std::size_t i = 0; i < c.dims.size(); ++i) count *= c.dims[i] * c.divisors[i] + 1;
  return count;
}

// Random tables of 1 to 6 axes: 1 to 3 cells (1 to 5 on the last axis, so
// that rows of four cells and more occur) cut 1 to 20 times, shorter and
// longer than every register; and tables of 2 to 4 axes whose short last
// axes (up to 8 or up to 64 samples) are filled by columns. Then 16 axes,
// and a last divisor beyond the positions cached per table.
std::vector<TableCase> table_cases() {
  SplitMix64 random(1000);
  std::vector<TableCase> cases;
  for (std::size_t n = 1; n <= 6; ++n) {
    for (int k = 0; k < (n <= 2 ? 30 : 10);) {
      TableCase c;
      for (std::size_t i = 0; i < n; ++i) {
        c.dims.push_back(1 + random.next_u64() % (i + 1 == n ? 5 : 3));
        c.divisors.push_back(1 + random.next_u64() % 20);
      }
      if (count_of(c) <= (n <= 3 ? 20000u : 6000u)) cases.push_back(c), ++k;
    }
  }
  for (std::size_t n = 2; n <= 4; ++n) {
    for (int trial = 0; trial < 16; ++trial) {
      const bool medium = trial % 2 == 1;
      TableCase c;
      for (std::size_t i = 0; i + 1 < n; ++i) {
        c.dims.push_back(1 + random.next_u64() % 3);
        c.divisors.push_back(i + 2 == n ? (medium ? 8 : 1) + random.next_u64() % 12
                                        : 1 + random.next_u64() % 4);
      }
      c.dims.push_back(1 + random.next_u64() % 3);
      c.divisors.push_back(1 + random.next_u64() % ((medium ? 63 : 7) / c.dims.back()));
      cases.push_back(c);
    }
  }
  TableCase wide{Dims(16, 1), Dims(16, 1), false};
  wide.divisors[3] = 2;
  wide.divisors[15] = 4;
  cases.push_back(wide);
  cases.push_back({{1, 2}, {2, 70001}});
  return cases;
}

std::string name_of(Simd simd) {
  return simd == Simd::Sse2 ? "sse2" : simd == Simd::Avx2 ? "avx2" : "avx512";
}

class TableRunsOn : public testing::TestWithParam<Simd> {
 protected:
  void SetUp() override {
    if (!simd_supported(GetParam())) GTEST_SKIP() << name_of(GetParam()) << " is not available";
  }
};

// Runs that start and end anywhere (mid-row and mid-cell included), filled
// as the workers of one table fill them: each run with its own scratch.
TEST_P(TableRunsOn, RunsMatchTheGeneralWalk) {
  SplitMix64 random(77);
  for (const TableCase& c : table_cases()) {
    const Instance field = *Instance::create(c.dims, random.next_u64() % 1000);
    const std::uint64_t count = count_of(c);
    std::vector<std::pair<std::uint64_t, std::uint64_t>> runs;
    if (c.whole) runs.push_back({0, count});
    const std::uint64_t row = c.dims.back() * c.divisors.back() + 1;
    if (c.whole && count > row + 2) runs.push_back({1, count - row - 1});  // mid-row to mid-row
    for (int k = 0; k < 6; ++k) {
      const std::uint64_t begin = random.next_u64() % count;
      runs.push_back({begin, begin + 1 + random.next_u64() % std::min<std::uint64_t>(count - begin, c.whole ? count : 9)});
    }
    auto fill = TableFill::create(field, c.divisors, runs.size(), GetParam());
    ASSERT_TRUE(fill);
    for (std::size_t run = 0; run < runs.size(); ++run) {
      const auto [begin, end] = runs[run];
      // A guard on either side catches writes outside the run.
      std::vector<double> out(end - begin + 2, -7.0);
      fill->fill(run, begin, end, out.data() + 1);
      ASSERT_EQ(out.front(), -7.0);
      ASSERT_EQ(out.back(), -7.0);
      for (std::uint64_t k = begin; k < end; ++k) {
        ASSERT_EQ(bits(out[k - begin + 1]), bits(table_point(field, c.divisors, k)))
            << "dims " << text({c.dims.begin(), c.dims.end()}) << "divisors "
            << text({c.divisors.begin(), c.divisors.end()}) << "index " << k << " of run ["
            << begin << ", " << end << ")";
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Simd, TableRunsOn, testing::Values(Simd::Sse2, Simd::Avx2, Simd::Avx512),
                         [](const auto& info) { return name_of(info.param); });

// Fields of several octaves (lacunarity 2, 3 and 1.7; walls, wrapping on
// every axis or some, unbounded) whose sample, pull and derivative, and
// many points at once, unrolled for 2 to 4 axes, match the octaves walked
// for any number of axes and summed in order; octave 0 of a field with
// walls is its Instance.
TEST(Evaluators, OctavesMatchTheirGeneralWalk) {
  SplitMix64 random(31);
  for (const Dims& dims : std::vector<Dims>{{6, 6}, {4, 2, 5}, {2, 5, 3, 2}, {2, 1, 3, 1, 2}}) {
    const std::size_t n = dims.size();
    std::vector<bool> some(n, false);
    some[n - 1] = true;
    for (const OctaveSettings& settings : {OctaveSettings{3, 2, 0.5, Shape::Ridged, false},
                                          OctaveSettings{3, 3, 0.7, Shape::Billow, true},
                                          OctaveSettings{3, 2, 0.5, Shape::Smooth, some, true},
                                          OctaveSettings{3, 1.7, 0.6, Shape::Billow, false, true}}) {
      const Field field = *Field::create(dims, 5, settings);
      // The points the field takes (shifted far and below 0 when it has no
      // walls), also evaluated many at once (noise_at's lanes) on every
      // instruction set.
      std::vector<std::vector<double>> points;
      std::vector<double> flat;
      for (std::vector<double> p : points_on(field.base(), random)) {
        if (settings.unbounded && p[0] > 1.0) p[0] = -1e9 - p[0];
        if (!field.expect_point(p)) continue;
        points.push_back(p);
        flat.insert(flat.end(), p.begin(), p.end());
      }
      std::vector<std::vector<double>> many, pulls, slopes;
      for (const Simd simd : {Simd::Sse2, Simd::Avx2}) {
        if (!simd_supported(simd)) continue;
        many.emplace_back(points.size());
        noise_points(field, flat.data(), points.size(), many.back().data(), simd);
        pulls.emplace_back(flat.size());
        pull_points(field, flat.data(), points.size(), pulls.back().data(), simd);
        slopes.emplace_back(flat.size());
        slope_points(field, flat.data(), points.size(), slopes.back().data(), simd);
      }
      for (std::size_t index = 0; index < points.size(); ++index) {
        const std::vector<double>& p = points[index];
        double value = 0.0, pull[MAX_DIMS] = {}, slope[MAX_DIMS] = {};
        for (std::size_t k = 0; k < field.octaves().size(); ++k) {
          const Octave& octave = field.octaves()[k];
          std::uint64_t lowest[MAX_DIMS];
          Sides sides[MAX_DIMS];
          for (std::size_t i = 0; i < n; ++i) {
            const AxisPoint at = field.place(k, i, p[i]);
            lowest[i] = at.cell;
            sides[i] = at.sides;
          }
          const OctaveGradients g = field.gradients(k);
          const double v = g.noise_in<0>(lowest, sides);
          if (k == 0 && field.wraps() == 0 && !settings.unbounded) {
            ASSERT_TRUE(same(v, walk(field.base(), p)[0])) << text(p);
          }
          term_step(value, octave.weight, shaped(settings.shape, v));
          double sum[MAX_DIMS] = {}, d[MAX_DIMS];
          g.pull_in<0>(lowest, sides, sum);
          ASSERT_TRUE(same(g.derivative_in<0>(lowest, sides, d), v)) << text(p);
          for (std::size_t i = 0; i < n; ++i) {
            term_step(pull[i], octave.weight, sum[i]);
            term_step(slope[i], octave.weight, shaped_slope(settings.shape, v, d[i] * octave.scale));
          }
        }
        ASSERT_TRUE(same(field.sample(p), value / field.weight_sum())) << text(p);
        for (const std::vector<double>& values : many) ASSERT_TRUE(same(values[index], value / field.weight_sum())) << text(p);
        std::vector<double> got(n), got_slope(n);
        field.pull(p, got);
        field.slope(p, got_slope);
        for (std::size_t i = 0; i < n; ++i) {
          ASSERT_TRUE(same(got[i], pull[i] / field.weight_sum())) << text(p);
          ASSERT_TRUE(same(got_slope[i], slope[i] / field.weight_sum())) << text(p);
          for (const std::vector<double>& values : pulls) ASSERT_TRUE(same(values[index * n + i], got[i])) << text(p);
          for (const std::vector<double>& values : slopes) ASSERT_TRUE(same(values[index * n + i], got_slope[i])) << text(p);
        }
      }
    }
  }
}

// Every octave's share of a Field table, by the SIMD fill (divisors
// divisible by L^k, on the octave's own lattice) and position by position,
// in runs that start anywhere, against the general walk at each index's
// place on the octave's lattice; and the table, against those shares
// summed.
TEST(Evaluators, OctaveTablesMatchTheGeneralWalk) {
  SplitMix64 random(55);
  struct Case {
    Dims dims, divisors;
    OctaveSettings settings;
  };
  const std::vector<Case> cases = {
      {{5}, {7}, {3, 2, 0.5, Shape::Billow, false}},
      {{3, 4}, {8, 12}, {4, 2, 0.5, Shape::Smooth, false}},
      {{3, 4}, {8, 12}, {4, 2, 0.5, Shape::Billow, true}},
      {{2, 3, 2}, {9, 3, 6}, {3, 3, 0.6, Shape::Ridged, true}},
      {{2, 1, 2, 1}, {4, 2, 4, 8}, {3, 2, 0.5, Shape::Smooth, false}},
      {{1, 2, 1, 1, 2}, {2, 2, 4, 1, 2}, {2, 2, 0.5, Shape::Smooth, true}},
      // Octaves 2 on (1 on) sample only their lattices' intersections, which
      // the table leaves out: ridged ones add -0 there.
      {{3, 4}, {2, 4}, {5, 2, 0.5, Shape::Ridged, false}},
      {{2, 3}, {2, 2}, {4, 2, 0.7, Shape::Billow, true}},
      // Unbounded (octave 0 from its index too), some axes wrapping; a
      // lacunarity that is not whole, with walls and without.
      {{3, 4}, {8, 12}, {3, 2, 0.5, Shape::Smooth, std::vector<bool>{false, true}, true}},
      {{3, 2}, {5, 4}, {3, 1.5, 0.5, Shape::Billow, false}},
      {{2, 3, 2}, {3, 2, 4}, {2, 2.3, 0.5, Shape::Smooth, false, true}},
  };
  for (const Case& c : cases) {
    const Field field = *Field::create(c.dims, random.next_u64() % 100, c.settings);
    const std::size_t n = c.dims.size();
    Dims shape;
    for (std::size_t i = 0; i < n; ++i) shape.push_back(c.dims[i] * c.divisors[i] + 1);
    const Dims strides = row_major_strides(shape);
    const std::uint64_t count = strides[0] * shape[0];
    std::vector<double> sum(count, 0.0);
    for (std::size_t k = 0; k < field.octaves().size(); ++k) {
      const Octave& octave = field.octaves()[k];
      std::vector<double> expected(count);
      for (std::uint64_t t = 0; t < count; ++t) {
        std::uint64_t lowest[MAX_DIMS];
        Sides axes[MAX_DIMS];
        for (std::size_t i = 0; i < n; ++i) {
          const std::uint64_t q = t / strides[i] % shape[i];
          const AxisPoint at =
              c.settings.whole_lacunarity()
                  ? octave_table_point(q, c.divisors[i], static_cast<std::uint64_t>(octave.scale), octave.cells[i])
                  : field.place(k, i, static_cast<double>(q) / static_cast<double>(c.divisors[i]));
          lowest[i] = at.cell;
          axes[i] = at.sides;
        }
        expected[t] = field.gradients(k).noise_in<0>(lowest, axes);
        term_step(sum[t], octave.weight, shaped(c.settings.shape, expected[t]));
      }
      // On the octave's own lattice, and by the general walk on every
      // instruction set.
      for (const auto& [on_lattice, simd] : {std::pair{true, widest_simd()}, std::pair{false, Simd::Sse2},
                                            std::pair{false, Simd::Avx2}, std::pair{false, Simd::Avx512}}) {
        if (!simd_supported(simd)) continue;
        auto table = OctaveTable::create(field, k, c.divisors, 4, simd, on_lattice);
        ASSERT_TRUE(table);
        for (std::size_t run = 0; run < 4; ++run) {
          const std::uint64_t begin = run == 0 ? 0 : random.next_u64() % count;
          const std::uint64_t end = run == 0 ? count : begin + 1 + random.next_u64() % (count - begin);
          std::vector<double> out(end - begin);
          table->fill(run, begin, end, out.data());
          for (std::uint64_t t = begin; t < end; ++t) {
            ASSERT_TRUE(same(out[t - begin], expected[t])) << "octave " << k << ", index " << t;
          }
        }
      }
    }
    const auto whole = table(field, c.divisors);
    ASSERT_TRUE(whole);
    for (std::uint64_t t = 0; t < count; ++t) ASSERT_TRUE(same(whole->values[t], sum[t] / field.weight_sum())) << t;
    auto fill = FieldTableFill::create(field, c.divisors, 1);
    ASSERT_TRUE(fill);
    const std::uint64_t begin = random.next_u64() % count, end = begin + 1 + random.next_u64() % (count - begin);
    std::vector<double> part(end - begin);
    fill->fill(0, begin, end, part.data());
    for (std::uint64_t t = begin; t < end; ++t) ASSERT_TRUE(same(part[t - begin], whole->values[t])) << t;
  }
}

}  // namespace
}  // namespace veldra
