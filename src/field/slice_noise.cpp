#include "field/slice_noise.hpp"

#include <cmath>
#include <utility>

namespace veldra {

SliceNoise::SliceNoise(const Instance& field, std::span<const double> slices)
    : gradients_(field.gradients().data()) {
  for (std::size_t i = 0; i < 4; ++i) {
    dims_[i] = field.dims()[i];
    strides_[i] = field.strides()[i];
  }
  for (std::size_t c = 0; c < 8; ++c) {
    corner_steps_[c] = ((c & 1) ? strides_[0] : 0) + ((c & 2) ? strides_[1] : 0) + ((c & 4) ? strides_[2] : 0);
  }
  for (std::size_t s = 0; s < slices.size() && s < kMaxSlices; ++s) {
    slices_[s] = locate_on_axis(slices[s], dims_[3]);
  }
}

// Instance::eval visits the corners c = 0 .. 15 with axis i on bit i of c,
// multiplies each corner's weight up axis by axis from 1.0, skips a zero
// weight, and sums the dot products axis by axis from 0.0. The same
// operations run here in the same order; only their sharing differs: the
// weight after the first three axes is the same on every slice.
void SliceNoise::sample(const std::array<double, 3>& xyz, std::size_t first, std::size_t count,
                        double* out) const {
  AxisPoint axes[3];
  std::uint64_t base = 0;
  for (std::size_t i = 0; i < 3; ++i) {
    axes[i] = locate_on_axis(xyz[i], dims_[i]);
    base += axes[i].cell * strides_[i];
  }
  // Each corner's weight over the first three axes; corners c and c + 4
  // share the product of the first two.
  const double a0[2] = {1.0 - axes[0].fade, axes[0].fade};
  const double a1[2] = {1.0 - axes[1].fade, axes[1].fade};
  const double a2[2] = {1.0 - axes[2].fade, axes[2].fade};
  const double first_two[4] = {(1.0 * a0[0]) * a1[0], (1.0 * a0[1]) * a1[0], (1.0 * a0[0]) * a1[1],
                               (1.0 * a0[1]) * a1[1]};
  const double partial[8] = {first_two[0] * a2[0], first_two[1] * a2[0], first_two[2] * a2[0],
                             first_two[3] * a2[0], first_two[0] * a2[1], first_two[1] * a2[1],
                             first_two[2] * a2[1], first_two[3] * a2[1]};
  // With no NaN coordinate every partial weight is finite, so a side whose
  // fourth-axis factor is 0 has no corner of non-zero weight.
  const bool finite = !(std::isnan(axes[0].low) || std::isnan(axes[1].low) || std::isnan(axes[2].low));
  const double o0[2] = {axes[0].low, axes[0].high};
  const double o1[2] = {axes[1].low, axes[1].high};
  const double o2[2] = {axes[2].low, axes[2].high};

  for (std::size_t s = 0; s < count; ++s) {
    const AxisPoint& t = slices_[first + s];
    double total = 0.0;
    for (std::size_t side = 0; side < 2; ++side) {  // corners 0 .. 7, then 8 .. 15
      const double last = side ? t.fade : 1.0 - t.fade;
      if (last == 0.0 && finite) continue;
      const double offset = side ? t.high : t.low;
      const double* lowest = gradients_ + (base + (t.cell + side) * strides_[3]) * 4;
      // Corner c of this side, unrolled so that its offsets are known.
      auto corner = [&]<std::size_t c>() {
        const double weight = partial[c] * last;
        if (weight == 0.0) return;
        const double* g = lowest + corner_steps_[c] * 4;
        double dot = 0.0;
        dot = dot + g[0] * o0[c & 1];
        dot = dot + g[1] * o1[(c >> 1) & 1];
        dot = dot + g[2] * o2[c >> 2];
        dot = dot + g[3] * offset;
        total = total + weight * dot;
      };
      [&]<std::size_t... c>(std::index_sequence<c...>) {
        (corner.template operator()<c>(), ...);
      }(std::make_index_sequence<8>{});
    }
    out[s] = total;
  }
}

}  // namespace veldra
