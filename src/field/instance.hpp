// The noise field: a seeded lattice of unit gradients in 1 to MAX_DIMS
// dimensions. Immutable after construction, so any number of threads may
// evaluate one Instance at once, and copies share one lattice: copying an
// Instance (or making a Field of it) costs its dims, not its gradients.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "base/buffer.hpp"
#include "base/error.hpp"
#include "field/formula.hpp"

namespace veldra {

inline constexpr std::size_t MAX_DIMS = 16;

class Instance {
 public:
  // Checks `dims` (1 to MAX_DIMS entries, none 0, grid size within 64 bits)
  // and draws one unit gradient per intersection, row-major, from a
  // SplitMix64 seeded with `seed`. Stops with an interrupted error when
  // stop_requested() says so (a large lattice takes seconds).
  static Result<Instance> create(std::vector<std::uint64_t> dims, std::uint64_t seed);

  // A lattice checked as by create() whose gradients are not drawn but
  // copied: draw(index, out) writes the n() numbers of the intersection at
  // per-axis `index`, called once per intersection, in row-major order
  // within each chunk of for_each_chunk (base/in_parallel.hpp): chunks run
  // concurrently, so `draw` must be safe to call so, and the call stops
  // when stop_requested() says so. A Field lays out its octaves' lattices
  // for the table fill this way.
  static Result<Instance> create_from(
      std::vector<std::uint64_t> dims, std::uint64_t seed,
      const std::function<void(const std::uint64_t* index, double* out)>& draw);

  const std::vector<std::uint64_t>& dims() const { return dims_; }
  const std::vector<std::uint64_t>& shape() const { return shape_; }
  const std::vector<std::uint64_t>& strides() const { return strides_; }
  // intersections() * n numbers; intersection k's gradient starts at k * n.
  std::span<const double> gradients() const { return {data_, intersections_ * n()}; }
  std::uint64_t intersections() const { return intersections_; }
  std::uint64_t seed() const { return seed_; }
  std::size_t n() const { return dims_.size(); }

  // Noise inside cell `cell` at fractions `frac` (each in [0, 1]); both
  // spans have n() entries. The formula of field/formula.hpp, walked for
  // any number of axes.
  double eval(std::span<const std::uint64_t> cell, std::span<const double> frac) const;

  // Noise at `point` (n() coordinates), clamped into the lattice; a NaN
  // coordinate gives NaN.
  double sample(std::span<const double> point) const;

  // Writes into `out` (n() entries) the surrounding gradients blended under
  // the fade weights at `point`, clamped into the lattice.
  void pull(std::span<const double> point, std::span<double> out) const;

  // Success when `point` has n() coordinates, each within [0, dims[i]].
  Status expect_inside(std::span<const double> point) const;

  // The checked pull: a new list of n() components.
  Result<std::vector<double>> force(std::span<const double> point) const;

  // The gradient stored at an intersection, or nothing when `index` has
  // the wrong length or lies outside the lattice.
  std::optional<std::span<const double>> gradient(std::span<const std::uint64_t> index) const;

 private:
  using Gradients = std::vector<double, DeferredInit<double>>;

  // Checks `dims` and allocates the lattice's gradients, unwritten, into
  // `gradients`.
  static Result<Instance> lay_out(std::vector<std::uint64_t> dims, std::uint64_t seed,
                                  Gradients& gradients);
  // The instance owning `gradients`, once they are all written.
  Instance& own(Gradients gradients);

  // Finds the lowest corner of the cell of a point clamped into the
  // lattice, and the point's Sides there.
  std::uint64_t locate(std::span<const double> point, Sides* axes) const;

  // The formula's gradient of the corners of the cell whose lowest corner
  // is `base`: where the general walk's gradients come from.
  auto corner_gradients(std::uint64_t base) const {
    return [this, base](std::uint64_t c) {
      std::uint64_t k = base;
      for (std::size_t i = 0; i < dims_.size(); ++i) {
        if ((c >> i) & 1) k += strides_[i];
      }
      return data_ + k * dims_.size();
    };
  }

  std::vector<std::uint64_t> dims_;
  std::vector<std::uint64_t> shape_;
  std::vector<std::uint64_t> strides_;
  // Shared by every copy; data_ is its data.
  std::shared_ptr<const Gradients> gradients_;
  const double* data_ = nullptr;
  std::uint64_t intersections_ = 0;
  std::uint64_t seed_ = 0;
};

}  // namespace veldra
