#include "image/detail/lit.hpp"

#include <algorithm>
#include <cmath>

#include "image/color_bytes.hpp"
#include "image/detail/sphere.hpp"
#include "image/palette.hpp"

namespace veldra {

Lit Lit::make(const Field& field, const Globe& settings, double radius, const Range& heights,
              const Range& colors) {
  const std::array<double, 3>& l = settings.surface.light;
  const Vec3 light = unit_or_up({l[0], l[1], l[2]});
  const std::array<double, 4> slices = fourth_axis_slices(field);
  return Lit{field,
             settings,
             slices,
             heights,
             colors,
             light,
             radius,
             settings.samples,
             1.0 / static_cast<double>(settings.samples),
             half_vector(light),
             SliceNoise(field, slices)};
}

double Lit::height_of(double v) const {
  const double shaped_v = shaped(settings.surface.shape, v);
  const double t = heights.has_spread() ? clamp01(heights.fraction(shaped_v)) : 0.5;
  return std::pow(t, settings.surface.gamma);
}

double Lit::height_at(const Vec3& p) const {
  double v;
  noise.sample(lattice_xyz(field, p), 0, 1, &v);
  return height_of(v);
}

std::array<double, 3> Lit::point(const Vec3& p) const {
  const Relief& surface = settings.surface;
  // The height and, when they are needed, the three colour slices at p.
  const bool rgb = settings.rgb_from_fourth_axis && colors.has_spread();
  double v[4];
  noise.sample(lattice_xyz(field, p), 0, rgb ? 4 : 1, v);
  const double h = height_of(v[0]);

  // Tangent frame and a step of about one image pixel on the sphere.
  const Vec3 axis = std::fabs(p.y) < 0.9 ? Vec3{0.0, 1.0, 0.0} : Vec3{1.0, 0.0, 0.0};
  const Vec3 t1 = unit_or_up(cross(axis, p));
  const Vec3 t2 = cross(p, t1);
  const double e = 1.0 / (std::max(p.z, 0.2) * radius);
  auto neighbour = [&](const Vec3& t, double sign) {
    return height_at(unit_or_up({p.x + sign * e * t.x, p.y + sign * e * t.y, p.z + sign * e * t.z}));
  };
  const double g1 = (neighbour(t1, 1.0) - neighbour(t1, -1.0)) / (2.0 * e);
  const double g2 = (neighbour(t2, 1.0) - neighbour(t2, -1.0)) / (2.0 * e);

  // The normal of the sphere whose radius is displaced to 1 + height * h.
  const double k = surface.height / (1.0 + surface.height * h);
  const Vec3 normal = unit_or_up({p.x - k * (g1 * t1.x + g2 * t2.x), p.y - k * (g1 * t1.y + g2 * t2.y),
                                  p.z - k * (g1 * t1.z + g2 * t2.z)});

  Rgb base;
  if (!settings.rgb_from_fourth_axis) {
    base = color(surface.palette, h);
  } else if (rgb) {
    for (std::size_t c = 0; c < 3; ++c) base[c] = byte_from_fraction(clamp01(colors.fraction(v[c + 1])));
  } else {
    base = {128, 128, 128};
  }

  const double o = 1.0 - (1.0 - h) * surface.occlusion;
  const double dl = positive_part(dot(normal, light));
  const double k2 = surface.ambient + surface.diffuse * dl;
  const double highlight = dl * surface.specular * std::pow(positive_part(dot(normal, half)), surface.gloss);
  std::array<double, 3> out;
  for (std::size_t c = 0; c < 3; ++c) out[c] = o * (o * o * highlight + k2 * linear_from_byte(base[c]));
  return out;
}

}  // namespace veldra
