// Noise of a four-dimensional field at points that share their first three
// coordinates and differ only on the fourth: the globe reads its height and
// colour slices this way.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "field/lattice_axis.hpp"
#include "field/field.hpp"
#include "field/instance.hpp"

namespace veldra {

class SliceNoise {
 public:
  static constexpr std::size_t kMaxSlices = 4;

  // The slices are fourth-axis coordinates, at most kMaxSlices of them.
  // `field` must have four dimensions and outlive this record.
  SliceNoise(const Instance& field, std::span<const double> slices);

  // The same for a Field: a one-octave Field evaluates as its Instance,
  // others point by point through Field::sample. `field` must outlive this.
  SliceNoise(const Field& field, std::span<const double> slices);

  // Writes to out[s], for s in [0, count), the noise at (xyz[0], xyz[1],
  // xyz[2], slices[first + s]): bit for bit Instance::sample at that point.
  // The cell and corner weights of the first three axes are found once for
  // all of these slices, and the slices' own once per record.
  void sample(const std::array<double, 3>& xyz, std::size_t first, std::size_t count,
              double* out) const;

 private:
  const double* gradients_;  // four numbers per intersection, row-major
  std::array<std::uint64_t, 4> dims_;
  std::array<std::uint64_t, 4> strides_;
  std::array<std::uint64_t, 8> corner_steps_;  // from a cell's lowest corner to corner c (bits: axes 0 to 2)
  std::array<AxisPoint, kMaxSlices> slices_{};
  // A field of several octaves, or periodic, and its slices' coordinates;
  // nullptr for an Instance.
  const Field* octaves_ = nullptr;
  std::array<double, kMaxSlices> coordinates_{};
};

}  // namespace veldra
