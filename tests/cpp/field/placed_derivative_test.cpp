// The derivative form of an octave's general walk against the octave's
// derivative at each sample (OctaveGradients::derivative_in), bit for bit,
// and its value column against the walk's noise: 1 to 5 axes, samples
// finer and coarser than the cells, boxes away from the origin, wrapped and
// without walls, runs that cut rows, on every instruction set, for the
// stored lattice and a palette.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "field/field.hpp"
#include "table/detail/placed_fill.hpp"

namespace veldra {
namespace {

// The one place a test field is made: with walls, wrapping on every
// axis, or without walls.
enum class Kind { Walls, Wrapped, Open };
Field field_of(std::size_t n, std::uint64_t cells, Kind kind) {
  return *Field::create(std::vector<std::uint64_t>(n, cells), 11,
                        {2, 2.0, 0.5, Shape::Smooth, kind == Kind::Wrapped, kind == Kind::Open});
}

struct Pattern {
  double start, step;  // in octave 0's cells
  Kind kind;
};

TEST(PlacedDerivative, MatchesTheOctaveDerivativeAtEverySample) {
  // Samples per axis for 1 to 5 axes.
  const std::uint64_t sides[] = {61, 23, 11, 7, 4};
  // 8 samples per cell off the origin, 1.25 from an intersection (every
  // fifth on one), below one, the last samples on the top boundary; across
  // a wrapped field's end, and far below the origin of one without walls.
  const Pattern patterns[] = {{3.3, 0.125, Kind::Walls},   {0.0, 0.8, Kind::Walls},
                              {1.7, 1.37, Kind::Walls},    {0.5, 0.5, Kind::Walls},
                              {1.1, 0.3, Kind::Wrapped},   {-1e9 - 0.3, 0.7, Kind::Open}};
  for (std::size_t n = 1; n <= 5; ++n) {
    const std::uint64_t side = sides[n - 1];
    for (const Pattern& pattern : patterns) {
      const double reach = std::max(pattern.start + pattern.step * (side - 1.0), 2.0);
      // A wrapped field of about half the reach, so that the samples wrap.
      const auto cells =
          static_cast<std::uint64_t>(reach) / (pattern.kind == Kind::Wrapped ? 2 : 1);
      const Field field = field_of(n, pattern.step == 0.5 ? cells : cells + 1, pattern.kind);
      for (std::size_t k = 0; k < 2; ++k) {
        const OctaveGradients gradients = field.gradients(k);
        std::vector<std::vector<AxisPoint>> places(n);
        for (std::size_t i = 0; i < n; ++i) {
          for (std::uint64_t q = 0; q < side; ++q) {
            const double x = pattern.start + pattern.step * static_cast<double>(q);
            places[i].push_back(field.place(k, i, x));
          }
        }
        std::uint64_t count = 1;
        for (std::size_t i = 0; i < n; ++i) count *= side;
        for (const Simd simd : {Simd::Sse2, Simd::Avx2, Simd::Avx512}) {
          if (!simd_supported(simd)) continue;
          auto fill = PlacedFill::create(gradients, places, 1, simd);
          ASSERT_TRUE(fill);
          // The whole box, and a run from mid-row to mid-row.
          for (const auto& [begin, end] : {std::pair{std::uint64_t{0}, count},
                                          std::pair{side / 2 + 1, count - side / 3 - 1}}) {
            const std::size_t width = n + 1;
            // A guard on either side catches writes outside the run.
            std::vector<double> both((end - begin + 2) * width, -7.0), values(end - begin);
            fill->fill_derivative(0, begin, end, both.data() + width);
            fill->fill(0, begin, end, values.data());
            ASSERT_EQ(both[width - 1], -7.0);
            ASSERT_EQ(both[both.size() - width], -7.0);
            for (std::uint64_t t = begin; t < end; ++t) {
              std::uint64_t lowest[MAX_DIMS];
              Sides at[MAX_DIMS];
              double expected[MAX_DIMS + 1];
              for (std::size_t i = n, rest = t; i-- > 0; rest /= side) {
                lowest[i] = places[i][rest % side].cell;
                at[i] = places[i][rest % side].sides;
              }
              expected[n] = gradients.derivative_in<0>(lowest, at, expected);
              const double* got = both.data() + (t - begin + 1) * width;
              ASSERT_EQ(std::memcmp(got, expected, width * sizeof(double)), 0)
                  << n << " axes, pattern " << pattern.start << " + q * " << pattern.step
                  << " of kind " << int(pattern.kind) << ", octave " << k << ", simd "
                  << int(simd) << ", sample " << t;
              ASSERT_EQ(std::memcmp(got + n, &values[t - begin], sizeof(double)), 0)
                  << "sample " << t;
            }
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace veldra
