#include "image/detail/relief_shading.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "base/splitmix64.hpp"

namespace veldra {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// Heights of an image: mostly smooth, with flats, steps, the values
// outside 0..1 that a height can never be but the shading must still
// take, and NaN.
std::vector<double> heights_of(std::uint64_t rows, std::uint64_t cols, std::uint64_t seed) {
  SplitMix64 random(seed);
  std::vector<double> h(rows * cols);
  for (std::uint64_t k = 0; k < h.size(); ++k) {
    const double r = random.next_f64();
    h[k] = r < 0.04   ? kNaN
           : r < 0.06 ? (random.next_f64() < 0.5 ? kInf : -kInf)
           : r < 0.10 ? 0.5
           : r < 0.13 ? -3.0 * random.next_f64()
           : r < 0.16 ? 1e300
                      : 0.5 + 0.5 * std::sin(0.37 * static_cast<double>(k % cols)) *
                                    std::cos(0.23 * static_cast<double>(k / cols)) +
                            0.01 * random.next_f64();
  }
  return h;
}

struct Look {
  const char* name;
  void (*set)(Relief&);
};

const Look kLooks[] = {
    {"default", [](Relief&) {}},
    {"gloss not whole", [](Relief& r) { r.gloss = 79.5; }},
    {"gloss 1", [](Relief& r) { r.gloss = 1.0; }},
    {"gloss 1024, terrain", [](Relief& r) {
       r.gloss = 1024.0;
       r.palette = Palette::Terrain;
     }},
    {"steep, light low", [](Relief& r) {
       r.height = 40.0;
       r.light = {1.0, 0.2, 0.05};
     }},
    {"negative height, light from behind", [](Relief& r) {
       r.height = -2.0;
       r.light = {0.3, -0.1, -1.0};
     }},
    {"NaN light, no specular", [](Relief& r) {
       r.light = {kNaN, 0.0, 0.0};
       r.specular = 0.0;
     }},
};

TEST(ReliefShading, FourPixelsAtATimeGiveTheBytesOfOneAtATime) {
  if (!simd_supported(Simd::Avx2)) GTEST_SKIP() << "no AVX2 here";
  const std::uint64_t sizes[][2] = {{1, 1}, {1, 3}, {2, 2}, {3, 7}, {5, 9}, {4, 37}, {9, 130}};
  const std::uint64_t divisors[][2] = {{1, 1}, {7, 5}, {256, 256}};
  std::uint64_t seed = 1;
  for (const Look& look : kLooks) {
    Relief settings;
    look.set(settings);
    for (const auto& size : sizes) {
      const std::uint64_t rows = size[0];
      const std::uint64_t cols = size[1];
      std::vector<double> h = heights_of(rows, cols, seed++);
      const HeightWindow window{h.data(), 0, 0, rows, cols, rows, cols};
      for (const auto& d : divisors) {
        const Shading shading = Shading::of(window, settings, d);
        for (std::uint64_t i = 0; i < rows; ++i) {
          // The whole row, and runs that start and end inside it.
          for (const auto& [first, end] : {std::pair<std::uint64_t, std::uint64_t>{0, cols},
                                           {cols / 3, cols - cols / 4}, {1 % cols, cols}}) {
            std::vector<std::uint8_t> one((end - first) * 3), four((end - first) * 3);
            shade_row(shading, i, first, end, one.data(), Simd::Sse2);
            shade_row(shading, i, first, end, four.data(), Simd::Avx2);
            ASSERT_EQ(four, one) << look.name << ", " << rows << " x " << cols << ", divisors " << d[0]
                                 << " x " << d[1] << ", row " << i << ", columns " << first << " to "
                                 << end;
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace veldra
