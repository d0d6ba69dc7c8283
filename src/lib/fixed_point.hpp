// Point evaluation for a fixed number of dimensions (2 to 4), used by
// Instance::sample and Instance::pull: the operations of Instance::eval and
// of its pull, in the same order, unrolled. The corner weights are built
// axis by axis, each corner's the same product in axis order that the
// corner-by-corner loop forms; corners of weight 0 are skipped as there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

#include "lib/instance.hpp"

namespace veldra::fixed_point {

template <std::size_t N>
struct Corners {
  static constexpr std::size_t COUNT = std::size_t{1} << N;
  double weight[COUNT];
  double offset[N][2];  // frac - 0.0 and frac - 1.0 per axis
  const double* gradients;
  std::uint64_t strides[N];
  std::uint64_t base = 0;

  [[gnu::always_inline]] Corners(const Instance& field, const std::uint64_t* cell,
                                 const double* frac)
      : gradients(field.gradients().data()) {
    weight[0] = 1.0;
    for (std::size_t i = 0; i < N; ++i) {
      const double w = fade(frac[i]);
      offset[i][0] = frac[i] - 0.0;
      offset[i][1] = frac[i] - 1.0;
      strides[i] = field.strides()[i];
      base += cell[i] * strides[i];
      const std::size_t half = std::size_t{1} << i;
      for (std::size_t j = 0; j < half; ++j) {
        weight[half + j] = weight[j] * w;
        weight[j] = weight[j] * (1.0 - w);
      }
    }
  }

  // The gradient of corner C.
  template <std::size_t C>
  [[gnu::always_inline]] const double* gradient() const {
    std::uint64_t k = base;
    for (std::size_t i = 0; i < N; ++i) {
      if ((C >> i) & 1) k += strides[i];
    }
    return gradients + k * N;
  }

  template <std::size_t C, std::size_t... I>
  [[gnu::always_inline]] void add_noise(double& total, std::index_sequence<I...>) const {
    if (weight[C] == 0.0) return;
    const double* g = gradient<C>();
    double dot = 0.0;
    ((dot = dot + g[I] * offset[I][(C >> I) & 1]), ...);
    total = total + weight[C] * dot;
  }

  template <std::size_t C, std::size_t... I>
  [[gnu::always_inline]] void add_pull(double* out, std::index_sequence<I...>) const {
    if (weight[C] == 0.0) return;
    const double* g = gradient<C>();
    ((out[I] = out[I] + weight[C] * g[I]), ...);
  }

  template <std::size_t... C>
  [[gnu::always_inline]] double noise(std::index_sequence<C...>) const {
    double total = 0.0;
    (add_noise<C>(total, std::make_index_sequence<N>{}), ...);
    return total;
  }

  template <std::size_t... C>
  [[gnu::always_inline]] void pull(double* out, std::index_sequence<C...>) const {
    for (std::size_t j = 0; j < N; ++j) out[j] = 0.0;
    (add_pull<C>(out, std::make_index_sequence<N>{}), ...);
  }
};

// Instance::eval(cell, frac) of a field of N dimensions.
template <std::size_t N>
double noise(const Instance& field, const std::uint64_t* cell, const double* frac) {
  return Corners<N>(field, cell, frac).noise(std::make_index_sequence<Corners<N>::COUNT>{});
}

// The blend of pull, written to out[0 .. N), of a field of N dimensions.
template <std::size_t N>
void pull(const Instance& field, const std::uint64_t* cell, const double* frac, double* out) {
  Corners<N>(field, cell, frac).pull(out, std::make_index_sequence<Corners<N>::COUNT>{});
}

}  // namespace veldra::fixed_point
