#include "image/detail/normalize.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <vector>

#include "support/test_support.hpp"

namespace veldra {
namespace {
using test::refuse_to_start;

constexpr std::size_t kWorkerCounts[] = {1, 2, 3, 7};
constexpr std::uint64_t kCount = SERIAL_LIMIT + 1001;  // two runs, 17 pieces of up to 1024

// Bits, so that +0 and -0 (and NaN) tell apart.
std::vector<std::uint64_t> bits_of(const Range& range) {
  return {std::bit_cast<std::uint64_t>(range.lo), std::bit_cast<std::uint64_t>(range.hi)};
}

Range added_one_by_one(const std::vector<double>& values) {
  Range range;
  for (double v : values) range.add(v);
  return range;
}

StridedValues all_of(const std::vector<double>& values) {
  return {values.data(), values.size(), 1};
}

// Value lists whose range depends on which of several equal extremes is
// kept: zeros of both signs, first one sign then the other so that merging
// chunks out of order would keep the wrong one, among NaN values and a
// spread of ordinary ones.
std::vector<std::vector<double>> tricky_lists() {
  std::vector<double> waves(kCount), signed_zeros(kCount), zero_floor(kCount), nans(kCount, NAN);
  for (std::uint64_t i = 0; i < kCount; ++i) {
    const bool early = i < kCount / 2;
    waves[i] = i % 97 == 0 ? NAN : std::sin(static_cast<double>(i) * 0.37) * 1e3;
    signed_zeros[i] = i % 5 == 0 ? NAN : (early ? 0.0 : -0.0);
    zero_floor[i] = i % 3 == 0 ? (early ? -0.0 : 0.0) : static_cast<double>(i % 11);
  }
  nans[kCount - 1] = -0.0;  // one usable value, in the last chunk
  return {waves, signed_zeros, zero_floor, nans};
}

TEST(Normalize, ChunkedRangeKeepsTheBitsOfOnePass) {
  for (const std::vector<double>& values : tricky_lists()) {
    const auto expected = bits_of(added_one_by_one(values));
    for (std::size_t workers : kWorkerCounts) {
      Range range;
      ASSERT_TRUE(widen(range, all_of(values), workers));
      EXPECT_EQ(bits_of(range), expected) << workers;
    }
  }
}

TEST(Normalize, ChunkedMappingsWriteTheBytesOfOneChunk) {
  for (const std::vector<double>& values : tricky_lists()) {
    const Range range = added_one_by_one(values);
    // Every third value into every third byte, as for one colour channel.
    const StridedValues third{values.data() + 1, values.size() / 3, 3};
    std::vector<std::uint8_t> one_bytes(values.size(), 7), one_colors(3 * values.size());
    ASSERT_TRUE(fill_bytes(range, third, one_bytes.data(), 3, 1));
    ASSERT_TRUE(fill_colors(range, all_of(values), Palette::Terrain, one_colors.data(), 1));
    for (std::size_t workers : kWorkerCounts) {
      std::vector<std::uint8_t> bytes(values.size(), 7), colors(3 * values.size());
      ASSERT_TRUE(fill_bytes(range, third, bytes.data(), 3, workers));
      ASSERT_TRUE(fill_colors(range, all_of(values), Palette::Terrain, colors.data(), workers));
      EXPECT_EQ(bytes, one_bytes) << workers;
      EXPECT_EQ(colors, one_colors) << workers;
    }
  }
}

TEST(Normalize, SmallPassesNeedNoThreadAndRefusedThreadsAreErrors) {
  const std::vector<double> values = tricky_lists()[0];
  const std::vector<double> small(values.begin(), values.begin() + SERIAL_LIMIT - 1);
  Range range;
  EXPECT_TRUE(widen(range, all_of(small), 2, &refuse_to_start));
  std::vector<std::uint8_t> colors(3 * values.size());
  EXPECT_TRUE(fill_colors(range, all_of(small), Palette::Gray, colors.data(), 2, &refuse_to_start));

  auto widened = widen(range, all_of(values), 2, &refuse_to_start);
  ASSERT_FALSE(widened);
  EXPECT_EQ(widened.error().kind, ErrorKind::Internal);
  auto filled =
      fill_colors(range, all_of(values), Palette::Gray, colors.data(), 2, &refuse_to_start);
  ASSERT_FALSE(filled);
  EXPECT_EQ(filled.error().kind, ErrorKind::Internal);
}

}  // namespace
}  // namespace veldra
