#include <algorithm>
#include <cmath>

#include "hair/canvas.hpp"
#include "hair/saturate.hpp"

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

// One segment of a strand as it is stroked: its ends, its stroke radius and
// opacity, and its colour.
struct Stroke {
  double x0, y0, x1, y1;
  double dx, dy, len2;
  double radius;  // Rd: the thin-stroke radius of at least 1, else w + 0.5
  double alpha;
  LinearRgb color;
};

// Blends `stroke` into the pixels of `canvas` within reach of it.
void blend(Canvas& canvas, const Stroke& s) {
  const double band_end = static_cast<double>(canvas.top + canvas.rows);
  if (!(std::max(s.x0, s.x1) + s.radius >= 0.0 && s.len2 > 0.0 &&
        std::min(s.y0, s.y1) - s.radius < band_end &&
        std::max(s.y0, s.y1) + s.radius >= static_cast<double>(canvas.top) && s.alpha > 0.0 &&
        std::min(s.x0, s.x1) - s.radius < static_cast<double>(canvas.width))) {
    return;
  }
  const std::uint64_t row_first = saturating_u64(
      std::fmax(std::floor(std::min(s.y0, s.y1) - s.radius), static_cast<double>(canvas.top)));
  const std::uint64_t row_last = saturating_u64(
      std::fmin(std::ceil(std::max(s.y0, s.y1) + s.radius),
                static_cast<double>(canvas.top + canvas.rows - 1)));
  const std::uint64_t col_first =
      saturating_u64(std::fmax(std::floor(std::min(s.x0, s.x1) - s.radius), 0.0));
  const std::uint64_t col_last = saturating_u64(std::fmin(
      std::ceil(std::max(s.x0, s.x1) + s.radius), static_cast<double>(canvas.width - 1)));

  for (std::uint64_t y = row_first; y <= row_last; ++y) {
    const double py = static_cast<double>(y) + 0.5;
    LinearRgb* row = canvas.pixels.data() + (y - canvas.top) * canvas.width;
    for (std::uint64_t x = col_first; x <= col_last; ++x) {
      const double px = static_cast<double>(x) + 0.5;
      const double t = std::clamp((s.dy * (py - s.y0) + s.dx * (px - s.x0)) / s.len2, 0.0, 1.0);
      const double ex = px - (s.dx * t + s.x0);
      const double ey = py - (s.dy * t + s.y0);
      const double dist = std::sqrt(ex * ex + ey * ey);
      const double k = std::clamp(s.radius - dist, 0.0, 1.0);
      if (k > 0.0) {
        const float a = static_cast<float>(s.alpha * k);
        LinearRgb& p = row[x];
        for (int c = 0; c < 3; ++c) p[c] = p[c] + (s.color[c] - p[c]) * a;
      }
    }
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

  for (std::uint64_t index : order) {
    const Strand& strand = strands[index];
    if (strand.bottom < y_lo || strand.top > y_hi || strand.points.size() < 2) continue;
    const std::size_t m = strand.points.size() - 1;
    for (std::size_t j = 0; j < m; ++j) {
      Stroke s;
      s.x0 = strand.points[j][0];
      s.y0 = strand.points[j][1];
      s.x1 = strand.points[j + 1][0];
      s.y1 = strand.points[j + 1][1];

      double w = strand.radius;
      if (hair.taper > 0.0) {
        const double t = (static_cast<double>(j) + 0.5) / static_cast<double>(m);
        w = strand.radius * std::min(std::min(t / hair.taper, (1.0 - t) / hair.taper), 1.0);
      }
      // A stroke thinner than a pixel is drawn a pixel wide and fainter.
      double q = 1.0;
      if (w < 0.5) {
        s.radius = 1.0;
        q = 2.0 * w;
      } else {
        s.radius = w + 0.5;
      }
      s.alpha = hair.opacity * q;

      s.dx = s.x1 - s.x0;
      s.dy = s.y1 - s.y0;
      s.len2 = s.dx * s.dx + s.dy * s.dy;
      const Direction tangent = unit(s.dx, s.dy);
      const double cos = light.x * tangent.x + light.y * tangent.y;
      const double sin = std::fmin(std::sqrt(std::fmax(1.0 - cos * cos, 0.0)), 1.0);
      s.color = look.color(sin, strand.shade, {(s.x0 + s.x1) * 0.5, (s.y0 + s.y1) * 0.5});
      blend(*this, s);
    }
  }
}

}  // namespace veldra
