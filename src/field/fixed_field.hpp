// A field whose number of axes (2 to 4) is known when compiling: the corner
// walk of Instance::eval and of its pull unrolled, for Instance::sample and
// Instance::pull and for callers that evaluate one field at many points.
// Corner weights are built axis by axis, each corner's the same product in
// axis order, from 1.0, that the corner-by-corner loop forms; corners of
// weight 0 are skipped and sums start from 0.0 as there, so every result is
// bit for bit the general walk's.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "field/instance.hpp"
#include "field/lattice_axis.hpp"

namespace veldra {

template <std::size_t N>
class FixedField {
 public:
  static constexpr std::size_t CORNERS = std::size_t{1} << N;
  using Located = std::array<AxisPoint, N>;

  // `field` must have N axes and outlive this record. Building it reads the
  // field's layout once, so keep one for as long as its points are wanted.
  [[gnu::always_inline]] explicit FixedField(const Instance& field)
      : gradients_(field.gradients().data()) {
    unrolled<N>([&]<std::size_t I> [[gnu::always_inline]] () {
      dims_[I] = field.dims()[I];
      strides_[I] = field.strides()[I];
    });
    unrolled<CORNERS>([&]<std::size_t C> [[gnu::always_inline]] () {
      corner_steps_[C] = 0;
      unrolled<N>([&]<std::size_t I> [[gnu::always_inline]] () {
        if constexpr ((C >> I) & 1) corner_steps_[C] += strides_[I] * N;
      });
    });
  }

  // Where `point` (N coordinates) lies, clamped into the lattice as
  // Instance::sample and Instance::pull place it.
  [[gnu::always_inline]] Located locate(const double* point) const {
    Located at;
    unrolled<N>([&]<std::size_t I> [[gnu::always_inline]] () {
      at[I] = locate_on_axis(point[I], dims_[I]);
    });
    return at;
  }

  // Instance::sample at `point`.
  [[gnu::always_inline]] double noise(const double* point) const { return noise(locate(point)); }

  // What Instance::pull writes for `point`.
  [[gnu::always_inline]] std::array<double, N> pull(const double* point) const {
    return pull(locate(point));
  }

  // Instance::eval inside the cell and at the fractions of `at`.
  [[gnu::always_inline]] double noise(const Located& at) const {
    double total = 0.0;
    for_each_corner(at, [&]<std::size_t C> [[gnu::always_inline]] (double weight, const double* g) {
      double dot = 0.0;
      unrolled<N>([&]<std::size_t I> [[gnu::always_inline]] () {
        dot = dot + g[I] * ((C >> I) & 1 ? at[I].high : at[I].low);
      });
      total = total + weight * dot;
    });
    return total;
  }

  // The gradients around `at` blended under its fade weights.
  [[gnu::always_inline]] std::array<double, N> pull(const Located& at) const {
    // Summed in a local array rather than in the returned one, which the
    // compiler would keep in memory across the skipped corners.
    double sum[N];
    unrolled<N>([&]<std::size_t I> [[gnu::always_inline]] () { sum[I] = 0.0; });
    for_each_corner(at, [&]<std::size_t C> [[gnu::always_inline]] (double weight, const double* g) {
      unrolled<N>([&]<std::size_t I> [[gnu::always_inline]] () {
        sum[I] = sum[I] + weight * g[I];
      });
    });
    std::array<double, N> out;
    unrolled<N>([&]<std::size_t I> [[gnu::always_inline]] () { out[I] = sum[I]; });
    return out;
  }

 private:
  // Calls f.template operator()<I>() for I = 0 .. COUNT - 1 in order. Every
  // loop here is written this way: with constant indices the compiler keeps
  // the small arrays in registers instead of on the stack.
  template <std::size_t COUNT, typename F>
  [[gnu::always_inline]] static void unrolled(F&& f) {
    [&]<std::size_t... I> [[gnu::always_inline]] (std::index_sequence<I...>) {
      (f.template operator()<I>(), ...);
    }(std::make_index_sequence<COUNT>{});
  }

  // Calls visit.template operator()<C>(weight, gradient) for the corners
  // C = 0 .. CORNERS - 1 in increasing order, bit i of C on the upper side
  // of axis i, skipping corners of weight 0. Each corner's weight is written
  // out whole; corners that share their lower axes share those products
  // once compiled.
  template <typename Visit>
  [[gnu::always_inline]] void for_each_corner(const Located& at, Visit&& visit) const {
    std::uint64_t base = 0;
    unrolled<N>([&]<std::size_t I> [[gnu::always_inline]] () { base += at[I].cell * strides_[I]; });
    const double* lowest = gradients_ + base * N;
    unrolled<CORNERS>([&]<std::size_t C> [[gnu::always_inline]] () {
      double weight = 1.0;
      unrolled<N>([&]<std::size_t I> [[gnu::always_inline]] () {
        weight = weight * ((C >> I) & 1 ? at[I].fade : 1.0 - at[I].fade);
      });
      if (weight != 0.0) visit.template operator()<C>(weight, lowest + corner_steps_[C]);
    });
  }

  const double* gradients_;  // N numbers per intersection, row-major
  std::array<std::uint64_t, N> dims_;
  std::array<std::uint64_t, N> strides_;
  // How many numbers lie from a cell's lowest gradient to corner C's.
  std::array<std::uint64_t, CORNERS> corner_steps_;
};

}  // namespace veldra
