#include "field/slice_noise.hpp"

#include <cmath>
#include <utility>

#include "field/formula.hpp"

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

SliceNoise::SliceNoise(const Field& field, std::span<const double> slices)
    : SliceNoise(field.base(), slices) {
  if (field.is_instance()) return;
  octaves_ = &field;
  for (std::size_t s = 0; s < slices.size() && s < kMaxSlices; ++s) coordinates_[s] = slices[s];
}

// The steps of field/formula.hpp, with the weights over the first three
// axes shared by the slices. Kept apart from FixedField<4> for speed: the
// globe at samples=2 took 15% longer through it, as a slice on an
// intersection skips here its whole side of zero-weight corners at once.
void SliceNoise::sample(const std::array<double, 3>& xyz, std::size_t first, std::size_t count,
                        double* out) const {
  if (octaves_) {
    for (std::size_t s = 0; s < count; ++s) {
      const double point[4] = {xyz[0], xyz[1], xyz[2], coordinates_[first + s]};
      out[s] = octaves_->sample(point);
    }
    return;
  }
  AxisPoint axes[3];
  std::uint64_t base = 0;
  for (std::size_t i = 0; i < 3; ++i) {
    axes[i] = locate_on_axis(xyz[i], dims_[i]);
    base += axes[i].cell * strides_[i];
  }
  double partial[8] = {1.0};
  formula::split<1>(partial, 1, axes[0].sides);
  formula::split<2>(partial, 2, axes[1].sides);
  formula::split<4>(partial, 4, axes[2].sides);
  // With no NaN coordinate every partial weight is finite, so a side whose
  // fourth-axis factor is 0 has no corner of non-zero weight.
  const bool finite = !(std::isnan(axes[0].sides.offset[0]) || std::isnan(axes[1].sides.offset[0]) ||
                        std::isnan(axes[2].sides.offset[0]));
  for (std::size_t s = 0; s < count; ++s) {
    const AxisPoint& t = slices_[first + s];
    double total = 0.0;
    for (std::size_t side = 0; side < 2; ++side) {  // corners 0 .. 7, then 8 .. 15
      const double last = t.sides.weight[side];
      if (last == 0.0 && finite) continue;
      const double* lowest = gradients_ + (base + (t.cell + side) * strides_[3]) * 4;
      formula::each<8>(8, [&](auto c) {
        double weight;
        weight_step(weight, partial[c], last);
        if (weight == 0.0) return;
        const double* g = lowest + corner_steps_[c] * 4;
        double dot = 0.0;
        formula::each<3>(3, [&](auto i) { dot_step(dot, dot, g[i], axes[i].sides.offset[(c >> i) & 1]); });
        dot_step(dot, dot, g[3], t.sides.offset[side]);
        term_step(total, weight, dot);
      });
    }
    out[s] = total;
  }
}

}  // namespace veldra
