// The vector forms of the shading are inlined into the AVX2 function
// below, so no vector crosses a call and the ABI note that the baseline
// build would give for them does not apply.
#pragma GCC diagnostic ignored "-Wpsabi"

#include "image/detail/relief_shading.hpp"

#include <algorithm>
#include <cstring>

namespace veldra {
namespace {

typedef double Lanes4 __attribute__((vector_size(4 * sizeof(double))));

// One row's neighbours: the rows above and below pixel row i (clipped to
// the image) and the slope's spacing between them.
struct RowAround {
  const double* above;
  const double* row;
  const double* below;
  std::uint64_t steps;  // rows between above and below: 0, 1 or 2
  double between;       // spacing_of(steps, sy)

  RowAround(const Shading& s, std::uint64_t i) {
    const HeightWindow& w = s.heights;
    const std::uint64_t i0 = i > 0 ? i - 1 : 0;
    const std::uint64_t i1 = std::min(i + 1, w.image_rows - 1);
    above = w.row(i0);
    row = w.row(i);
    below = w.row(i1);
    steps = i1 - i0;
    between = spacing_of(steps, s.sy);
  }
};

// The bytes of the pixel at window column x (image column j).
void shade_pixel(const Shading& s, const RowAround& r, std::uint64_t x, std::uint64_t j,
                 std::uint8_t* out) {
  const HeightWindow& w = s.heights;
  const std::uint64_t x0 = j > 0 ? x - 1 : x;
  const std::uint64_t x1 = j < w.image_cols - 1 ? x + 1 : x;
  const double gy = slope(r.above[x], r.below[x], r.steps, r.between);
  const double gx = slope(r.row[x0], r.row[x1], x1 - x0, spacing_of(x1 - x0, s.sx));
  const double height = r.row[x];
  const PixelTerms<double> t = pixel_terms(s, gx, gy, height);
  const Rgb base = color(s.palette, height);
  const double lin[3] = {s.linear[base[0]], s.linear[base[1]], s.linear[base[2]]};
  lit_bytes(s.encode, s.power, t.x, t.p, t.a, t.k, lin, out);
}

// Four pixels at window columns x .. x + 3, none on the image's edge
// columns, one per lane: per lane the steps of shade_pixel. Inlined into
// the AVX2 loop below, for which it is compiled.
[[gnu::always_inline]] inline void shade_four(const Shading& s, const RowAround& r, double between_x,
                                              std::uint64_t x, std::uint8_t* out) {
  Lanes4 above, below, left, right, height;
  std::memcpy(&above, r.above + x, sizeof above);
  std::memcpy(&below, r.below + x, sizeof below);
  std::memcpy(&left, r.row + x - 1, sizeof left);
  std::memcpy(&right, r.row + x + 1, sizeof right);
  std::memcpy(&height, r.row + x, sizeof height);
  const Lanes4 gy = slope(above, below, r.steps, r.between);
  const Lanes4 gx = slope(left, right, 2, between_x);
  const PixelTerms<Lanes4> t = pixel_terms(s, gx, gy, height);

  double lin[3][4];
  for (std::size_t lane = 0; lane < 4; ++lane) {
    const Rgb base = color(s.palette, height[lane]);
    for (std::size_t c = 0; c < 3; ++c) lin[c][lane] = s.linear[base[c]];
  }
  const bool whole = s.power.whole();
  Lanes4 q;
  Channel<Lanes4> lanes[3];
  if (whole) {
    q = s.power.squared(t.x);
    for (std::size_t c = 0; c < 3; ++c) {
      Lanes4 l;
      std::memcpy(&l, lin[c], sizeof l);
      lanes[c] = channel(q, t.p, t.a, t.k, l);
    }
  }
  for (std::size_t lane = 0; lane < 4; ++lane, out += 3) {
    if (whole && HighlightPower::stands_for_pow(q[lane], t.x[lane])) {
      const Channel<double> channels[3] = {{lanes[0].value[lane], lanes[0].margin[lane]},
                                           {lanes[1].value[lane], lanes[1].margin[lane]},
                                           {lanes[2].value[lane], lanes[2].margin[lane]}};
      if (settled_bytes(s.encode, channels, out)) continue;
    }
    const double own[3] = {lin[0][lane], lin[1][lane], lin[2][lane]};
    pow_bytes(s.encode, s.power, t.x[lane], t.p[lane], t.a[lane], t.k[lane], own, out);
  }
}

// The `groups` runs of four pixels from window column x on, in AVX2 lanes.
[[gnu::target("avx2")]] void shade_fours(const Shading& s, const RowAround& r, std::uint64_t x,
                                         std::uint64_t groups, std::uint8_t* out) {
  const double between_x = spacing_of(2, s.sx);
  for (std::uint64_t g = 0; g < groups; ++g, x += 4, out += 12) shade_four(s, r, between_x, x, out);
}

}  // namespace

Shading Shading::of(const HeightWindow& window, const Relief& settings,
                    std::span<const std::uint64_t> divisors) {
  const Vec3 light = unit_or_up({settings.light[0], settings.light[1], settings.light[2]});
  return Shading{window,
                 settings,
                 light,
                 half_vector(light),
                 1.0 / static_cast<double>(divisors[0]),
                 1.0 / static_cast<double>(divisors[1]),
                 EncodedSteps::table(),
                 palette_stops(settings.palette),
                 linear_from_bytes(),
                 HighlightPower(settings.gloss)};
}

void shade_row(const Shading& s, std::uint64_t i, std::uint64_t first, std::uint64_t end,
               std::uint8_t* out, Simd simd) {
  const HeightWindow& w = s.heights;
  const RowAround around(s, i);
  std::uint64_t j = first;
  // The interior columns [1, image_cols - 1) four at a time.
  if (simd != Simd::Sse2 && w.image_cols > 2) {
    if (j == 0 && j < end) {
      shade_pixel(s, around, j - w.left, j, out);
      ++j;
      out += 3;
    }
    const std::uint64_t interior_end = std::min(end, w.image_cols - 1);
    if (j < interior_end) {
      const std::uint64_t groups = (interior_end - j) / 4;
      shade_fours(s, around, j - w.left, groups, out);
      j += groups * 4;
      out += groups * 12;
    }
  }
  for (; j < end; ++j, out += 3) shade_pixel(s, around, j - w.left, j, out);
}

}  // namespace veldra
