#include <algorithm>
#include <cmath>
#include <new>
#include <span>

#include "hair/plane_pull.hpp"
#include "hair/saturate.hpp"
#include "hair/strand.hpp"
#include "lib/buffer.hpp"
#include "lib/splitmix64.hpp"

namespace veldra {

Strand grow_strand(const Instance& field, const Hair& hair, std::uint64_t index,
                   std::array<double, 2> scale) {
  const double sx = scale[0];
  const double sy = scale[1];
  const double dims0 = static_cast<double>(field.dims()[0]);
  const double dims1 = static_cast<double>(field.dims()[1]);

  // Every random look of the strand comes from its own generator, so the
  // strand does not depend on how many others are grown or in which order.
  SplitMix64 random(hair.seed * 0x9E3779B97F4A7C15ull + index);
  const double u1 = random.next_f64();
  const double u2 = random.next_f64();
  const double u3 = random.next_f64();
  const double u4 = random.next_f64();
  const double u5 = random.next_f64();
  const double u6 = random.next_f64();
  double dir[2];
  random.next_unit_vector(std::span<double>(dir, 2));

  double p[2] = {u1 * dims0, u2 * dims1};
  const double shade = (1.0 - hair.jitter * u4) * (1.0 - hair.depth * (1.0 - u3));
  const double radius = (hair.thickness * 0.5) * (1.0 - (hair.jitter * 0.5) * u5);
  const std::uint64_t n =
      saturating_u64((1.0 - hair.jitter * u6) * static_cast<double>(hair.steps));

  const double theta = hair.swirl * 0.017453292519943295;
  const double c = std::cos(theta);
  const double s = std::sin(theta);
  const double e = std::exp(-(hair.drag * hair.step));
  const double push[2] = {hair.frizz * hair.force * dir[0], hair.frizz * hair.force * dir[1]};

  Strand strand;
  strand.radius = radius;
  strand.layer = static_cast<float>(u3);
  strand.shade = static_cast<float>(shade);
  auto room = checked_add(n, 1);
  if (!room || !try_reserve(strand.points, *room)) throw std::bad_alloc();

  strand.points.push_back({static_cast<float>(sx * p[1]), static_cast<float>(sy * p[0])});
  strand.top = sy * p[0];
  strand.bottom = sy * p[0];

  const PlanePull pull(field);
  double v[2] = {0.0, 0.0};
  for (std::uint64_t i = 0; i < n; ++i) {
    const std::array<double, 2> g = pull.at(p[0], p[1]);
    const double r[2] = {g[0] * c - g[1] * s, g[1] * c + g[0] * s};
    const double a[2] = {push[0] + r[0] * hair.force, push[1] + r[1] * hair.force};
    double next[2];
    for (int k = 0; k < 2; ++k) {
      // With drag this is the exact solution of dv/dt = a - drag v over one
      // step; without it, a plain Euler step.
      next[k] = hair.drag > 0.0 ? v[k] * e + (a[k] / hair.drag) * (1.0 - e)
                                : v[k] + a[k] * hair.step;
    }
    for (int k = 0; k < 2; ++k) p[k] = p[k] + ((v[k] + next[k]) * 0.5) * hair.step;

    if (!std::isfinite(p[0]) || p[0] > dims0 || p[1] > dims1 || p[0] < 0.0 || p[1] < 0.0 ||
        !std::isfinite(p[1])) {
      break;
    }
    v[0] = next[0];
    v[1] = next[1];
    const double y = sy * p[0];
    strand.top = std::min(strand.top, y);
    strand.bottom = std::max(strand.bottom, y);
    strand.points.push_back({static_cast<float>(sx * p[1]), static_cast<float>(y)});
  }
  return strand;
}

}  // namespace veldra
