#include "image/slice_noise.hpp"

namespace veldra {

SliceNoise::SliceNoise(const Instance& field, std::span<const double> slices)
    : gradients_(field.gradients().data()) {
  for (std::size_t i = 0; i < 4; ++i) {
    dims_[i] = field.dims()[i];
    strides_[i] = field.strides()[i];
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
  double partial[8];       // weight over the first three axes
  std::uint64_t step[8];   // linear offset from `base`
  double offsets[8][3];    // the point's offset from the corner on each axis
  for (std::size_t c = 0; c < 8; ++c) {
    double weight = 1.0;
    std::uint64_t k = 0;
    for (std::size_t i = 0; i < 3; ++i) {
      const bool upper = (c >> i) & 1;
      weight = weight * (upper ? axes[i].fade : 1.0 - axes[i].fade);
      if (upper) k += strides_[i];
      offsets[c][i] = upper ? axes[i].high : axes[i].low;
    }
    partial[c] = weight;
    step[c] = k;
  }

  for (std::size_t s = 0; s < count; ++s) {
    const AxisPoint& t = slices_[first + s];
    double total = 0.0;
    for (std::size_t side = 0; side < 2; ++side) {  // corners 0 .. 7, then 8 .. 15
      const double last = side ? t.fade : 1.0 - t.fade;
      const double offset = side ? t.high : t.low;
      const std::uint64_t slice_base = base + (t.cell + side) * strides_[3];
      for (std::size_t c = 0; c < 8; ++c) {
        const double weight = partial[c] * last;
        if (weight == 0.0) continue;
        const double* g = gradients_ + (slice_base + step[c]) * 4;
        double dot = 0.0;
        dot = dot + g[0] * offsets[c][0];
        dot = dot + g[1] * offsets[c][1];
        dot = dot + g[2] * offsets[c][2];
        dot = dot + g[3] * offset;
        total = total + weight * dot;
      }
    }
    out[s] = total;
  }
}

}  // namespace veldra
