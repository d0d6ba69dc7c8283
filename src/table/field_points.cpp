// The noise, the pull and the derivative of a Field at many points: for 2
// to 4 axes four points at a time in AVX2 lanes, every octave; the rest
// one at a time.
// The formula's steps return vectors; all of them are inlined into the
// AVX2 functions below (noise_avx2, pull_avx2), so no vector crosses a
// call and the ABI note that the baseline build would give for them does
// not apply.
#pragma GCC diagnostic ignored "-Wpsabi"

#include <cmath>
#include <cstring>
#include <span>
#include <type_traits>

#include "field/field.hpp"
#include "field/lane_gradients.hpp"
#include "field/lattice_axis.hpp"
#include "field/octave.hpp"
#include "table/detail/point_noise.hpp"

namespace veldra {
namespace {

typedef double Lanes4 __attribute__((vector_size(4 * sizeof(double))));
typedef std::uint32_t Words4 __attribute__((vector_size(4 * sizeof(std::uint32_t))));
typedef std::int32_t Ints4 __attribute__((vector_size(4 * sizeof(std::int32_t))));

// Cells below 2^31 on every lane: their indices and the next ones are
// 32-bit integers, so the gradient rule's words are found in the lanes.
constexpr double SMALL_CELL = 2147483647.0;  // 2^31 - 1

// term_i of the lower and upper index of each lane's cell, from the cell
// as a whole double (below 2^31 in magnitude, and the upper index too):
// the index's low word is the two's complement integer, its high word
// that integer's sign (0 or all ones), as the 64-bit index has them. On a
// wrapped axis the upper index `cells` is index 0 (term's wrap).
[[gnu::always_inline]] inline void small_terms(std::size_t i, const Lanes4& cell, bool wraps,
                                               std::uint64_t cells, Words4* term) {
  const Ints4 lower = __builtin_convertvector(cell, Ints4);
  Ints4 upper = lower + 1;
  if (wraps) upper = upper == static_cast<std::int32_t>(cells) ? Ints4{} : upper;
  term[0] = axis_term_of(i, reinterpret_cast<Words4>(lower), reinterpret_cast<Words4>(lower >> 31));
  term[1] = axis_term_of(i, reinterpret_cast<Words4>(upper), reinterpret_cast<Words4>(upper >> 31));
}

// Whether every octave's lattice has fewer than 2^52 cells on each axis
// with walls or wrapping, where locate_lanes places coordinates as
// locate_on_axis does (an unbounded axis is placed lane by lane with the
// floor of locate_open).
bool lanes_place_exactly(const Field& field) {
  for (const Octave& octave : field.octaves()) {
    for (std::size_t i = 0; i < field.n(); ++i) {
      if (field.kind(i) != AxisKind::Open && octave.cells[i] >= (std::uint64_t{1} << 52)) return false;
    }
  }
  return true;
}

// One octave of a Field at four points, one per lane: the coordinates
// scaled (and wrapped) lane by lane as octave_point does and placed by
// locate_lanes, or on an unbounded axis at their floor as locate_open
// places them; each corner's gradient found per lane by the octave's rule
// (a palette octave's in 32-bit lanes, split off axis by axis as
// OctaveGradients::term and gradient_of form it; its periodic wrap is
// term's).
template <std::size_t N>
struct OctaveLanes {
  static constexpr std::size_t LANES = 4;
  static constexpr std::size_t CORNERS = std::size_t{1} << N;
  SidesOf<Lanes4> axes[N];
  Lanes4 components[CORNERS][N];

