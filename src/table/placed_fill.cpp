#include "table/detail/placed_fill.hpp"

#include <algorithm>
#include <cstring>
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

// Up to this many samples to a cell, values whose samples repeat, a
// period over some cells, go one period per lane (sparse_walk.hpp) when
// the periods hold at least half the last axis. Measured on AVX2 (Zen 1),
// an octave's share of a 2-D table of 2041 x 2041 at 25.5 and 51 samples
// to a cell: together 6.7 ms less than the walk of cells.
constexpr double PERIODIC_VALUES = 64.0;

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

// Whether two samples sit at the same Sides, bit for bit.
bool same_sides(const Sides& a, const Sides& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Fewer whole periods than this leave a plan without a periodic part.
constexpr std::uint64_t MIN_PERIODS = 4;

// Finds the periodic part of a sparse plan (PlacedPlan::periodic), from
// the last axis's first sample or else from the first of its second cell
// (a box that starts inside a cell): the shortest period whose samples
// repeat at the first one's Sides, checked sample by sample, up to the
// first that breaks it (the axis's last index, at the top of its last
// cell, always does).
Status plan_periodic(PlacedPlan& plan) {
  const std::size_t n = plan.gradients.n();
  const std::vector<AxisPoint>& last = plan.places[n - 1];
  const std::uint64_t size = last.size();
  PeriodicPart part;
  for (const std::uint64_t from : {std::uint64_t{0}, plan.run_ends[0]}) {
    if (from >= size) break;
    const AxisPoint& origin = last[from];
    std::uint64_t period = 0;
    for (std::uint64_t t = 1; t <= PeriodicPart::MAX_PERIOD && from + t < size && period == 0; ++t) {
      if (last[from + t].cell > origin.cell && same_sides(last[from + t].sides, origin.sides)) period = t;
    }
    if (period == 0) continue;
    const std::uint64_t cells = last[from + period].cell - origin.cell;
    bool inside = cells <= PeriodicPart::MAX_CELLS;
    for (std::uint64_t t = 0; t < period && inside; ++t) inside = last[from + t].cell - origin.cell < cells;
    if (!inside) continue;
    std::uint64_t j = from + period;
    while (j < size && last[j].cell == last[j - period].cell + cells &&
           same_sides(last[j].sides, last[j - period].sides)) {
      ++j;
    }
    const std::uint64_t periods = (j - from) / period;
    if (periods < MIN_PERIODS) continue;
    part.period = static_cast<std::size_t>(period);
    part.cells = static_cast<std::size_t>(cells);
    part.from = from;
    part.until = from + periods * period;
    part.first_cell = origin.cell;
    break;
  }
  if (part.period == 0) return {};
  const std::size_t period = part.period, cells = part.cells;
  auto reads = allocate<std::uint32_t>(2 * period, 0);
  part.term_stride = static_cast<std::size_t>((part.until - part.from) / period) + 1 + PADDING;
  auto terms = allocate<std::uint32_t>(cells * part.term_stride, 0);
  if (!reads || !terms) return out_of_memory();
  const std::size_t residue = PeriodicPart::ROW_ENTRIES << n;  // numbers per residue
  for (std::size_t t = 0; t < period; ++t) {
    const std::size_t r = static_cast<std::size_t>(last[part.from + t].cell - part.first_cell);
    (*reads)[t] = static_cast<std::uint32_t>(r * residue);
    // The upper side of the last residue is the next period's residue 0.
    (*reads)[period + t] = static_cast<std::uint32_t>(r + 1 < cells ? (r + 1) * residue : 1);
  }
  for (std::size_t r = 0; r < cells; ++r) {
    for (std::size_t u = 0; u < part.term_stride; ++u) {
      const std::uint64_t cell = part.first_cell + u * cells + r;
      (*terms)[r * part.term_stride + u] = static_cast<std::uint32_t>(plan.gradients.term(n - 1, cell));
    }
  }
  part.reads = std::move(*reads);
  part.terms = std::move(*terms);
  plan.periodic = std::move(part);
  return {};
}

// Finds a sparse plan's runs of samples that share a cell
// (PlacedPlan::cell_runs) when their cells rise one at a time and the
// runs inside the axis hold two samples or more.
Status plan_cell_runs(PlacedPlan& plan) {
  const std::size_t n = plan.gradients.n();
  const std::vector<AxisPoint>& last = plan.places[n - 1];
  CellRuns runs;
  for (std::uint64_t j = 0; j < last.size(); j = plan.run_ends[j]) {
    if (j > 0 && last[j].cell != last[j - 1].cell + 1) return {};
    runs.starts.push_back(j);
  }
  const std::size_t count = runs.starts.size();
  runs.starts.push_back(last.size());
  if (count < 3) return {};
  runs.least = SIZE_MAX;
  for (std::size_t i = 1; i + 1 < count; ++i) {
    runs.least = std::min<std::size_t>(runs.least, runs.starts[i + 1] - runs.starts[i]);
  }
  if (runs.least < 2) return {};
  runs.first_cell = last[0].cell;
  auto positions = allocate<double>(4 * last.size(), 0.0);
  auto terms = allocate<std::uint32_t>(count + 1 + PADDING, 0);
  if (!positions || !terms) return out_of_memory();
  for (std::size_t j = 0; j < last.size(); ++j) {
    for (std::size_t k = 0; k < 4; ++k) (*positions)[4 * j + k] = plan.positions[k * plan.stride + j];
  }
  for (std::size_t i = 0; i < terms->size(); ++i) {
    (*terms)[i] = static_cast<std::uint32_t>(plan.gradients.term(n - 1, runs.first_cell + i));
  }
  runs.positions = std::move(*positions);
  runs.terms = std::move(*terms);
  plan.cell_runs = std::move(runs);
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
  const bool sparse = values_sparse(plan.gradients, per_cell);
  if (!sparse && per_cell >= PERIODIC_VALUES) return {};
  if (auto periodic = plan_periodic(plan); !periodic) return periodic;
  const PeriodicPart& part = plan.periodic;
  if (!sparse && 2 * (part.until - part.from) < last.size()) {
    plan.periodic = PeriodicPart{};
    return {};
  }
  if (auto planes = plan_planes(plan); !planes || !plan.sparse) return planes;
  return part.period == 0 ? plan_cell_runs(plan) : Status{};
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
  // A periodic part's planes: per prefix its dot products and last
  // components, per residue ROW_ENTRIES.
  const PeriodicPart& part = fill.plan_.periodic;
  const std::size_t period_numbers = (std::max<std::size_t>(part.cells, 1) * PeriodicPart::ROW_ENTRIES) << n;
  for (PlacedScratch& space : fill.scratch_) {
    auto numbers = allocate<double>(5 * prefixes, 0.0);
    auto sums = allocate<std::uint64_t>(prefixes, 0);
    auto planes = allocate<double>(plane_numbers, 0.0);
    auto period_planes = allocate<double>(period_numbers, 0.0);
    auto period_weights = allocate<double>(part.period << n, 0.0);
    if (!numbers || !sums || !planes || !period_planes || !period_weights) return out_of_memory();
    space.numbers = std::move(*numbers);
    space.sums = std::move(*sums);
    space.planes = std::move(*planes);
    space.period_planes = std::move(*period_planes);
    space.period_weights = std::move(*period_weights);
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
