// The formula's steps return vectors; all of them are inlined into the
// AVX2 function below, so no vector crosses a call and the ABI note that
// the baseline build would give for them does not apply.
#pragma GCC diagnostic ignored "-Wpsabi"

#include "table/detail/point_noise.hpp"

#include <span>

#include "field/fixed_field.hpp"
#include "field/octave.hpp"

namespace veldra {
namespace {

typedef double Lanes4 __attribute__((vector_size(4 * sizeof(double))));

// Whether the coordinates of `count` points lie inside the lattice of
// `field`: the check of the points that no vector evaluated.
bool inside(const Instance& field, const double* points, std::uint64_t count) {
  const std::size_t n = field.n();
  bool all = true;
  for (std::uint64_t p = 0; p < count; ++p) {
    for (std::size_t i = 0; i < n; ++i) {
      const double x = points[p * n + i];
      all = all & (0.0 <= x) & (x <= static_cast<double>(field.dims()[i]));
    }
  }
  return all;
}

// Four points per AVX2 register, the last few one at a time.
template <std::size_t N>
[[gnu::target("avx2")]] bool noise_avx2(const FixedField<N>& field, const Instance& instance,
                                        const double* points, std::uint64_t count, double* out) {
  bool all = true;
  std::uint64_t p = 0;
  for (; p + 4 <= count; p += 4) {
    all = all & field.template noise_lanes<Lanes4>(points + p * N, out + p);
  }
  field.noise_many(points + p * N, count - p, out + p);
  return all & inside(instance, points + p * N, count - p);
}

// N axes (0: n at run time, one point after another).
template <std::size_t N>
bool noise_fixed(const Instance& field, const double* points, std::uint64_t count, double* out,
                 Simd simd) {
  if constexpr (N == 0) {
    const std::size_t n = field.n();
    for (std::uint64_t p = 0; p < count; ++p) {
      out[p] = field.sample(std::span<const double>(points + p * n, n));
    }
  } else {
    const FixedField<N> fixed(field);
    if (simd != Simd::Sse2) return noise_avx2(fixed, field, points, count, out);
    fixed.noise_many(points, count, out);
  }
  return inside(field, points, count);
}

}  // namespace

bool noise_points(const Instance& field, const double* points, std::uint64_t count, double* out,
                  Simd simd) {
  return with_fixed_axes(field.n(), [&](auto axes) {
    return noise_fixed<decltype(axes)::value>(field, points, count, out, simd);
  });
}

}  // namespace veldra
