#include "field/field.hpp"

#include <cmath>
#include <string>

#include "base/buffer.hpp"
#include "base/float_text.hpp"
#include "base/splitmix64.hpp"
#include "field/lattice_bounds.hpp"

namespace veldra {
namespace {

Status check_settings(const OctaveSettings& s) {
  if (s.octaves < 1 || s.octaves > MAX_OCTAVES) {
    return invalid_input("Octaves has to be 1 to " + std::to_string(MAX_OCTAVES) + ", got " +
                         std::to_string(s.octaves));
  }
  if (s.lacunarity < 2) {
    return invalid_input("Lacunarity has to be at least 2, got " + std::to_string(s.lacunarity));
  }
  if (!(std::isfinite(s.gain) && s.gain > 0.0)) {
    return invalid_input("Gain has to be finite and above 0, got " + plain_float(s.gain));
  }
  return {};
}

// Dims that Instance::create will refuse, before any octave is checked
// against them.
bool refused_dims(const std::vector<std::uint64_t>& dims) {
  if (dims.empty() || dims.size() > MAX_DIMS) return true;
  for (std::uint64_t d : dims) {
    if (d == 0) return true;
  }
  return false;
}

// Octave k's lattice and weight, after octave k - 1's (`previous`, k >= 1).
Result<Octave> next_octave(const Octave& previous, std::uint64_t k, const OctaveSettings& s,
                           std::uint64_t seed, std::size_t n) {
  Octave octave;
  for (std::uint64_t cells : previous.cells) {
    auto finer = checked_mul(cells, s.lacunarity);
    if (!finer || !checked_add(*finer, 1)) return invalid_input("Grid size overflows usize");
    octave.cells.push_back(*finer);
  }
  // L^k is exact when, as an integer (within 64 bits: the cells are), it
  // converts to a double and back unchanged.
  const std::uint64_t power = static_cast<std::uint64_t>(previous.scale) * s.lacunarity;
  octave.scale = static_cast<double>(power);
  if (octave.scale >= 18446744073709551616.0 || static_cast<std::uint64_t>(octave.scale) != power) {
    return invalid_input("Lacunarity " + std::to_string(s.lacunarity) + " to the power " +
                         std::to_string(k) + " is not exact as a float");
  }
  octave.weight = previous.weight * s.gain;
  octave.seed = seed;
  auto palette = allocate<double>(OCTAVE_PALETTE * n, 0.0);
  if (!palette) return std::unexpected(palette.error());
  octave.palette = std::move(*palette);
  SplitMix64 random(seed);
  for (std::size_t j = 0; j < OCTAVE_PALETTE; ++j) {
    random.next_unit_vector(std::span<double>(octave.palette.data() + j * n, n));
  }
  return octave;
}

}  // namespace

Field::Field(Instance base) : base_(std::move(base)), made_from_instance_(true) {
  Octave first;
  first.cells = base_.dims();
  first.seed = base_.seed();
  octaves_.push_back(std::move(first));
}

Result<Field> Field::create(std::vector<std::uint64_t> dims, std::uint64_t seed,
                            OctaveSettings settings) {
  if (auto valid = check_settings(settings); !valid) return std::unexpected(valid.error());
  // The octaves are checked before octave 0's lattice is drawn, so that a
  // field too fine to exist is refused at once.
  std::vector<Octave> octaves(1);
  octaves[0].cells = dims;
  octaves[0].seed = seed;
  if (!refused_dims(dims)) {
    SplitMix64 seeds(seed);
    for (std::uint64_t k = 1; k < settings.octaves; ++k) {
      auto octave = next_octave(octaves.back(), k, settings, seeds.next_u64(), dims.size());
      if (!octave) return std::unexpected(octave.error());
      octaves.push_back(std::move(*octave));
    }
  }
  auto base = Instance::create(std::move(dims), seed);
  if (!base) return std::unexpected(base.error());

  Field field(std::move(*base), settings);
  field.octaves_ = std::move(octaves);
  double sum = 0.0;
  for (const Octave& octave : field.octaves_) sum = sum + octave.weight;
  if (!std::isfinite(sum)) {
    return invalid_input("Gain " + marked_float(settings.gain) + " makes the octave weights overflow");
  }
  field.weight_sum_ = sum;
  return field;
}

Status Field::expect_point(std::span<const double> point) const {
  if (!settings_.periodic) return base_.expect_inside(point);
  return PeriodicBounds(n(), top_scale()).expect(point);
}

template <std::size_t N>
double Field::sample_fixed(const double* point) const {
  double total = 0.0;
  double scaled[MAX_DIMS];
  for (std::size_t k = 0; k < octaves_.size(); ++k) {
    const Octave& octave = octaves_[k];
    for (std::size_t i = 0; i < n(); ++i) {
      scaled[i] = octave_coordinate(point[i], octave.scale, octave.cells[i], settings_.periodic);
    }
    const double v = gradients(k).noise<N>(scaled);
    term_step(total, octave.weight, shaped(settings_.shape, v));
  }
  return total / weight_sum_;
}

template <std::size_t N>
void Field::pull_fixed(const double* point, double* out) const {
  double total[MAX_DIMS] = {};
  double scaled[MAX_DIMS];
  for (std::size_t k = 0; k < octaves_.size(); ++k) {
    const Octave& octave = octaves_[k];
    for (std::size_t i = 0; i < n(); ++i) {
      scaled[i] = octave_coordinate(point[i], octave.scale, octave.cells[i], settings_.periodic);
    }
    double sum[MAX_DIMS] = {};
    gradients(k).pull<N>(scaled, sum);
    for (std::size_t i = 0; i < n(); ++i) term_step(total[i], octave.weight, sum[i]);
  }
  for (std::size_t i = 0; i < n(); ++i) out[i] = total[i] / weight_sum_;
}

double Field::sample(std::span<const double> point) const {
  if (is_instance()) return base_.sample(point);
  return with_fixed_axes(n(), [&](auto axes) { return sample_fixed<decltype(axes)::value>(point.data()); });
}

void Field::pull(std::span<const double> point, std::span<double> out) const {
  if (is_instance()) return base_.pull(point, out);
  with_fixed_axes(n(), [&](auto axes) { pull_fixed<decltype(axes)::value>(point.data(), out.data()); });
}

Result<std::vector<double>> Field::force(std::span<const double> point) const {
  if (auto valid = expect_point(point); !valid) return std::unexpected(valid.error());
  std::vector<double> out(n(), 0.0);
  pull(point, out);
  return out;
}

}  // namespace veldra
