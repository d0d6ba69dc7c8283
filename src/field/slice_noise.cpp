#include "field/slice_noise.hpp"

#include "field/formula.hpp"

namespace veldra {

SliceNoise::SliceNoise(const Instance& field, std::span<const double> slices) : field_(field) {
  for (std::size_t s = 0; s < slices.size() && s < kMaxSlices; ++s) {
    slices_[s] = locate_on_axis(slices[s], field.dims()[3]);
  }
}

void SliceNoise::sample(const std::array<double, 3>& xyz, std::size_t first, std::size_t count,
                        double* out) const {
  const double point[4] = {xyz[0], xyz[1], xyz[2], 0.0};
  FixedField<4>::Located at = field_.locate(point);
  double prefix[8] = {1.0};
  formula::split<1>(prefix, 1, at[0].sides);
  formula::split<2>(prefix, 2, at[1].sides);
  formula::split<4>(prefix, 4, at[2].sides);
  for (std::size_t s = 0; s < count; ++s) {
    at[3] = slices_[first + s];
    out[s] = field_.noise<3>(at, prefix);
  }
}

}  // namespace veldra
