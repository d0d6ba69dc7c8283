#include "table/detail/placed_fill.hpp"

#include <algorithm>
#include <utility>

#include "base/buffer.hpp"
#include "base/strides.hpp"

namespace veldra {
namespace {

// Entries past the end of the position lists: a partial block of lanes
// reads initialised numbers (table_lanes::fill_cell reads up to four
// registers of eight past its count).
constexpr std::size_t PADDING = 16;

// Fewer samples than these to a cell along the last axis go one per lane
// (sparse_walk.hpp). Measured on AVX2 (Zen 1): there the values of 2 to 4
// axes cost about the same at any spacing (3.5 ns a sample in 2-D, 4.5 in
// 3-D), and the walk of cells, cheaper the more samples share a cell,
// draws level between 16 and 24; on one axis, where no prefix shares a
// plane, and for the derivative, which finishes every corner's hash per
// sample, it draws level near 4.
constexpr double SPARSE_VALUES = 16.0;
constexpr double SPARSE_SLOPES = 4.0;

// Lists the planes of a plan whose values are sparse. Consecutive
// samples share their cell or meet at a plane, so each sample's
// intersections are looked up among the last three planes listed; a miss
// (a grid stepping backwards) only lists a plane twice.
Status plan_planes(PlacedPlan& plan) {
  const std::size_t n = plan.gradients.n();
  const std::vector<AxisPoint>& last = plan.places[n - 1];
  const std::size_t numbers = std::size_t{2} << (n - 1);  // per plane
  // Where a plane's numbers start is a 32-bit word.
  if (static_cast<double>(last.size()) * static_cast<double>(2 * numbers) >= 0x1p32) return {};
  auto cells = allocate<std::uint64_t>(2 * last.size(), 0);
  auto starts = allocate<std::uint32_t>(2 * plan.stride, 0);
  if (!cells || !starts) return out_of_memory();
  std::size_t count = 0;
  const auto plane_of = [&](std::uint64_t cell) {
    for (std::size_t k = count; k-- > (count > 3 ? count - 3 : 0);) {
      if ((*cells)[k] == cell) return k;
    }
    (*cells)[count] = cell;
    return count++;
  };
  for (std::size_t j = 0; j < last.size(); ++j) {
    (*starts)[j] = static_cast<std::uint32_t>(plane_of(last[j].cell) * numbers);
    (*starts)[plan.stride + j] = static_cast<std::uint32_t>(plane_of(last[j].cell + 1) * numbers);
  }
  auto terms = allocate<std::uint32_t>(count + PADDING, 0);
  if (!terms) return std::unexpected(terms.error());
  for (std::size_t k = 0; k < count; ++k) {
    (*terms)[k] = static_cast<std::uint32_t>(plan.gradients.term(n - 1, (*cells)[k]));
  }
  plan.planes = count;
  plan.plane_terms = std::move(*terms);
  plan.plane_starts = std::move(*starts);
  plan.sparse = true;
  return {};
}

// Marks the plan's values and derivative sparse when the walk of one
// sample per lane suits them, and lists what it reads.
Status plan_sparse(PlacedPlan& plan) {
  const std::size_t n = plan.gradients.n();
  const std::vector<AxisPoint>& last = plan.places[n - 1];
  if (!plan.gradients.palette() || n > 4 || last.empty()) return {};
  // The cells spanned, in either direction (a grid's step may be
  // negative; an unbounded axis's cells are taken mod 2^64).
  std::uint64_t span = last.back().cell - last.front().cell;
  if (span > UINT64_MAX / 2) span = last.front().cell - last.back().cell;
  const double per_cell = static_cast<double>(last.size()) / (static_cast<double>(span) + 1.0);
  if (per_cell < SPARSE_SLOPES) {
    auto terms = allocate<std::uint32_t>(2 * plan.stride, 0);
    if (!terms) return std::unexpected(terms.error());
    for (std::size_t j = 0; j < last.size(); ++j) {
      (*terms)[j] = static_cast<std::uint32_t>(plan.gradients.term(n - 1, last[j].cell));
      (*terms)[plan.stride + j] = static_cast<std::uint32_t>(plan.gradients.term(n - 1, last[j].cell + 1));
    }
    plan.last_terms = std::move(*terms);
    plan.sparse_slopes = true;
  }
  if (values_sparse(plan.gradients, per_cell)) return plan_planes(plan);
  return {};
}

}  // namespace

bool values_sparse(const OctaveGradients& gradients, double per_cell) {
  const std::size_t n = gradients.n();
  return gradients.palette() && n <= 4 && per_cell < (n == 1 ? SPARSE_SLOPES : SPARSE_VALUES);
}

Result<PlacedFill> PlacedFill::create(OctaveGradients gradients,
                                      std::vector<std::vector<AxisPoint>> places, std::size_t runs,
                                      Simd simd) {
  const std::size_t n = gradients.n();
  std::vector<std::uint64_t> shape(n);
  for (std::size_t i = 0; i < n; ++i) shape[i] = places[i].size();
  const std::vector<AxisPoint>& last = places[n - 1];
  const std::size_t stride = last.size() + PADDING;
  auto positions = allocate<double>(6 * stride, 0.0);
  if (!positions) return std::unexpected(positions.error());
  for (std::size_t j = 0; j < last.size(); ++j) {
    const Sides& at = last[j].sides;
    (*positions)[j] = at.offset[0];
    (*positions)[stride + j] = at.offset[1];
    (*positions)[2 * stride + j] = at.weight[0];
    (*positions)[3 * stride + j] = at.weight[1];
    const Slopes by = slopes_at(at.offset[0]);
    (*positions)[4 * stride + j] = by.slope[0];
    (*positions)[5 * stride + j] = by.slope[1];
  }
  auto run_ends = allocate<std::uint64_t>(last.size(), 0);
  if (!run_ends) return std::unexpected(run_ends.error());
  for (std::size_t j = last.size(); j-- > 0;) {
    const bool shared = j + 1 < last.size() && last[j + 1].cell == last[j].cell;
    (*run_ends)[j] = shared ? (*run_ends)[j + 1] : j + 1;
  }
  PlacedFill fill(PlacedPlan{gradients, std::move(places), shape, row_major_strides(shape),
                             std::move(*positions), stride});
  fill.plan_.run_ends = std::move(*run_ends);
  if (auto sparse = plan_sparse(fill.plan_); !sparse) return std::unexpected(sparse.error());
  fill.simd_ = simd;
  const std::size_t prefixes = n > 4 ? std::size_t{1} << (n - 1) : 0;
  auto scratch = allocate<PlacedScratch>(runs);
  if (!scratch) return std::unexpected(scratch.error());
  fill.scratch_ = std::move(*scratch);
  // A segment's samples use at most 2 planes each and the last three
  // listed before them, in whole registers: up to PADDING past the last.
  const std::size_t segment_planes = std::min(fill.plan_.planes, 2 * PLANE_SEGMENT + 3);
  const std::size_t plane_numbers = fill.plan_.sparse ? (segment_planes + PADDING) << n : 0;
  for (PlacedScratch& space : fill.scratch_) {
    auto numbers = allocate<double>(5 * prefixes, 0.0);
    auto sums = allocate<std::uint64_t>(prefixes, 0);
    auto planes = allocate<double>(plane_numbers, 0.0);
    if (!numbers || !sums || !planes) return out_of_memory();
    space.numbers = std::move(*numbers);
    space.sums = std::move(*sums);
    space.planes = std::move(*planes);
  }
  return fill;
}

void PlacedFill::fill(std::size_t run, std::uint64_t begin, std::uint64_t end, double* out) {
  PlacedScratch& scratch = scratch_[run];
  switch (simd_) {
    case Simd::Avx512:
      return fill_placed_avx512(plan_, scratch, begin, end, out);
    case Simd::Avx2:
      return fill_placed_avx2(plan_, scratch, begin, end, out);
    case Simd::Sse2:
      return fill_placed_sse2(plan_, scratch, begin, end, out);
  }
}

void PlacedFill::fill_derivative(std::size_t, std::uint64_t begin, std::uint64_t end,
                                 double* out) {
  const std::size_t n = plan_.gradients.n();
  if (n <= 4) {
    switch (simd_) {
      case Simd::Avx512:
        return fill_placed_derivative_avx512(plan_, begin, end, out);
      case Simd::Avx2:
        return fill_placed_derivative_avx2(plan_, begin, end, out);
      case Simd::Sse2:
        return fill_placed_derivative_sse2(plan_, begin, end, out);
    }
  }
  // Five axes or more: sample by sample.
  std::uint64_t q[MAX_DIMS];
  for (std::size_t i = 0, rest = begin; i < n; ++i) {
    q[i] = rest / plan_.strides[i];
    rest -= q[i] * plan_.strides[i];
  }
  std::uint64_t lowest[MAX_DIMS];
  Sides sides[MAX_DIMS];
  for (std::uint64_t k = begin; k < end; ++k, out += n + 1) {
    for (std::size_t i = 0; i < n; ++i) {
      const AxisPoint& at = plan_.places[i][q[i]];
      lowest[i] = at.cell;
      sides[i] = at.sides;
    }
    out[n] = plan_.gradients.derivative_in<0>(lowest, sides, out);
    for (std::size_t i = n; i-- > 0;) {
      if (++q[i] < plan_.shape[i]) break;
      q[i] = 0;
    }
  }
}

}  // namespace veldra
