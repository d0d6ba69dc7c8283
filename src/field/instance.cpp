#include "field/instance.hpp"

#include <cmath>
#include <string>

#include "base/buffer.hpp"
#include "base/float_text.hpp"
#include "base/in_parallel.hpp"
#include "base/interruption.hpp"
#include "base/splitmix64.hpp"
#include "base/strides.hpp"
#include "field/lattice_axis.hpp"
#include "field/fixed_field.hpp"

namespace veldra {
namespace {

// Gradients drawn between two looks at stop_requested(): a lattice of
// millions of intersections takes seconds to draw, this many a
// millisecond or so.
constexpr std::uint64_t DRAWN_PER_LOOK = 4096;

template <std::size_t N>
void copy_to(const std::array<double, N>& values, std::span<double> out) {
  for (std::size_t j = 0; j < N; ++j) out[j] = values[j];
}

}  // namespace

Result<Instance> Instance::lay_out(std::vector<std::uint64_t> dims, std::uint64_t seed,
                                   Gradients& gradients) {
  if (dims.empty()) return invalid_input("At least one dimension is required");
  if (dims.size() > MAX_DIMS) {
    return invalid_input("At most " + std::to_string(MAX_DIMS) + " dimensions are supported");
  }
  for (std::uint64_t d : dims) {
    if (d == 0) return invalid_input("Dimension cannot be 0");
  }

  Instance field;
  field.shape_.reserve(dims.size());
  std::uint64_t intersections = 1;
  for (std::uint64_t d : dims) {
    auto extent = checked_add(d, 1);
    auto product = extent ? checked_mul(intersections, *extent) : std::nullopt;
    if (!product) return invalid_input("Grid size overflows usize");
    field.shape_.push_back(*extent);
    intersections = *product;
  }

  const std::size_t n = dims.size();
  auto numbers = checked_mul(intersections, n);
  if (!numbers) return out_of_memory();
  auto space = allocate_deferred<double>(*numbers);
  if (!space) return std::unexpected(space.error());
  gradients = std::move(*space);

  field.strides_ = row_major_strides(field.shape_);
  field.dims_ = std::move(dims);
  field.intersections_ = intersections;
  field.seed_ = seed;
  return field;
}

Instance& Instance::own(Gradients gradients) {
  gradients_ = std::make_shared<const Gradients>(std::move(gradients));
  data_ = gradients_->data();
  return *this;
}

Result<Instance> Instance::create(std::vector<std::uint64_t> dims, std::uint64_t seed) {
  Gradients gradients;
  auto field = lay_out(std::move(dims), seed, gradients);
  if (!field) return field;
  const std::size_t n = field->n();
  SplitMix64 random(seed);
  for (std::uint64_t k = 0; k < field->intersections_; ++k) {
    if (k % DRAWN_PER_LOOK == 0 && stop_requested()) return interrupted();
    random.next_unit_vector(std::span<double>(gradients.data() + k * n, n));
  }
  field->own(std::move(gradients));
  return field;
}

Result<Instance> Instance::create_from(
    std::vector<std::uint64_t> dims, std::uint64_t seed,
    const std::function<void(const std::uint64_t* index, double* out)>& draw) {
  Gradients space;
  auto field = lay_out(std::move(dims), seed, space);
  if (!field) return field;
  const std::size_t n = field->n();
  const std::vector<std::uint64_t>& strides = field->strides_;
  double* gradients = space.data();
  auto done = for_each_chunk(field->intersections_, SERIAL_LIMIT,
                             [&](std::uint64_t begin, std::uint64_t end) {
    std::uint64_t index[MAX_DIMS] = {};
    for (std::size_t i = 0, rest = begin; i < n; ++i) {
      index[i] = rest / strides[i];
      rest -= index[i] * strides[i];
    }
    for (std::uint64_t k = begin; k < end; ++k) {
      draw(index, gradients + k * n);
      // The next index in row-major order: the last axis fastest.
      for (std::size_t i = n; i-- > 0;) {
        if (++index[i] < field->shape_[i]) break;
        index[i] = 0;
      }
    }
  });
  if (!done) return std::unexpected(done.error());
  field->own(std::move(space));
  return field;
}

double Instance::eval(std::span<const std::uint64_t> cell, std::span<const double> frac) const {
  const std::size_t n = dims_.size();
  Sides axes[MAX_DIMS];
  std::uint64_t base = 0;
  for (std::size_t i = 0; i < n; ++i) {
    axes[i] = sides_at(frac[i]);
    base += cell[i] * strides_[i];
  }
  const double one = 1.0;
  return formula::noise<0>(n, axes, &one, corner_gradients(base));
}

std::uint64_t Instance::locate(std::span<const double> point, Sides* axes) const {
  std::uint64_t base = 0;
  for (std::size_t i = 0; i < dims_.size(); ++i) {
    const AxisPoint at = locate_on_axis(point[i], dims_[i]);
    axes[i] = at.sides;
    base += at.cell * strides_[i];
  }
  return base;
}

double Instance::sample(std::span<const double> point) const {
  switch (n()) {
    case 2:
      return FixedField<2>(*this).noise(point.data());
    case 3:
      return FixedField<3>(*this).noise(point.data());
    case 4:
      return FixedField<4>(*this).noise(point.data());
    default:
      break;
  }
  Sides axes[MAX_DIMS];
  const std::uint64_t base = locate(point, axes);
  const double one = 1.0;
  return formula::noise<0>(n(), axes, &one, corner_gradients(base));
}

void Instance::pull(std::span<const double> point, std::span<double> out) const {
  switch (n()) {
    case 2:
      return copy_to(FixedField<2>(*this).pull(point.data()), out);
    case 3:
      return copy_to(FixedField<3>(*this).pull(point.data()), out);
    case 4:
      return copy_to(FixedField<4>(*this).pull(point.data()), out);
    default:
      break;
  }
  Sides axes[MAX_DIMS];
  const std::uint64_t base = locate(point, axes);
  for (std::size_t i = 0; i < n(); ++i) out[i] = 0.0;
  formula::pull<0>(n(), axes, corner_gradients(base), out.data());
}

Status Instance::expect_inside(std::span<const double> point) const {
  if (point.size() != n()) {
    return invalid_input("Expected " + std::to_string(n()) + " coordinates, got " +
                         std::to_string(point.size()));
  }
  for (std::size_t i = 0; i < n(); ++i) {
    double x = point[i];
    if (!(0.0 <= x && x <= static_cast<double>(dims_[i]))) {
      return invalid_input("Coordinate " + std::to_string(i) + " is " + plain_float(x) +
                           ", outside the boundary [0, " + std::to_string(dims_[i]) + "]");
    }
  }
  return {};
}

Result<std::vector<double>> Instance::force(std::span<const double> point) const {
  if (auto inside = expect_inside(point); !inside) return std::unexpected(inside.error());
  std::vector<double> out(n(), 0.0);
  pull(point, out);
  return out;
}

std::optional<std::span<const double>> Instance::gradient(
    std::span<const std::uint64_t> index) const {
  if (index.size() != n()) return std::nullopt;
  std::uint64_t k = 0;
  for (std::size_t i = 0; i < n(); ++i) {
    if (index[i] >= shape_[i]) return std::nullopt;
    k += strides_[i] * index[i];
  }
  return std::span<const double>(data_ + k * n(), n());
}

}  // namespace veldra
