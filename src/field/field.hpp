// A fractal sum of gradient-noise octaves. Octave k (k = 0 .. octaves - 1)
// is a lattice of about dims[i] * L^k cells per axis (L the lacunarity;
// Octave::cells says how many) evaluated at point * L^k, shaped by the
// octave shape and weighted by w_k (w_0 = 1.0, w_k = w_{k-1} * gain):
//
//   value = (sum from +0.0, k in order, of w_k * shaped(v_k)) / (sum of w_k in order)
//
// The force is the same weighted sum of the octaves' pulls, component by
// component, over the same weight sum; the derivative the same sum of
// the octaves' derivatives (field/formula.hpp), each times L^k (the chain
// rule of point * L^k) and folded by shaped_slope.
//
// Each axis has walls at 0 and dims[i], wraps every dims[i] (periodic), or
// goes on without end (unbounded): AxisKind. Octave 0 of a field with
// walls is the Instance of the field's dims and seed; octave k >= 1, and
// octave 0 of an unbounded field, store no lattice: their gradients come
// from octave_entry (field/octave.hpp) under seed s_k, where s_0 is the
// seed and s_k (k >= 1) the k-th output of a SplitMix64 started at the
// seed. With one smooth octave on walls a Field is exactly its Instance,
// and evaluates through it.
//
// A plain value, immutable after construction.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <span>
#include <vector>

#include "field/instance.hpp"
#include "field/lattice_axis.hpp"
#include "field/lattice_bounds.hpp"
#include "field/octave.hpp"
#include "field/shape.hpp"
#include "base/error.hpp"

namespace veldra {

inline constexpr std::uint64_t MAX_OCTAVES = 32;

// Which axes wrap: every axis or none (a bool), or one flag per axis.
struct Periodic {
  Periodic(bool every = false) : every(every) {}
  Periodic(std::vector<bool> axes) : axes(std::move(axes)) {}
  bool every = false;
  std::vector<bool> axes;  // when not empty, one flag per axis
  bool operator==(const Periodic&) const = default;
};

struct OctaveSettings {
  std::uint64_t octaves = 1;
  double lacunarity = 2.0;
  double gain = 0.5;
  Shape shape = Shape::Smooth;
  Periodic periodic;
  bool unbounded = false;
  bool operator==(const OctaveSettings&) const = default;

  // Whether L is a whole number (below 2^64): then every octave's scale and
  // cells are exact, and axes may wrap.
  bool whole_lacunarity() const { return lacunarity == std::floor(lacunarity) && lacunarity < 0x1p64; }
};

class Field {
 public:
  // Checks the settings (octaves 1 to MAX_OCTAVES, lacunarity finite and
  // above 1, whole when an axis wraps, gain finite and above 0, one
  // periodic flag per axis, every octave's cells within 64 bits and, for a
  // whole lacunarity, its scale exact) and the dims as Instance::create
  // does. The settings kept have one periodic flag per axis.
  static Result<Field> create(std::vector<std::uint64_t> dims, std::uint64_t seed,
                              OctaveSettings settings);

  // The one-octave field with walls that is `base`; it remembers having
  // been made from an Instance (made_from_instance), which equality ignores.
  explicit Field(Instance base);

  const Instance& base() const { return base_; }
  const OctaveSettings& settings() const { return settings_; }
  const std::vector<Octave>& octaves() const { return octaves_; }
  double weight_sum() const { return weight_sum_; }
  const std::vector<std::uint64_t>& dims() const { return base_.dims(); }
  std::uint64_t seed() const { return base_.seed(); }
  std::size_t n() const { return base_.n(); }

  AxisKind kind(std::size_t i) const { return kinds_[i]; }
  // Bit i set: axis i wraps.
  std::uint32_t wraps() const { return wraps_; }
  // The coordinates the field takes (field/lattice_bounds.hpp).
  const FieldBounds& bounds() const { return bounds_; }

  // Whether the field was made from an Instance.
  bool made_from_instance() const { return made_from_instance_; }

  // Whether the field is its octave-0 Instance: one smooth octave, walls on
  // every axis. Such a field evaluates through the Instance's own paths.
  bool is_instance() const {
    return octaves_.size() == 1 && wraps_ == 0 && !settings_.unbounded && settings_.shape == Shape::Smooth;
  }

  // Success when `point` has n() coordinates that bounds() takes.
  Status expect_point(std::span<const double> point) const { return bounds_.expect(point); }

  // L^(octaves - 1), the scale of the top octave.
  double top_scale() const { return octaves_.back().scale; }

  // Where coordinate x lies on axis i of octave k's lattice.
  AxisPoint place(std::size_t k, std::size_t i, double x) const {
    const Octave& octave = octaves_[k];
    return octave_point(x, octave.scale, octave.cells[i], kinds_[i]);
  }

  // The value, the force and the derivative (n numbers into out) at a
  // point that expect_point accepts.
  double sample(std::span<const double> point) const;
  void pull(std::span<const double> point, std::span<double> out) const;
  void slope(std::span<const double> point, std::span<double> out) const;

  // The checked force and derivative: a new list of n() components.
  Result<std::vector<double>> force(std::span<const double> point) const;
  Result<std::vector<double>> derivative(std::span<const double> point) const;

  // Equal settings, dims and seed: the same field.
  bool operator==(const Field& other) const {
    return seed() == other.seed() && dims() == other.dims() && settings_ == other.settings_;
  }

  // Octave k's gradients (valid while this field lives).
  OctaveGradients gradients(std::size_t k) const { return OctaveGradients(base_, octaves_[k], wraps_); }

 private:
  Field(Instance base, OctaveSettings settings) : base_(std::move(base)), settings_(std::move(settings)) {}
  // Sets the axes' kinds, the wraps and the bounds from the settings.
  void set_axes();
  // Calls each(k, gradients, lowest, sides) for every octave k at `point`.
  template <std::size_t N, typename Each>
  void each_octave(const double* point, Each&& each) const;

  Instance base_;
  OctaveSettings settings_;
  std::vector<Octave> octaves_;
  double weight_sum_ = 1.0;
  std::array<AxisKind, MAX_DIMS> kinds_{};
  std::uint32_t wraps_ = 0;
  FieldBounds bounds_;
  bool made_from_instance_ = false;
};

}  // namespace veldra
