// The gradient rule of higher octaves draws its palette evenly, and
// independently at neighbouring lattice points, over blocks of 2^22
// lattice points of 1 to 4 axes, near 0 and far out (where the high 32
// bits of an index take part).
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "field/octave.hpp"

namespace veldra {
namespace {

TEST(OctaveRule, EntriesAreEvenAndNeighboursIndependent) {
  struct Block {
    std::size_t n;
    std::uint64_t origin, seed;
  };
  for (const Block& block : {Block{1, 0, 1}, Block{2, 12345, 99}, Block{3, 0, 0xDEADBEEF12345678},
                             Block{4, 7, 3}, Block{2, (std::uint64_t{1} << 32) - 1000, 5},
                             Block{3, std::uint64_t{3} << 40, 8}}) {
    const std::size_t n = block.n, side = static_cast<std::size_t>(std::llround(std::exp2(22.0 / n)));
    const std::size_t count = static_cast<std::size_t>(std::llround(std::pow(side, n)));
    std::vector<std::size_t> entries(count);
    std::array<double, OCTAVE_PALETTE> drawn{};
    for (std::size_t k = 0; k < count; ++k) {
      std::uint64_t index[4];
      for (std::size_t i = 0, rest = k; i < n; ++i, rest /= side) index[i] = block.origin + rest % side;
      ++drawn[entries[k] = octave_entry(block.seed, index, n)];
    }
    const double mean = static_cast<double>(count) / OCTAVE_PALETTE;
    for (double d : drawn) ASSERT_NEAR(d, mean, 0.05 * mean) << n << " axes";
    // Neighbours share an entry as often as independent draws would
    // (1 / 256), and their gradients' dot products average what independent
    // draws' do: the square of the mean gradient drawn.
    std::vector<double> palette(OCTAVE_PALETTE * n), mean_gradient(n, 0.0);
    SplitMix64 random(block.seed);
    for (std::size_t j = 0; j < OCTAVE_PALETTE; ++j) {
      random.next_unit_vector(std::span<double>(&palette[j * n], n));
      for (std::size_t i = 0; i < n; ++i) mean_gradient[i] += palette[j * n + i] * drawn[j] / count;
    }
    double independent = 0.0;
    for (double g : mean_gradient) independent += g * g;
    for (std::size_t axis = 0, step = 1; axis < n; ++axis, step *= side) {
      double pairs = 0, equal = 0, dots = 0;
      for (std::size_t k = 0; k < count; ++k) {
        if (k / step % side == side - 1) continue;
        const std::size_t a = entries[k], b = entries[k + step];
        pairs += 1, equal += a == b;
        for (std::size_t i = 0; i < n; ++i) dots += palette[a * n + i] * palette[b * n + i];
      }
      EXPECT_NEAR(equal / pairs * OCTAVE_PALETTE, 1.0, 0.1) << "axis " << axis << " of " << n;
      EXPECT_NEAR(dots / pairs, independent, 0.01) << "axis " << axis << " of " << n;
    }
  }
}

}  // namespace
}  // namespace veldra
