// The gradient rule of higher octaves draws its palette evenly and
// independently at neighbouring lattice points, for blocks of 2^22 lattice
// points of 1 to 4 axes, near 0 and far out (where the high 32 bits of an
// index take part).
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "field/octave.hpp"

namespace veldra {
namespace {

struct Block {
  std::size_t n;
  std::uint64_t origin;
  std::uint64_t seed;
};

TEST(OctaveRule, EntriesAreEvenAndNeighboursIndependent) {
  for (const Block& block : {Block{1, 0, 1}, Block{2, 12345, 99}, Block{3, 0, 0xDEADBEEF12345678},
                             Block{4, 7, 3}, Block{2, (std::uint64_t{1} << 32) - 1000, 5},
                             Block{3, std::uint64_t{3} << 40, 8}}) {
    const std::size_t side = static_cast<std::size_t>(std::llround(std::pow(2.0, 22.0 / block.n)));
    std::size_t count = 1;
    for (std::size_t i = 0; i < block.n; ++i) count *= side;
    std::vector<unsigned char> entries(count);
    std::array<std::uint64_t, OCTAVE_PALETTE> drawn{};
    for (std::size_t k = 0; k < count; ++k) {
      std::uint64_t index[4];
      for (std::size_t i = 0, rest = k; i < block.n; ++i, rest /= side) {
        index[i] = block.origin + rest % side;
      }
      entries[k] = static_cast<unsigned char>(octave_entry(block.seed, index, block.n));
      ++drawn[entries[k]];
    }
    const double mean = static_cast<double>(count) / OCTAVE_PALETTE;
    for (std::uint64_t d : drawn) {
      ASSERT_NEAR(static_cast<double>(d), mean, 0.05 * mean) << "block of " << block.n << " axes";
    }
    // Neighbours along each axis share an entry as often as independent
    // draws would (1 / 256), and their gradients' dot products average what
    // independent draws' do: the square of the mean gradient drawn.
    SplitMix64 random(block.seed);
    std::vector<double> palette(OCTAVE_PALETTE * block.n);
    for (std::size_t j = 0; j < OCTAVE_PALETTE; ++j) {
      random.next_unit_vector(std::span<double>(palette.data() + j * block.n, block.n));
    }
    std::vector<double> mean_gradient(block.n, 0.0);
    for (std::size_t j = 0; j < OCTAVE_PALETTE; ++j) {
      for (std::size_t i = 0; i < block.n; ++i) {
        mean_gradient[i] += palette[j * block.n + i] * static_cast<double>(drawn[j]) / static_cast<double>(count);
      }
    }
    double independent = 0.0;
    for (double g : mean_gradient) independent += g * g;
    for (std::size_t axis = 0, step = 1; axis < block.n; ++axis, step *= side) {
      std::uint64_t pairs = 0, equal = 0;
      double dots = 0.0;
      for (std::size_t k = 0; k < count; ++k) {
        if (k / step % side == side - 1) continue;
        ++pairs;
        equal += entries[k] == entries[k + step];
        for (std::size_t i = 0; i < block.n; ++i) {
          dots += palette[entries[k] * block.n + i] * palette[entries[k + step] * block.n + i];
        }
      }
      const double rate = static_cast<double>(equal) / static_cast<double>(pairs) * OCTAVE_PALETTE;
      EXPECT_NEAR(rate, 1.0, 0.1) << "axis " << axis << " of " << block.n;
      EXPECT_NEAR(dots / static_cast<double>(pairs), independent, 0.01) << "axis " << axis << " of " << block.n;
    }
  }
}

}  // namespace
}  // namespace veldra
