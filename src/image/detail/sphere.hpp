// Geometry of the globe: a unit sphere seen head-on in an image, and the
// points of a four-dimensional field that its surface reads.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>

#include "field/field.hpp"
#include "image/shading.hpp"

namespace veldra {

// An image point in sphere units: offsets from the centre divided by the
// radius, and their distance from the centre.
struct Disc {
  double px = 0.0;
  double py = 0.0;
  double d = 0.0;
};

// The sphere's outline in image pixels (x right, y down).
struct Sphere {
  double cx = 0.0;
  double cy = 0.0;
  double radius = 0.0;

  // The sphere centred in a width x height image, its diameter `fill`
  // times the shorter side.
  static Sphere centred(std::uint64_t width, std::uint64_t height, double fill) {
    const double shorter = static_cast<double>(std::min(width, height));
    return {static_cast<double>(width) / 2.0, static_cast<double>(height) / 2.0, fill * shorter / 2.0};
  }

  Disc at(double x, double y) const {
    const double px = (x - cx) / radius;
    const double py = (y - cy) / radius;
    return {px, py, std::sqrt(px * px + py * py)};
  }

  // Coverage of a square sample of side `side` pixels centred on `p`,
  // at most 1; the sample lies outside the sphere when it is <= 0.
  double coverage(const Disc& p, double side) const {
    return std::min(radius * (1.0 - p.d) / side + 0.5, 1.0);
  }

  // The unit vector of the surface point seen at `p`; points just beyond
  // the rim land on the rim (z = 0).
  static Vec3 surface_point(const Disc& p) {
    const double z = std::sqrt(std::max(1.0 - p.d * p.d, 0.0));
    return unit_or_up({p.px, p.py, z});
  }
};

// Fourth-axis coordinates of a field: the height slice, then the red,
// green and blue slices.
inline std::array<double, 4> fourth_axis_slices(const Field& field) {
  const double depth = static_cast<double>(field.dims()[3]);
  return {0.0, depth / 3.0, 2.0 * depth / 3.0, depth};
}

// The first three lattice coordinates of the point of a four-dimensional
// field at unit vector `p`: the first axis runs across the image, the second
// down it and the third from the back of the sphere towards the viewer. The
// fourth coordinate is a slice's.
inline std::array<double, 3> lattice_xyz(const Field& field, const Vec3& p) {
  const std::vector<std::uint64_t>& dims = field.dims();
  return {
      (p.x + 1.0) / 2.0 * static_cast<double>(dims[0]),
      (p.y + 1.0) / 2.0 * static_cast<double>(dims[1]),
      (p.z + 1.0) / 2.0 * static_cast<double>(dims[2]),
  };
}

}  // namespace veldra
