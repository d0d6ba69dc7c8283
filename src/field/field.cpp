#include "field/field.hpp"

#include <cmath>
#include <string>

#include "base/buffer.hpp"
#include "base/float_text.hpp"
#include "base/splitmix64.hpp"

namespace veldra {
namespace {

Status check_settings(const OctaveSettings& s) {
  if (s.octaves < 1 || s.octaves > MAX_OCTAVES) {
    return invalid_input("Octaves has to be 1 to " + std::to_string(MAX_OCTAVES) + ", got " +
                         std::to_string(s.octaves));
  }
  if (!(std::isfinite(s.lacunarity) && s.lacunarity > 1.0)) {
    return invalid_input("Lacunarity has to be finite and above 1, got " + plain_float(s.lacunarity));
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

// The periodic flags as one per axis, checked against the axis count n
// and the lacunarity.
Result<std::vector<bool>> periodic_axes(const OctaveSettings& s, std::size_t n) {
  std::vector<bool> axes = s.periodic.axes.empty() ? std::vector<bool>(n, s.periodic.every) : s.periodic.axes;
  if (axes.size() != n) {
    return invalid_input("Expected " + std::to_string(n) + " periodic flags, got " + std::to_string(axes.size()));
  }
  bool wraps = false;
  for (bool axis : axes) wraps = wraps || axis;
  if (wraps && !s.whole_lacunarity()) {
    return invalid_input("Lacunarity " + plain_float(s.lacunarity) +
                         " is not a whole number, which a periodic axis needs");
  }
  return axes;
}

// The 256 unit vectors of an octave whose gradients come from octave_entry.
Status draw_palette(Octave& octave, std::size_t n) {
  auto palette = allocate<double>(OCTAVE_PALETTE * n, 0.0);
  if (!palette) return std::unexpected(palette.error());
  octave.palette = std::move(*palette);
  SplitMix64 random(octave.seed);
  for (std::size_t j = 0; j < OCTAVE_PALETTE; ++j) {
    random.next_unit_vector(std::span<double>(octave.palette.data() + j * n, n));
  }
  return {};
}

// Octave k's lattice, scale and weight, after octave k - 1's (`previous`,
// k >= 1). A whole L multiplies the cells and the scale as integers, each
// checked exact; any other L multiplies the scale as a float, and the
// cells are those that [0, dims[i]] covers, ceil(dims[i] * scale).
Result<Octave> next_octave(const Octave& previous, std::uint64_t k, const OctaveSettings& s,
                           std::uint64_t seed, const std::vector<std::uint64_t>& dims) {
  Octave octave;
  octave.weight = previous.weight * s.gain;
  octave.seed = seed;
  if (s.whole_lacunarity()) {
    const auto lacunarity = static_cast<std::uint64_t>(s.lacunarity);
    for (std::uint64_t cells : previous.cells) {
      auto finer = checked_mul(cells, lacunarity);
      if (!finer || !checked_add(*finer, 1)) return invalid_input("Grid size overflows usize");
      octave.cells.push_back(*finer);
    }
    // L^k is exact when, as an integer (within 64 bits: the cells are), it
    // converts to a double and back unchanged.
    const std::uint64_t power = static_cast<std::uint64_t>(previous.scale) * lacunarity;
    octave.scale = static_cast<double>(power);
    if (octave.scale >= 0x1p64 || static_cast<std::uint64_t>(octave.scale) != power) {
      return invalid_input("Lacunarity " + std::to_string(lacunarity) + " to the power " +
                           std::to_string(k) + " is not exact as a float");
    }
  } else {
    octave.scale = previous.scale * s.lacunarity;
    for (std::uint64_t d : dims) {
      const double cells = std::ceil(static_cast<double>(d) * octave.scale);
      if (!(cells < 0x1p64)) return invalid_input("Grid size overflows usize");
      octave.cells.push_back(static_cast<std::uint64_t>(cells));
    }
  }
  if (auto drawn = draw_palette(octave, dims.size()); !drawn) return std::unexpected(drawn.error());
  return octave;
}

}  // namespace

Field::Field(Instance base) : base_(std::move(base)), made_from_instance_(true) {
  Octave first;
  first.cells = base_.dims();
  first.seed = base_.seed();
  octaves_.push_back(std::move(first));
  settings_.periodic = std::vector<bool>(n(), false);
  set_axes();
}

void Field::set_axes() {
  wraps_ = 0;
  for (std::size_t i = 0; i < n(); ++i) {
    const bool wraps = settings_.periodic.axes[i];
    kinds_[i] = wraps ? AxisKind::Wrap : settings_.unbounded ? AxisKind::Open : AxisKind::Wall;
    wraps_ |= std::uint32_t{wraps} << i;
  }
  bounds_ = FieldBounds(dims(), std::span(kinds_.data(), n()), top_scale());
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
    auto axes = periodic_axes(settings, dims.size());
    if (!axes) return std::unexpected(axes.error());
    settings.periodic = std::move(*axes);
    if (settings.unbounded) {
      if (auto drawn = draw_palette(octaves[0], dims.size()); !drawn) return std::unexpected(drawn.error());
    }
    SplitMix64 seeds(seed);
    for (std::uint64_t k = 1; k < settings.octaves; ++k) {
      auto octave = next_octave(octaves.back(), k, settings, seeds.next_u64(), dims);
      if (!octave) return std::unexpected(octave.error());
      octaves.push_back(std::move(*octave));
    }
  }
  auto base = Instance::create(std::move(dims), seed);
  if (!base) return std::unexpected(base.error());

  Field field(std::move(*base), std::move(settings));
  field.octaves_ = std::move(octaves);
  double sum = 0.0;
  for (const Octave& octave : field.octaves_) sum = sum + octave.weight;
  if (!std::isfinite(sum)) {
    return invalid_input("Gain " + marked_float(field.settings_.gain) + " makes the octave weights overflow");
  }
  field.weight_sum_ = sum;
  field.set_axes();
  return field;
}

template <std::size_t N, typename Each>
void Field::each_octave(const double* point, Each&& each) const {
  std::uint64_t lowest[MAX_DIMS];
  Sides sides[MAX_DIMS];
  for (std::size_t k = 0; k < octaves_.size(); ++k) {
    for (std::size_t i = 0; i < n(); ++i) {
      const AxisPoint at = place(k, i, point[i]);
      lowest[i] = at.cell;
      sides[i] = at.sides;
    }
    each(k, gradients(k), lowest, sides);
  }
}

double Field::sample(std::span<const double> point) const {
  if (is_instance()) return base_.sample(point);
  return with_fixed_axes(n(), [&](auto axes) {
    constexpr std::size_t N = decltype(axes)::value;
    double total = 0.0;
    each_octave<N>(point.data(), [&](std::size_t k, const OctaveGradients& g, const std::uint64_t* lowest,
                                     const Sides* sides) {
      term_step(total, octaves_[k].weight, shaped(settings_.shape, g.noise_in<N>(lowest, sides)));
    });
    return total / weight_sum_;
  });
}

void Field::pull(std::span<const double> point, std::span<double> out) const {
  if (is_instance()) return base_.pull(point, out);
  with_fixed_axes(n(), [&](auto axes) {
    constexpr std::size_t N = decltype(axes)::value;
    double total[MAX_DIMS] = {};
    each_octave<N>(point.data(), [&](std::size_t k, const OctaveGradients& g, const std::uint64_t* lowest,
                                     const Sides* sides) {
      double sum[MAX_DIMS] = {};
      g.pull_in<N>(lowest, sides, sum);
      for (std::size_t i = 0; i < n(); ++i) term_step(total[i], octaves_[k].weight, sum[i]);
    });
    for (std::size_t i = 0; i < n(); ++i) out[i] = total[i] / weight_sum_;
  });
}

void Field::slope(std::span<const double> point, std::span<double> out) const {
  with_fixed_axes(n(), [&](auto axes) {
    constexpr std::size_t N = decltype(axes)::value;
    double total[MAX_DIMS] = {};
    each_octave<N>(point.data(), [&](std::size_t k, const OctaveGradients& g, const std::uint64_t* lowest,
                                     const Sides* sides) {
      double d[MAX_DIMS] = {};
      const double v = g.derivative_in<N>(lowest, sides, d);
      const Octave& octave = octaves_[k];
      for (std::size_t i = 0; i < n(); ++i) {
        term_step(total[i], octave.weight, shaped_slope(settings_.shape, v, d[i] * octave.scale));
      }
    });
    for (std::size_t i = 0; i < n(); ++i) out[i] = total[i] / weight_sum_;
  });
}

Result<std::vector<double>> Field::force(std::span<const double> point) const {
  if (auto valid = expect_point(point); !valid) return std::unexpected(valid.error());
  std::vector<double> out(n(), 0.0);
  pull(point, out);
  return out;
}

Result<std::vector<double>> Field::derivative(std::span<const double> point) const {
  if (auto valid = expect_point(point); !valid) return std::unexpected(valid.error());
  std::vector<double> out(n(), 0.0);
  slope(point, out);
  return out;
}

}  // namespace veldra
