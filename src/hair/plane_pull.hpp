// The pull of a two-dimensional field at the many points of a strand.
#pragma once

#include <array>
#include <cstdint>

#include "lib/lattice_axis.hpp"
#include "lib/instance.hpp"

namespace veldra {

class PlanePull {
 public:
  // `field` must have two axes and outlive this record.
  explicit PlanePull(const Instance& field)
      : gradients_(field.gradients().data()),
        dims_{field.dims()[0], field.dims()[1]},
        strides_{field.strides()[0], field.strides()[1]} {}

  // Bit for bit what field.pull writes for the point (p0, p1): the
  // surrounding gradients blended under the fade weights, the point clamped
  // into the lattice, NaN components for a NaN coordinate.
  std::array<double, 2> at(double p0, double p1) const {
    const AxisPoint a = locate_on_axis(p0, dims_[0]);
    const AxisPoint b = locate_on_axis(p1, dims_[1]);
    const double* lowest = gradients_ + (a.cell * strides_[0] + b.cell * strides_[1]) * 2;
    const double wa[2] = {1.0 - a.fade, a.fade};
    const double wb[2] = {1.0 - b.fade, b.fade};
    // Instance's corner walk: c = 0 .. 3 with axis 0 on bit 0, each weight
    // multiplied up from 1.0, zero weights skipped, sums from 0.0.
    double out[2] = {0.0, 0.0};
    auto corner = [&](double weight, const double* g) {
      if (weight == 0.0) return;
      out[0] = out[0] + weight * g[0];
      out[1] = out[1] + weight * g[1];
    };
    corner((1.0 * wa[0]) * wb[0], lowest);
    corner((1.0 * wa[1]) * wb[0], lowest + strides_[0] * 2);
    corner((1.0 * wa[0]) * wb[1], lowest + strides_[1] * 2);
    corner((1.0 * wa[1]) * wb[1], lowest + (strides_[0] + strides_[1]) * 2);
    return {out[0], out[1]};
  }

 private:
  const double* gradients_;  // two numbers per intersection, row-major
  std::array<std::uint64_t, 2> dims_;
  std::array<std::uint64_t, 2> strides_;
};

}  // namespace veldra
