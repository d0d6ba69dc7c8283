// The sparse walk's lanes across cells: an octave's samples at a spacing
// that repeats every few cells (a table whose divisors the octave's scale
// does not divide) go one period per lane, and samples that do not repeat
// one run of a cell per lane. Their values are bit for bit the octave's
// noise_in at each sample, on every instruction set, for 1 to 4 axes,
// boxes that start inside a cell and runs that cut rows; each way is taken
// where its samples allow and nowhere else.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "field/field.hpp"
#include "table/detail/field_table.hpp"
#include "table/detail/placed_fill.hpp"

namespace veldra {
namespace {

// Fills the whole box, and a run from mid-row to mid-row, and checks every
// value against the octave's noise_in at its sample, bit for bit; a guard
// on either side catches writes outside the run.
void expect_the_octave_at_every_sample(PlacedFill& fill, const OctaveGradients& gradients,
                                       const std::vector<std::vector<AxisPoint>>& places,
                                       const std::string& context) {
  const std::size_t n = places.size();
  std::uint64_t count = 1;
  for (const auto& axis : places) count *= axis.size();
  const std::uint64_t row = places[n - 1].size();
  for (const auto& [begin, end] : {std::pair{std::uint64_t{0}, count},
                                  std::pair{row / 3 + 1, count - row / 4 - 1}}) {
    std::vector<double> values(end - begin + 2, -7.0);
    fill.fill(0, begin, end, values.data() + 1);
    ASSERT_EQ(values.front(), -7.0) << context;
    ASSERT_EQ(values.back(), -7.0) << context;
    for (std::uint64_t t = begin; t < end; ++t) {
      std::uint64_t lowest[MAX_DIMS];
      Sides at[MAX_DIMS];
      for (std::size_t i = n, rest = t; i-- > 0;) {
        const std::size_t size = places[i].size();
        lowest[i] = places[i][rest % size].cell;
        at[i] = places[i][rest % size].sides;
        rest /= size;
      }
      const double expected = gradients.noise_in<0>(lowest, at);
      ASSERT_EQ(std::memcmp(&values[t - begin + 1], &expected, sizeof expected), 0)
          << context << ", sample " << t;
    }
  }
}

struct Spacing {
  std::uint64_t divisor, power;  // table divisor, octave scale: power / divisor cells a sample
  std::size_t period, cells;     // the period expected, in samples and cells
};

TEST(PlacedPeriods, PeriodsInLanesMatchTheOctaveAtEverySample) {
  // 3.19, 6.4, 4, 3.5 and 0.78 samples to a cell.
  const Spacing spacings[] = {
      {102, 32, 51, 16}, {102, 16, 51, 8}, {128, 32, 4, 1}, {7, 2, 7, 2}, {25, 32, 25, 32}};
  for (std::size_t n = 1; n <= 4; ++n) {
    for (const Spacing& spacing : spacings) {
      for (const bool wrapped : {false, true}) {
        // Octave k of a field of `dims` cells: its scale is 2^k.
        std::size_t k = 0;
        while ((std::uint64_t{1} << k) < spacing.power) ++k;
        const std::uint64_t along = 2 * 8 * spacing.period / spacing.divisor + 2;  // cells of octave 0
        std::vector<std::uint64_t> dims(n, 1);
        dims[n - 1] = along;
        const Field field = *Field::create(dims, 5, {k + 1, 2.0, 0.5, Shape::Smooth, wrapped, false});
        const OctaveGradients gradients = field.gradients(k);
        ASSERT_NE(gradients.palette(), nullptr);
        for (const std::uint64_t first : {0, 3}) {  // a box from the origin, and one inside a cell
          std::vector<std::vector<AxisPoint>> places(n);
          for (std::size_t i = 0; i < n; ++i) {
            const std::uint64_t samples = i + 1 == n ? dims[i] * spacing.divisor + 1 - first : 3;
            for (std::uint64_t q = first; q < first + samples; ++q) {
              const std::uint64_t cells = field.octaves()[k].cells[i];
              places[i].push_back(octave_table_point(q, spacing.divisor, spacing.power, cells));
            }
          }
          for (const Simd simd : {Simd::Sse2, Simd::Avx2, Simd::Avx512}) {
            if (!simd_supported(simd)) continue;
            auto fill = PlacedFill::create(gradients, places, 1, simd);
            ASSERT_TRUE(fill);
            const PeriodicPart& part = fill->plan().periodic;
            ASSERT_EQ(part.period, spacing.period) << n << " axes, divisor " << spacing.divisor;
            ASSERT_EQ(part.cells, spacing.cells);
            // The axis's last sample, at the top of its last cell, breaks the period.
            ASSERT_LT(part.until, places[n - 1].size());
            expect_the_octave_at_every_sample(
                *fill, gradients, places,
                std::to_string(n) + " axes, divisor " + std::to_string(spacing.divisor) + ", scale " +
                    std::to_string(spacing.power) + ", wrapped " + std::to_string(wrapped) + ", first " +
                    std::to_string(first) + ", simd " + std::to_string(int(simd)));
          }
        }
      }
    }
  }
}

// Samples placed as floating-point points do not repeat: their fractions
// round differently from one would-be period to the next. Where their
// cells rise one at a time with two samples or more to a cell, runs of a
// cell go one per lane; their values too are the octave's at each sample.
TEST(PlacedPeriods, RunsOfACellInLanesMatchTheOctaveAtEverySample) {
  struct Grid {
    double start, step;  // in octave 0's cells
    std::size_t least;   // the fewest samples of a run inside the axis; 0: no runs in lanes
    bool skipping = false;  // instead: three samples in every other cell of octave 1
  };
  // Octave 1's cells are half of octave 0's: 2.7, 5.3 and 11.9 samples to
  // a cell, one below two, and steps backwards.
  const Grid grids[] = {{0.3, 1 / 5.4, 2}, {0.1, 1 / 10.6, 5}, {0.77, 1 / 23.8, 11},
                        {0.3, 1 / 2.6, 0}, {60.3, -1 / 10.6, 0}, {0.1, 1 / 6.0, 0, true}};
  for (std::size_t n = 1; n <= 4; ++n) {
    for (const Grid& grid : grids) {
      std::vector<std::uint64_t> dims(n, 2);
      dims[n - 1] = 64;
      const Field field = *Field::create(dims, 5, {2, 2.0, 0.5, Shape::Smooth, false, false});
      const OctaveGradients gradients = field.gradients(1);
      std::vector<std::vector<AxisPoint>> places(n);
      for (std::size_t i = 0; i < n; ++i) {
        const double step = i + 1 == n ? grid.step : 0.37;
        const int samples = i + 1 == n ? static_cast<int>(20 / std::abs(grid.step)) : 3;
        for (int q = 0; q < samples; ++q) {
          const bool along = i + 1 == n;
          const double x = grid.skipping && along ? q / 3 + (q % 3) * 0.1 + 0.05 : (along ? grid.start : 0.2) + q * step;
          places[i].push_back(field.place(1, i, x));
        }
      }
      for (const Simd simd : {Simd::Sse2, Simd::Avx2, Simd::Avx512}) {
        if (!simd_supported(simd)) continue;
        auto fill = PlacedFill::create(gradients, places, 1, simd);
        ASSERT_TRUE(fill);
        // One axis goes sparse below 4 samples to a cell (no prefix shares a plane).
        const bool sparse = n > 1 || std::abs(grid.step) > 1 / 8.0;
        ASSERT_EQ(fill->plan().sparse, sparse);
        ASSERT_EQ(fill->plan().periodic.period, 0u);
        ASSERT_EQ(fill->plan().cell_runs.least, sparse ? grid.least : 0) << n << " axes, step " << grid.step;
        expect_the_octave_at_every_sample(*fill, gradients, places,
                                          std::to_string(n) + " axes, step " + std::to_string(grid.step) +
                                              ", simd " + std::to_string(int(simd)));
      }
    }
  }
}

}  // namespace
}  // namespace veldra
