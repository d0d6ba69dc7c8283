// A fractal sum of gradient-noise octaves, optionally wrapping on every
// axis. Octave k (k = 0 .. octaves - 1) is a lattice of dims[i] * L^k cells
// (L the lacunarity) evaluated at point * L^k, shaped by the octave shape
// and weighted by w_k (w_0 = 1.0, w_k = w_{k-1} * gain):
//
//   value = (sum from +0.0, k in order, of w_k * shaped(v_k)) / (sum of w_k in order)
//
// The force is the same weighted sum of the octaves' pulls, component by
// component, over the same weight sum. Octave 0 is the Instance of the
// field's dims and seed; octave k >= 1 has seed_k, the k-th output of a
// SplitMix64 started at the seed, and its gradients come from
// octave_entry (field/octave.hpp). With one smooth, non-periodic octave a
// Field is exactly its Instance, and evaluates through it.
//
// A plain value, immutable after construction.
#pragma once

#include <cmath>
#include <cstdint>
#include <span>
#include <vector>

#include "field/instance.hpp"
#include "field/octave.hpp"
#include "field/shape.hpp"
#include "base/error.hpp"

namespace veldra {

inline constexpr std::uint64_t MAX_OCTAVES = 32;

struct OctaveSettings {
  std::uint64_t octaves = 1;
  std::uint64_t lacunarity = 2;
  double gain = 0.5;
  Shape shape = Shape::Smooth;
  bool periodic = false;
  bool operator==(const OctaveSettings&) const = default;
};

class Field {
 public:
  // Checks the settings (octaves 1 to MAX_OCTAVES, lacunarity at least 2,
  // gain finite and above 0, every octave's cells within 64 bits and its
  // scale exact) and the dims as Instance::create does.
  static Result<Field> create(std::vector<std::uint64_t> dims, std::uint64_t seed,
                              OctaveSettings settings);

  // The one-octave, non-periodic field that is `base`; it remembers having
  // been made from an Instance (made_from_instance), which equality ignores.
  explicit Field(Instance base);

  const Instance& base() const { return base_; }
  const OctaveSettings& settings() const { return settings_; }
  const std::vector<Octave>& octaves() const { return octaves_; }
  double weight_sum() const { return weight_sum_; }
  const std::vector<std::uint64_t>& dims() const { return base_.dims(); }
  std::uint64_t seed() const { return base_.seed(); }
  std::size_t n() const { return base_.n(); }

  // Whether the field is its octave-0 Instance: one smooth octave, not
  // periodic. Such a field evaluates through the Instance's own paths.
  bool made_from_instance() const { return made_from_instance_; }

  bool is_instance() const {
    return octaves_.size() == 1 && !settings_.periodic && settings_.shape == Shape::Smooth;
  }

  // Success when `point` has n() coordinates that the field's bounds
  // take (field/lattice_bounds.hpp): Instance::expect_inside's, or when
  // periodic, PeriodicBounds'.
  Status expect_point(std::span<const double> point) const;

  // L^(octaves - 1), the scale of the top octave: a periodic field's bound.
  double top_scale() const { return octaves_.back().scale; }

  // The value and the force at a point that expect_point accepts.
  double sample(std::span<const double> point) const;
  void pull(std::span<const double> point, std::span<double> out) const;

  // The checked force: a new list of n() components.
  Result<std::vector<double>> force(std::span<const double> point) const;

  // Equal settings, dims and seed: the same field.
  bool operator==(const Field& other) const {
    return seed() == other.seed() && dims() == other.dims() && settings_ == other.settings_;
  }

  // Octave k's gradients (valid while this field lives).
  OctaveGradients gradients(std::size_t k) const {
    return OctaveGradients(base_, octaves_[k], settings_.periodic);
  }

 private:
  Field(Instance base, OctaveSettings settings) : base_(std::move(base)), settings_(settings) {}
  template <std::size_t N>
  double sample_fixed(const double* point) const;
  template <std::size_t N>
  void pull_fixed(const double* point, double* out) const;

  Instance base_;
  OctaveSettings settings_;
  std::vector<Octave> octaves_;
  double weight_sum_ = 1.0;
  bool made_from_instance_ = false;
};

}  // namespace veldra
