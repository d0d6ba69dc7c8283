#include <algorithm>
#include <cmath>

#include "base/interruption.hpp"
#include "hair/detail/canvas.hpp"
#include "hair/detail/saturate.hpp"
#include "hair/detail/stroke.hpp"

namespace veldra {
namespace {

struct Direction {
  double x;
  double y;
};

// (x, y) divided by its length, or (1, 0) when it has none or it is not finite.
Direction unit(double x, double y) {
  const double len2 = x * x + y * y;
  const double len = std::sqrt(len2);
  if (len2 > 0.0 && std::isfinite(len)) return {x / len, y / len};
  return {1.0, 0.0};
}

// Image rows [top, end) of a canvas, combed together: few enough that
// their pixels stay in the processor's cache while every strand that
// crosses them is drawn.
struct Slab {
  std::uint64_t top;
  std::uint64_t end;
};

constexpr std::uint64_t kSlabRows = 32;

// Strands drawn into a slab between two looks at stop_requested(): a few
// milliseconds of drawing at most.
constexpr std::size_t kStrandsPerLook = 4096;

// Whether `s` can leave a mark on `slab`: it has a length and an opacity
// and its bounding box, widened by its radius, meets the slab's rows and
// the canvas's columns.
bool reaches(const Canvas& canvas, Slab slab, const Stroke& s) {
  return std::max(s.x0, s.x1) + s.radius >= 0.0 && s.len2 > 0.0 &&
         std::min(s.y0, s.y1) - s.radius < static_cast<double>(slab.end) &&
         std::max(s.y0, s.y1) + s.radius >= static_cast<double>(slab.top) && s.alpha > 0.0 &&
         std::min(s.x0, s.x1) - s.radius < static_cast<double>(canvas.width);
}

// Blends `color` into the pixels of `slab` that `s` covers; `s` reaches
// the slab. Only the columns of each row within the stroke's reach are
// visited: the others have no coverage.
void blend(Canvas& canvas, Slab slab, const Stroke& s, const LinearRgb& color) {
  const std::uint64_t row_first =
      floor_at_least(std::min(s.y0, s.y1) - s.radius, static_cast<double>(slab.top));
  const std::uint64_t row_last =
      ceil_at_most(std::max(s.y0, s.y1) + s.radius, static_cast<double>(slab.end - 1));
  const std::uint64_t col_first = floor_at_least(std::min(s.x0, s.x1) - s.radius, 0.0);
  const std::uint64_t col_last =
      ceil_at_most(std::max(s.x0, s.x1) + s.radius, static_cast<double>(canvas.width - 1));
  const double first_centre = static_cast<double>(col_first) + 0.5;
  const double last_centre = static_cast<double>(col_last) + 0.5;

  for (std::uint64_t y = row_first; y <= row_last; ++y) {
    const double py = static_cast<double>(y) + 0.5;
    // The columns whose centres lie within reach, clipped to the rectangle;
    // reach is never NaN.
    const std::array<double, 2> reach = s.reach(py);
    if (!(reach[0] <= last_centre && reach[1] >= first_centre)) continue;
    const double low = std::max(reach[0], first_centre) - 0.5;  // non-negative
    std::uint64_t first = static_cast<std::uint64_t>(low);
    if (static_cast<double>(first) < low) ++first;
    const std::uint64_t last = static_cast<std::uint64_t>(std::min(reach[1], last_centre) - 0.5);
    LinearRgb* row = canvas.pixels.data() + (y - canvas.top) * canvas.width;
    for (std::uint64_t x = first; x <= last; ++x) {
      const double k = s.coverage(static_cast<double>(x) + 0.5, py);
      if (k > 0.0) {
        const float a = static_cast<float>(s.alpha * k);
        LinearRgb& p = row[x];
        for (int c = 0; c < 3; ++c) p[c] = p[c] + (color[c] - p[c]) * a;
      }
    }
  }
}

// Draws the segments of `strand` that reach `slab`.
void comb_strand(Canvas& canvas, Slab slab, const Strand& strand, const Hair& hair, const Look& look,
                 Direction light) {
  // No segment's stroke radius exceeds `widest`, so a segment farther than
  // that from the slab cannot reach it.
  const double widest = std::max(1.0, strand.radius + 0.5);
  const double slab_top = static_cast<double>(slab.top);
  const double slab_end = static_cast<double>(slab.end);
  const std::size_t m = strand.points.size() - 1;
  for (std::size_t j = 0; j < m; ++j) {
    const double y0 = strand.points[j][1];
    const double y1 = strand.points[j + 1][1];
    if (std::min(y0, y1) - widest >= slab_end || std::max(y0, y1) + widest < slab_top) continue;
    double w = strand.radius;
    if (hair.taper > 0.0) {
      const double t = (static_cast<double>(j) + 0.5) / static_cast<double>(m);
      w = strand.radius * std::min(std::min(t / hair.taper, (1.0 - t) / hair.taper), 1.0);
    }
    // A stroke thinner than a pixel is drawn a pixel wide and fainter.
    const bool thin = w < 0.5;
    const Stroke s = Stroke::between(strand.points[j][0], y0, strand.points[j + 1][0], y1,
                                     thin ? 1.0 : w + 0.5, hair.opacity * (thin ? 2.0 * w : 1.0));
    if (!reaches(canvas, slab, s)) continue;

    const double cos = light.x * s.ux + light.y * s.uy;
    // fmin(sqrt(fmax(1 - cos^2, 0)), 1) by comparisons: 1 - cos^2 is never
    // -0 and at most 1, so only a NaN or a negative becomes 0, and the
    // root, at most 1, is never capped.
    const double across = 1.0 - cos * cos;
    const double sin = std::sqrt(across > 0.0 ? across : 0.0);
    blend(canvas, slab, s, look.color(sin, strand.shade, {(s.x0 + s.x1) * 0.5, (s.y0 + s.y1) * 0.5}));
  }
}

}  // namespace

void Canvas::comb(std::span<const Strand> strands, std::span<const std::uint64_t> order,
                  const Hair& hair, const Look& look) {
  const Direction light = unit(hair.light[0], hair.light[1]);
  if (order.empty() || width == 0) return;
  const double margin = hair.thickness * 0.5 + 1.0;
  const double y_lo = static_cast<double>(top) - margin;
  const double y_hi = static_cast<double>(top + rows) + margin;

  // Slab by slab: every pixel still receives the same blends in the same
  // order, as each segment blends each pixel on its own. A strand is passed
  // over for the band as a whole, and for a slab when even its widest
  // stroke cannot reach the slab's pixel centres.
  for (std::uint64_t slab_top = top; slab_top < top + rows; slab_top += kSlabRows) {
    const Slab slab{slab_top, std::min(slab_top + kSlabRows, top + rows)};
    for (std::size_t first = 0; first < order.size(); first += kStrandsPerLook) {
      if (stop_requested()) return;
      for (std::uint64_t index : order.subspan(first, std::min(kStrandsPerLook, order.size() - first))) {
        const Strand& strand = strands[index];
        if (strand.bottom < y_lo || strand.top > y_hi || strand.points.size() < 2) continue;
        const double reach = std::max(1.0, strand.radius + 0.5) + 0.5;
        if (strand.bottom < static_cast<double>(slab.top) - reach ||
            strand.top > static_cast<double>(slab.end) + reach) {
          continue;
        }
        comb_strand(*this, slab, strand, hair, look, light);
      }
    }
  }
}

}  // namespace veldra
