// The formula's steps return vectors; all of them are inlined into the
// AVX2 function below, so no vector crosses a call and the ABI note that
// the baseline build would give for them does not apply.
#pragma GCC diagnostic ignored "-Wpsabi"

#include "table/detail/point_noise.hpp"

#include <span>

#include "field/fixed_field.hpp"
#include "field/lattice_bounds.hpp"
#include "field/octave.hpp"

namespace veldra {
namespace {

typedef double Lanes4 __attribute__((vector_size(4 * sizeof(double))));

// Whether `bounds` takes every coordinate of `count` points: the check of
// the points that no vector evaluated.
template <std::size_t N>
bool inside(const LatticeBounds& bounds, const double* points, std::uint64_t count) {
  return refused_among<N>(bounds, points, count) == 0;
}

// Four points per AVX2 register, the last few one at a time.
template <std::size_t N>
[[gnu::target("avx2")]] bool noise_avx2(const FixedField<N>& field, const LatticeBounds& bounds,
                                        const double* points, std::uint64_t count, double* out) {
  bool all = true;
  std::uint64_t p = 0;
  for (; p + 4 <= count; p += 4) {
    all = all & field.template noise_lanes<Lanes4>(points + p * N, out + p);
  }
  field.noise_many(points + p * N, count - p, out + p);
  return all & inside<N>(bounds, points + p * N, count - p);
}

// N axes (0: n at run time, one point after another).
template <std::size_t N>
bool noise_fixed(const Instance& field, const double* points, std::uint64_t count, double* out,
                 Simd simd) {
  const LatticeBounds bounds(field.dims());
  if constexpr (N == 0) {
    const std::size_t n = field.n();
    for (std::uint64_t p = 0; p < count; ++p) {
      out[p] = field.sample(std::span<const double>(points + p * n, n));
    }
  } else {
    const FixedField<N> fixed(field);
    if (simd != Simd::Sse2) return noise_avx2(fixed, bounds, points, count, out);
    fixed.noise_many(points, count, out);
  }
  return inside<N>(bounds, points, count);
}

}  // namespace

bool noise_points(const Instance& field, const double* points, std::uint64_t count, double* out,
                  Simd simd) {
  return with_fixed_axes(field.n(), [&](auto axes) {
    return noise_fixed<decltype(axes)::value>(field, points, count, out, simd);
  });
}

}  // namespace veldra