  [[gnu::always_inline]] OctaveLanes(const Field& field, std::size_t k, const Lanes4* coordinates) {
    const Octave& octave = field.octaves()[k];
    const OctaveGradients gradients = field.gradients(k);
    Lanes4 cell[N];
    for (std::size_t i = 0; i < N; ++i) {
      Lanes4 x = coordinates[i] * octave.scale;
      if (field.kind(i) == AxisKind::Open) {
        for (std::size_t lane = 0; lane < LANES; ++lane) cell[i][lane] = std::floor(x[lane]);
        axes[i] = sides_at(x - cell[i]);
        continue;
      }
      if (field.kind(i) == AxisKind::Wrap) {
        for (std::size_t lane = 0; lane < LANES; ++lane) x[lane] = wrapped(x[lane], octave.cells[i]);
      }
      axes[i] = locate_lanes(x, octave.cells[i], cell[i]);
    }
    // Each lane's lowest corner as the 64-bit index (an unbounded axis's
    // negative cell as its two's complement, as locate_open gives it).
    const auto lowest = [&](std::size_t i, std::size_t lane) {
      return static_cast<std::uint64_t>(static_cast<std::int64_t>(cell[i][lane]));
    };
    if (const double* palette = gradients.palette()) {
      Words4 sums[CORNERS];
      sums[0] = Words4{} + seed_term(octave.seed);
      formula::each<N>(N, [&] [[gnu::always_inline]] (auto i) {
        constexpr std::size_t count = std::size_t{1} << decltype(i)::value;
        Words4 term[2];
        const Lanes4 magnitude = cell[i] < Lanes4{} ? -cell[i] : cell[i];
        bool small = static_cast<double>(octave.cells[i]) <= SMALL_CELL;
        for (std::size_t lane = 0; lane < LANES; ++lane) small &= magnitude[lane] < SMALL_CELL;
        if (small) {
          small_terms(i, cell[i], gradients.wraps(i), octave.cells[i], term);
        } else {
          for (std::size_t side = 0; side < 2; ++side) {
            const auto at = [&](std::size_t lane) {
              return static_cast<std::uint32_t>(gradients.term(i, lowest(i, lane) + side));
            };
            term[side] = Words4{at(0), at(1), at(2), at(3)};
          }
        }
        formula::each<count>(count, [&] [[gnu::always_inline]] (auto j) {
          sums[count + j] = sums[j] + term[1];
          sums[j] = sums[j] + term[0];
        });
      });
      // Each corner's entry as its offset into the palette, stored whole:
      // the lanes read back with plain loads cost less than extracting
      // each from its vector.
      alignas(16) std::uint32_t offsets[CORNERS][LANES];
      for (std::size_t c = 0; c < CORNERS; ++c) {
        const Words4 offset = (mixed(sums[c]) >> 24) * static_cast<std::uint32_t>(N);
        std::memcpy(offsets[c], &offset, sizeof offset);
      }
      asm volatile("" : "+m"(offsets));
      for (std::size_t c = 0; c < CORNERS; ++c) {
        const double* corner[LANES];
        for (std::size_t lane = 0; lane < LANES; ++lane) corner[lane] = palette + offsets[c][lane];
        transposed<N>(corner, components[c]);
      }
    } else if (field.wraps() == 0) {
      // The stored lattice between walls: corner c's gradient lies a fixed
      // distance from the lowest corner's, the sum of the terms of index 1
      // on its upper axes. The lowest corner's sum is formed in doubles,
      // exact: every product and sum is a whole number below the lattice's
      // size, which is in memory.
      const double* origin = gradients.gradient_of(0);
      std::ptrdiff_t step[CORNERS];
      formula::each<CORNERS>(CORNERS, [&] [[gnu::always_inline]] (auto c) {
        std::uint64_t sum = 0;
        formula::each<N>(N, [&] [[gnu::always_inline]] (auto i) {
          constexpr std::size_t corner = std::remove_cvref_t<decltype(c)>::value;
          if constexpr ((corner >> std::remove_cvref_t<decltype(i)>::value) & 1) sum += gradients.term(i, 1);
        });
        step[c] = gradients.gradient_of(sum) - origin;
      });
      Lanes4 sum{};
      formula::each<N>(N, [&] [[gnu::always_inline]] (auto i) {
        sum += cell[i] * static_cast<double>(gradients.term(i, 1));
      });
      const double* lowest_corner[LANES];
      for (std::size_t lane = 0; lane < LANES; ++lane) {
        lowest_corner[lane] = gradients.gradient_of(static_cast<std::uint64_t>(sum[lane]));
      }
      for (std::size_t c = 0; c < CORNERS; ++c) {
        const double* corner[LANES];
        for (std::size_t lane = 0; lane < LANES; ++lane) corner[lane] = lowest_corner[lane] + step[c];
        transposed<N>(corner, components[c]);
      }
    } else {
      std::uint64_t sums[CORNERS][LANES];
      for (std::size_t lane = 0; lane < LANES; ++lane) sums[0][lane] = gradients.sum_start();
      for (std::size_t i = 0, count = 1; i < N; ++i, count *= 2) {
        for (std::size_t lane = 0; lane < LANES; ++lane) {
          const std::uint64_t lower = gradients.term(i, lowest(i, lane));
          const std::uint64_t upper = gradients.term(i, lowest(i, lane) + 1);
          for (std::size_t j = 0; j < count; ++j) {
            sums[count + j][lane] = sums[j][lane] + upper;
            sums[j][lane] = sums[j][lane] + lower;
          }
        }
      }
      for (std::size_t c = 0; c < CORNERS; ++c) {
        const double* corner[LANES];
        for (std::size_t lane = 0; lane < LANES; ++lane) corner[lane] = gradients.gradient_of(sums[c][lane]);
        transposed<N>(corner, components[c]);
      }
    }
  }

