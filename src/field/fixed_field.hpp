// A field whose number of axes (2 to 4) is known when compiling: the
// formula (field/formula.hpp) unrolled, for Instance::sample and
// Instance::pull, for the globe's slices and for hair growth, which
// evaluate one field at many points.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "field/lane_gradients.hpp"
#include "field/lattice_axis.hpp"
#include "field/formula.hpp"
#include "field/instance.hpp"
#include "field/lattice_bounds.hpp"

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
    formula::each<N>(N, [&](auto i) {
      dims_[i] = field.dims()[i];
      strides_[i] = field.strides()[i];
    });
    formula::each<CORNERS>(CORNERS, [&](auto c) {
      corner_steps_[c] = 0;
      formula::each<N>(N, [&](auto i) {
        if constexpr ((std::remove_cvref_t<decltype(c)>::value >> std::remove_cvref_t<decltype(i)>::value) & 1) corner_steps_[c] += strides_[i] * N;
      });
    });
  }

  // Where `point` (N coordinates) lies, clamped into the lattice as
  // Instance::sample and Instance::pull place it.
  [[gnu::always_inline]] Located locate(const double* point) const {
    Located at;
    formula::each<N>(N, [&](auto i) { at[i] = locate_on_axis(point[i], dims_[i]); });
    return at;
  }

  // Instance::sample at `point`.
  [[gnu::always_inline]] double noise(const double* point) const { return noise(locate(point)); }

  // Instance::sample at each of `count` points (N coordinates each, one
  // after another) into out[0 .. count): no corner is skipped, so the loop
  // takes no branch per corner.
  void noise_many(const double* points, std::size_t count, double* out) const {
    for (std::size_t p = 0; p < count; ++p) {
      Sides axes[N];
      const double* lowest = lowest_corner(locate(points + p * N), axes);
      out[p] = formula::noise<N, 0, false>(N, axes, &ONE,
                                          [&](auto c) { return lowest + corner_steps_[c]; });
    }
  }

  // Instance::sample at four points, one per lane of V (a vector of four
  // doubles; N coordinates each, one after another): every lane
  // performs noise_many's IEEE operations in its order. Writes out[0 ..
  // lanes) and returns whether every coordinate lay inside the lattice
  // (inside_axis, as LatticeBounds takes them: no NaN, nothing clamped),
  // as a quick check of the points.
  template <typename V>
  [[gnu::always_inline]] bool noise_lanes(const double* points, double* out) const {
    constexpr std::size_t LANES = sizeof(V) / sizeof(double);
    SidesOf<V> axes[N];
    V base{};  // the lowest corner's index, exact in a double like each cell
    const V zero{};
    auto inside = zero == zero;
    formula::each<N>(N, [&](auto i) {
      V x, cell;
      for (std::size_t lane = 0; lane < LANES; ++lane) x[lane] = points[lane * N + i];
      inside = inside & inside_axis(x, broadcast<V>(static_cast<double>(dims_[i])));
      axes[i] = locate_lanes(x, dims_[i], cell);
      base = base + cell * static_cast<double>(strides_[i]);
    });
    const double* lowest[LANES];
    for (std::size_t lane = 0; lane < LANES; ++lane) {
      lowest[lane] = gradients_ + static_cast<std::int64_t>(base[lane]) * N;
    }
    V components[CORNERS][N];
    for (std::size_t c = 0; c < CORNERS; ++c) {
      const double* corner[LANES];
      for (std::size_t lane = 0; lane < LANES; ++lane) corner[lane] = lowest[lane] + corner_steps_[c];
      transposed<N>(corner, components[c]);
    }
    const V total = formula::noise<N, 0, false>(N, axes, &ONE,
                                                [&](auto c) { return LaneComponents<V>{components[c]}; });
    // Stored lane by lane as doubles, so that the compiler knows the
    // stores leave this record alone and keeps its numbers in registers.
    bool all = true;
    for (std::size_t lane = 0; lane < LANES; ++lane) {
      out[lane] = total[lane];
      all = all & (inside[lane] != 0);
    }
    return all;
  }

  // What Instance::pull writes for `point`.
  [[gnu::always_inline]] std::array<double, N> pull(const double* point) const {
    return pull(locate(point));
  }

  // The noise inside the cell and at the offsets of `at`, whose corner
  // weights over the first K axes are `prefix` (as formula::weight_of
  // takes them): points that share those axes share their weights.
  template <std::size_t K = 0>
  [[gnu::always_inline]] double noise(const Located& at, const double* prefix = &ONE) const {
    Sides axes[N];
    const double* lowest = lowest_corner(at, axes);
    return formula::noise<N, K>(N, axes, prefix, [&](auto c) { return lowest + corner_steps_[c]; });
  }

  // The gradients around `at` blended under its fade weights.
  [[gnu::always_inline]] std::array<double, N> pull(const Located& at) const {
    Sides axes[N];
    const double* lowest = lowest_corner(at, axes);
    // Summed in a local array rather than in the returned one, which the
    // compiler would keep in memory across the skipped corners.
    double sum[N];
    formula::each<N>(N, [&](auto i) { sum[i] = 0.0; });
    formula::pull<N>(N, axes, [&](auto c) { return lowest + corner_steps_[c]; }, sum);
    std::array<double, N> out;
    formula::each<N>(N, [&](auto i) { out[i] = sum[i]; });
    return out;
  }

 private:
  static constexpr double ONE = 1.0;

  // Copies the Sides of `at` to `axes` and finds its cell's lowest gradient.
  [[gnu::always_inline]] const double* lowest_corner(const Located& at, Sides* axes) const {
    std::uint64_t base = 0;
    formula::each<N>(N, [&](auto i) {
      axes[i] = at[i].sides;
      base += at[i].cell * strides_[i];
    });
    return gradients_ + base * N;
  }

  const double* gradients_;  // N numbers per intersection, row-major
  std::array<std::uint64_t, N> dims_;
  std::array<std::uint64_t, N> strides_;
  // How many numbers lie from a cell's lowest gradient to corner C's.
  std::array<std::uint64_t, CORNERS> corner_steps_;
};

}  // namespace veldra
