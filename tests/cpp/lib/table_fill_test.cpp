#include "table/table_fill.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "lib/splitmix64.hpp"
#include "lib/strides.hpp"
#include "table/table.hpp"

namespace veldra {
namespace {

std::string name_of(Simd simd) {
  switch (simd) {
    case Simd::Sse2:
      return "sse2";
    case Simd::Avx2:
      return "avx2";
    case Simd::Avx512:
      return "avx512";
  }
  return "?";
}

struct Case {
  std::vector<std::uint64_t> dims;
  std::vector<std::uint64_t> divisors;
  std::uint64_t seed;
};

std::string describe(const Case& c) {
  std::ostringstream text;
  text << "dims";
  for (auto d : c.dims) text << ' ' << d;
  text << " divisors";
  for (auto d : c.divisors) text << ' ' << d;
  text << " seed " << c.seed;
  return text.str();
}

std::uint64_t count_of(const Case& c) {
  std::uint64_t count = 1;
  for (std::size_t i = 0; i < c.dims.size(); ++i) count *= c.dims[i] * c.divisors[i] + 1;
  return count;
}

// Fills [begin, end) with `simd` and compares every value, bit for bit,
// with the straightforward evaluation of its index.
void expect_run_exact(const Instance& field, const Case& c, Simd simd, std::uint64_t begin,
                      std::uint64_t end) {
  auto fill = TableFill::create(field, c.divisors, 1, simd);
  ASSERT_TRUE(fill);
  std::vector<std::uint64_t> shape;
  for (std::size_t i = 0; i < c.dims.size(); ++i) shape.push_back(c.dims[i] * c.divisors[i] + 1);
  const auto t = row_major_strides(shape);
  // A guard value on either side catches writes outside the run.
  std::vector<double> out(end - begin + 2, -7.0);
  fill->fill(0, begin, end, out.data() + 1);
  ASSERT_EQ(out.front(), -7.0);
  ASSERT_EQ(out.back(), -7.0);
  for (std::uint64_t k = begin; k < end; ++k) {
    const double expected = field.eval_table_point(k, c.divisors, t);
    ASSERT_EQ(std::bit_cast<std::uint64_t>(out[k - begin + 1]),
              std::bit_cast<std::uint64_t>(expected))
        << describe(c) << " " << name_of(simd) << " index " << k << " of run [" << begin << ", "
        << end << ")";
  }
}

// Random cases of `dims` dimensions: cell counts 1 to 3 (1 to 5 on the
// last axis, so that rows of four cells and more occur), divisors 1 to 20
// (cells both shorter and longer than every register width).
std::vector<Case> random_cases(std::size_t dims, std::size_t how_many, std::uint64_t most) {
  SplitMix64 random(1000 + dims);
  std::vector<Case> cases;
  while (cases.size() < how_many) {
    Case c{{}, {}, random.next_u64() % 1000};
    for (std::size_t i = 0; i < dims; ++i) {
      c.dims.push_back(1 + random.next_u64() % (i + 1 == dims ? 5 : 3));
      c.divisors.push_back(1 + random.next_u64() % 20);
    }
    if (count_of(c) <= most) cases.push_back(c);
  }
  return cases;
}

// The same cases on every instruction set; those this processor lacks are
// reported as skipped.
class TableFillOn : public testing::TestWithParam<Simd> {
 protected:
  void SetUp() override {
    if (!simd_supported(GetParam())) GTEST_SKIP() << name_of(GetParam()) << " is not available";
  }
};

TEST_P(TableFillOn, WholeTablesAndRunsMatchTheFormula) {
  for (std::size_t dims = 1; dims <= 6; ++dims) {
    const std::uint64_t most = dims <= 3 ? 20000 : 6000;
    for (const Case& c : random_cases(dims, dims <= 2 ? 40 : 12, most)) {
      auto field = Instance::create(c.dims, c.seed);
      ASSERT_TRUE(field);
      const std::uint64_t count = count_of(c);
      expect_run_exact(*field, c, GetParam(), 0, count);
      // Runs starting and ending anywhere, mid-row and mid-cell included.
      SplitMix64 random(c.seed);
      for (int trial = 0; trial < 6; ++trial) {
        const std::uint64_t begin = random.next_u64() % count;
        const std::uint64_t end = begin + 1 + random.next_u64() % (count - begin);
        expect_run_exact(*field, c, GetParam(), begin, end);
      }
    }
  }
}

TEST_P(TableFillOn, ShortLastAxesMatchTheFormula) {
  // Last axes of up to 8 samples (every other trial) or up to 64 are
  // filled by columns when the second-to-last axis's cells are long enough;
  // runs that start and end inside rows mix that with the row walk.
  SplitMix64 random(77);
  for (std::size_t dims = 2; dims <= 4; ++dims) {
    for (int trial = 0; trial < 16; ++trial) {
      const bool medium = trial % 2 == 1;
      Case c{{}, {}, random.next_u64() % 1000};
      for (std::size_t i = 0; i + 1 < dims; ++i) {
        c.dims.push_back(1 + random.next_u64() % 3);
        c.divisors.push_back(i + 2 == dims ? (medium ? 8 : 1) + random.next_u64() % 12
                                           : 1 + random.next_u64() % 4);
      }
      const std::uint64_t last_cells = 1 + random.next_u64() % 3;
      c.dims.push_back(last_cells);
      c.divisors.push_back(1 + random.next_u64() % ((medium ? 63 : 7) / last_cells));
      auto field = Instance::create(c.dims, c.seed);
      ASSERT_TRUE(field);
      const std::uint64_t count = count_of(c);
      expect_run_exact(*field, c, GetParam(), 0, count);
      for (int run = 0; run < 4; ++run) {
        const std::uint64_t begin = random.next_u64() % count;
        const std::uint64_t end = begin + 1 + random.next_u64() % (count - begin);
        expect_run_exact(*field, c, GetParam(), begin, end);
      }
    }
  }
}

TEST_P(TableFillOn, SixteenDimensionsOnATinyLattice) {
  // 2^15 * 5 values; the straightforward evaluation visits 65536 corners
  // per value, so only runs of it are compared.
  Case c{std::vector<std::uint64_t>(16, 1), std::vector<std::uint64_t>(16, 1), 5};
  c.divisors[3] = 2;
  c.divisors[15] = 4;
  auto field = Instance::create(c.dims, c.seed);
  ASSERT_TRUE(field);
  const std::uint64_t count = count_of(c);
  for (std::uint64_t begin : {std::uint64_t{0}, std::uint64_t{7}, count / 2 + 3, count - 9}) {
    expect_run_exact(*field, c, GetParam(), begin, begin + 9);
  }
}

TEST_P(TableFillOn, LastDivisorBeyondTheCachedPositions) {
  // 2 * 70001 + 1 positions per row, most of them past the cached ones.
  Case c{{1, 2}, {2, 70001}, 9};
  auto field = Instance::create(c.dims, c.seed);
  ASSERT_TRUE(field);
  expect_run_exact(*field, c, GetParam(), 0, count_of(c));
}

INSTANTIATE_TEST_SUITE_P(Simd, TableFillOn,
                         testing::Values(Simd::Sse2, Simd::Avx2, Simd::Avx512),
                         [](const auto& info) { return name_of(info.param); });

TEST(TableFill, TableOnWorkersMatchesTheFormula) {
  // Large enough for worker threads; runs begin mid-row.
  Case c{{3, 5}, {37, 41}, 4};
  auto field = Instance::create(c.dims, c.seed);
  ASSERT_TRUE(field);
  auto table = field->table(c.divisors);
  ASSERT_TRUE(table);
  const auto t = row_major_strides(table->shape);
  for (std::uint64_t k = 0; k < table->values.size(); ++k) {
    ASSERT_EQ(std::bit_cast<std::uint64_t>(table->values[k]),
              std::bit_cast<std::uint64_t>(field->eval_table_point(k, c.divisors, t)))
        << k;
  }
}

TEST(TableFill, WidestIsSupported) { EXPECT_TRUE(simd_supported(widest_simd())); }

}  // namespace
}  // namespace veldra
