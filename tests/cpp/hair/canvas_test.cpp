#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "support/test_support.hpp"

#include "hair/detail/canvas.hpp"

namespace veldra {
namespace {

using test::field_of;

constexpr LinearRgb kBlack = {0.0f, 0.0f, 0.0f};

std::vector<Canvas> cut(std::uint64_t width, std::uint64_t height, std::size_t threads) {
  auto canvases = Canvas::bands(width, height, threads);
  EXPECT_TRUE(canvases);
  if (canvases) {
    for (Canvas& c : *canvases) c.clear(kBlack);
  }
  return canvases ? std::move(*canvases) : std::vector<Canvas>{};
}

std::vector<std::uint64_t> band_rows(std::uint64_t height, std::size_t threads) {
  std::vector<std::uint64_t> rows;
  std::uint64_t top = 0;
  for (const Canvas& c : cut(3, height, threads)) {
    EXPECT_EQ(c.top, top);
    EXPECT_EQ(c.pixels, CanvasPixels(c.rows * 3, kBlack));
    rows.push_back(c.rows);
    top += c.rows;
  }
  return rows;
}

TEST(Canvas, BandsShareTheRowsAmongThreads) {
  EXPECT_EQ(band_rows(1000, 8), std::vector<std::uint64_t>(8, 125));
  EXPECT_EQ(band_rows(100, 8), (std::vector<std::uint64_t>{50, 50}));
  EXPECT_EQ(band_rows(65, 2), (std::vector<std::uint64_t>{33, 32}));
  EXPECT_EQ(band_rows(64, 8), std::vector<std::uint64_t>{64});
  EXPECT_EQ(band_rows(1, 8), std::vector<std::uint64_t>{1});
}

TEST(Canvas, DevelopEncodesClampedLinearLight) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  std::vector<std::uint8_t> bytes(6);
  Canvas{{{0.0f, 1.0f, 2.0f}, {nan, 0.5f, -1.0f}}, 2, 0, 1}.develop(bytes);
  EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0, 255, 255, 0, 188, 0}));
}

TEST(Canvas, TaperedAndThinStrokesKeepTheirWidthAndOpacity) {
  Hair hair;
  hair.opacity = 1.0;
  const Look look = Look::of(hair, std::nullopt, 10, 5);
  // Two segments along row 2's centres; with the default light, sin is
  // about sqrt(0.5) for both.
  const LinearRgb color = look.color(std::sqrt(0.5), 1.0f, {5.0, 2.5});
  const struct {
    double radius, taper;
    float on_line, next_row;  // opacity at pixels (2, 2) and (2, 1)
  } cases[] = {
      {1.0, 0.0, 1.0f, 0.5f},  // radius 1.5 covers the next row's centre by half
      {1.0, 0.5, 1.0f, 0.0f},  // tapered to width 0.5: radius 1
      {0.2, 0.0, 0.4f, 0.0f},  // thin: radius 1 at opacity 2 x 0.2
      {0.6, 0.5, 0.6f, 0.0f},  // tapered to 0.3, then thin
  };
  for (const auto& c : cases) {
    hair.taper = c.taper;
    const StrandPoint points[] = {{0.5f, 2.5f}, {5.5f, 2.5f}, {9.5f, 2.5f}};
    Strand s{points, c.radius, 2.5, 2.5, 0.0f, 1.0f};
    std::vector<Canvas> canvases = cut(10, 5, 1);
    canvases[0].comb(std::span(&s, 1), std::vector<std::uint64_t>{0}, hair, look);
    const auto& px = canvases[0].pixels;
    EXPECT_FLOAT_EQ(px[22][0], color[0] * c.on_line) << c.radius << ", " << c.taper;
    EXPECT_FLOAT_EQ(px[12][0], color[0] * c.next_row) << c.radius << ", " << c.taper;
    EXPECT_EQ(px[2], kBlack);
  }
}

TEST(Canvas, AStrokeWiderThanTheThicknessPaintsEveryRowItCovers) {
  // Radius 6 (stroke radius 6.5) at y = 29.5, in one band of 64 rows: rows
  // 23 to 35 have their centres within reach, rows 22 and 36 do not.
  Hair hair;
  hair.taper = 0.0;
  const Look look = Look::of(hair, std::nullopt, 48, 64);
  const StrandPoint points[] = {{5.5f, 29.5f}, {40.5f, 29.5f}};
  Strand wide{points, 6.0, 29.5, 29.5, 0.0f, 1.0f};
  std::vector<Canvas> canvases = cut(48, 64, 1);
  ASSERT_EQ(canvases.size(), 1u);
  canvases[0].comb(std::span(&wide, 1), std::vector<std::uint64_t>{0}, hair, look);
  for (std::uint64_t row = 0; row < 64; ++row) {
    const bool covered = row >= 23 && row <= 35;
    EXPECT_EQ(canvases[0].pixels[row * 48 + 20] != kBlack, covered) << row;
  }
}

TEST(Canvas, StrandsWithoutLengthDrawNothing) {
  const Instance field = field_of({4, 4});
  Hair hair;
  hair.force = 0.0;
  const StrandPoint alone{5.0f, 5.0f};
  std::vector<Strand> strands = {Strand{std::span(&alone, 1), 2.0, 5.0, 5.0, 0.0f, 1.0f}};
  PointStore store;
  for (std::uint64_t i = 0; i < 50; ++i) strands.push_back(grow_strand(field, hair, i, {8.0, 8.0}, store));
  std::vector<std::uint64_t> order(strands.size());
  for (std::uint64_t i = 0; i < order.size(); ++i) order[i] = i;
  std::vector<Canvas> canvases = cut(32, 32, 1);
  canvases[0].comb(strands, order, hair, Look::of(hair, std::nullopt, 32, 32));
  EXPECT_EQ(canvases[0].pixels, CanvasPixels(32 * 32, kBlack));
}

TEST(Canvas, CombingIntoBandsMatchesOneFullHeightBand) {
  const Instance field = field_of({3, 3}, 11);
  Hair hair;
  hair.light = {0.3, -1.0};
  std::vector<Strand> strands;
  std::vector<std::uint64_t> order;
  PointStore store;
  for (std::uint64_t i = 0; i < 300; ++i) {
    strands.push_back(grow_strand(field, hair, i, {30.0, 130.0 / 3.0}, store));
    order.push_back(299 - i);
  }
  const Look look = Look::of(hair, std::nullopt, 90, 130);
  auto combed = [&](std::size_t threads) {
    std::vector<LinearRgb> pixels;
    std::vector<Canvas> canvases = cut(90, 130, threads);
    EXPECT_EQ(canvases.size(), threads);
    for (Canvas& c : canvases) {
      c.comb(strands, order, hair, look);
      pixels.insert(pixels.end(), c.pixels.begin(), c.pixels.end());
    }
    return pixels;
  };
  const std::vector<LinearRgb> whole = combed(1);
  const std::vector<LinearRgb> banded = combed(3);
  EXPECT_EQ(banded, whole);
  EXPECT_NE(whole, std::vector(90 * 130, kBlack));
}

}  // namespace
}  // namespace veldra