  [[gnu::always_inline]] LaneComponents<Lanes4> gradient(std::size_t c) const { return {components[c]}; }
};

// Axis i of four points (N numbers each) in lanes, out[i]: formed once
// for all the octaves.
template <std::size_t N>
[[gnu::always_inline]] inline void coordinate_lanes(const double* points, Lanes4* out) {
  for (std::size_t i = 0; i < N; ++i) {
    for (std::size_t lane = 0; lane < 4; ++lane) out[i][lane] = points[lane * N + i];
  }
}

// Field::sample at four points: each octave in the lanes, then each lane's
// term folded and summed in octave order, as Field::sample does.
template <std::size_t N>
[[gnu::always_inline]] inline void field_lanes(const Field& field, const double* points, double* out) {
  static constexpr double ONE = 1.0;
  const Shape shape = field.settings().shape;
  Lanes4 total{}, coordinates[N];
  coordinate_lanes<N>(points, coordinates);
  for (std::size_t k = 0; k < field.octaves().size(); ++k) {
    const OctaveLanes<N> octave(field, k, coordinates);
    const Lanes4 v = formula::noise<N, 0, false>(N, octave.axes, &ONE, [&](auto c) { return octave.gradient(c); });
    term_step(total, broadcast<Lanes4>(field.octaves()[k].weight), shaped(shape, v));
  }
  const Lanes4 value = total / field.weight_sum();
  for (std::size_t lane = 0; lane < 4; ++lane) out[lane] = value[lane];
}

// Field::pull at four points (N numbers each into out): each octave's pull
// in the lanes, summed per component in octave order under its weight.
template <std::size_t N>
[[gnu::always_inline]] inline void field_pull_lanes(const Field& field, const double* points,
                                                    double* out) {
  Lanes4 total[N] = {}, coordinates[N];
  coordinate_lanes<N>(points, coordinates);
  for (std::size_t k = 0; k < field.octaves().size(); ++k) {
    const OctaveLanes<N> octave(field, k, coordinates);
    Lanes4 sum[N] = {};
    formula::pull<N, false>(N, octave.axes, [&](auto c) { return octave.gradient(c); }, sum);
    const Lanes4 weight = broadcast<Lanes4>(field.octaves()[k].weight);
    for (std::size_t i = 0; i < N; ++i) term_step(total[i], weight, sum[i]);
  }
  for (std::size_t lane = 0; lane < 4; ++lane) {
    for (std::size_t i = 0; i < N; ++i) out[lane * N + i] = total[i][lane] / field.weight_sum();
  }
}

// Field::slope at four points (N numbers each into out): each octave's
// value and derivative in the lanes, then each lane's derivative scaled,
// folded and summed per component in octave order, as Field::slope does.
template <std::size_t N>
[[gnu::always_inline]] inline void field_slope_lanes(const Field& field, const double* points,
                                                     double* out) {
  const Shape shape = field.settings().shape;
  Lanes4 total[N] = {}, coordinates[N];
  coordinate_lanes<N>(points, coordinates);
  for (std::size_t k = 0; k < field.octaves().size(); ++k) {
    const OctaveLanes<N> octave(field, k, coordinates);
    SlopesOf<Lanes4> slopes[N];
    for (std::size_t i = 0; i < N; ++i) slopes[i] = slopes_at(octave.axes[i].offset[0]);
    Lanes4 value{}, d[N] = {};
    formula::derivative<N>(N, octave.axes, slopes, [&](auto c) { return octave.gradient(c); }, value, d);
    const Octave& o = field.octaves()[k];
    const Lanes4 weight = broadcast<Lanes4>(o.weight);
    const Lanes4 scale = broadcast<Lanes4>(o.scale);
    for (std::size_t i = 0; i < N; ++i) term_step(total[i], weight, shaped_slope(shape, value, d[i] * scale));
  }
  for (std::size_t i = 0; i < N; ++i) total[i] = total[i] / field.weight_sum();
  for (std::size_t lane = 0; lane < 4; ++lane) {
    for (std::size_t i = 0; i < N; ++i) out[lane * N + i] = total[i][lane];
  }
}

// The lanes compiled for AVX2, four points at a time over the first
// `count` (a multiple of four) points: the vectors stay inside.
template <std::size_t N>
[[gnu::target("avx2")]] void noise_avx2(const Field& field, const double* points, std::uint64_t count,
                                        double* out) {
  for (std::uint64_t p = 0; p < count; p += 4) field_lanes<N>(field, points + p * N, out + p);
}

template <std::size_t N>
[[gnu::target("avx2")]] void pull_avx2(const Field& field, const double* points, std::uint64_t count,
                                       double* out) {
  for (std::uint64_t p = 0; p < count; p += 4) field_pull_lanes<N>(field, points + p * N, out + p * N);
}

template <std::size_t N>
[[gnu::target("avx2")]] void slope_avx2(const Field& field, const double* points, std::uint64_t count,
                                        double* out) {
  for (std::uint64_t p = 0; p < count; p += 4) field_slope_lanes<N>(field, points + p * N, out + p * N);
}

// Calls lanes(axes, whole) with the fixed axis count and the most points
// that are whole groups of four, when the field's points go in lanes (2
// to 4 axes, AVX2, every lattice within locate_lanes' reach); returns how
// many points it took.
template <typename Lanes>
std::uint64_t in_lanes(const Field& field, std::uint64_t count, Simd simd, Lanes&& lanes) {
  if (simd == Simd::Sse2 || field.n() < 2 || field.n() > 4 || !lanes_place_exactly(field)) return 0;
  const std::uint64_t whole = count - count % 4;
  with_fixed_axes(field.n(), [&](auto axes) {
    if constexpr (decltype(axes)::value != 0) lanes(axes, whole);
  });
  return whole;
}

}  // namespace

void noise_points(const Field& field, const double* points, std::uint64_t count, double* out,
                  Simd simd) {
  const std::size_t n = field.n();
  std::uint64_t p = in_lanes(field, count, simd, [&](auto axes, std::uint64_t whole) {
    noise_avx2<decltype(axes)::value>(field, points, whole, out);
  });
  for (; p < count; ++p) out[p] = field.sample(std::span<const double>(points + p * n, n));
}

void pull_points(const Field& field, const double* points, std::uint64_t count, double* out,
                 Simd simd) {
  const std::size_t n = field.n();
  std::uint64_t p = in_lanes(field, count, simd, [&](auto axes, std::uint64_t whole) {
    pull_avx2<decltype(axes)::value>(field, points, whole, out);
  });
  for (; p < count; ++p) {
    field.pull(std::span<const double>(points + p * n, n), std::span<double>(out + p * n, n));
  }
}

void slope_points(const Field& field, const double* points, std::uint64_t count, double* out,
                  Simd simd) {
  const std::size_t n = field.n();
  std::uint64_t p = in_lanes(field, count, simd, [&](auto axes, std::uint64_t whole) {
    slope_avx2<decltype(axes)::value>(field, points, whole, out);
  });
  for (; p < count; ++p) {
    field.slope(std::span<const double>(points + p * n, n), std::span<double>(out + p * n, n));
  }
}

}  // namespace veldra
