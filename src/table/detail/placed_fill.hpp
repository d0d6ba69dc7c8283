// One octave over a box of samples placed anywhere on its lattice, filled
// by the general walk (placed_walk.hpp) on the widest instruction set: the
// octaves of Field tables whose divisors their scale does not divide, and
// of grids.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "base/error.hpp"
#include "field/lattice_axis.hpp"
#include "field/octave.hpp"
#include "table/detail/table_fill.hpp"

namespace veldra {

// Samples [from, until) of the last axis that repeat every `period`
// samples `cells` cells further on: sample from + u * period + t lies in
// cell first_cell + u * cells + residue(t), residue(t) < cells, at the
// Sides of sample from + t, bit for bit (the samples of a table's
// octave whose spacing is a ratio of small whole numbers). So the planes
// of residue r, taken period by period, are a list of their own, and
// Lanes periods side by side read each corner's numbers as one register.
// Per sample t of a period and side s (lower 0, upper 1) of its cell,
// reads[s * period + t] is where the corner's plane lies among the
// walk's planes: its residue times the numbers of a residue (per prefix,
// two lists of ROW_ENTRIES), plus 1 where the upper side is the next
// period's residue 0. terms[r * term_stride + u]
// is the last-axis term of residue r's plane in period u (padded past
// the last period).
struct PeriodicPart {
  static constexpr std::size_t MAX_PERIOD = 256;  // samples
  static constexpr std::size_t MAX_CELLS = 64;
  static constexpr std::size_t CHUNK = 64;         // periods whose planes the walk holds at a time
  static constexpr std::size_t ROW_ENTRIES = CHUNK + 16;
  std::size_t period = 0, cells = 0;
  std::uint64_t from = 0, until = 0, first_cell = 0;
  std::vector<std::uint32_t> reads{};
  std::vector<std::uint32_t> terms{};
  std::size_t term_stride = 0;
};

// A sparse plan's runs of samples that share a cell along the last axis,
// when the runs' cells rise one at a time and every run but the first and
// last holds at least two samples (a grid's octave a few samples to a
// cell): Lanes runs side by side then go one run per lane. Run i's cell is
// first_cell + i and its samples starts[i] .. starts[i + 1] - 1; `least`
// is the fewest samples of a run but the first and last (0: the plan has
// no such runs). Per sample, its four positions side by side (the
// fraction, the fraction minus 1, 1 - fade, fade), as the lanes load them;
// per cell from first_cell, its plane's last-axis term (padded).
struct CellRuns {
  std::uint64_t first_cell = 0;
  std::vector<std::uint64_t> starts{};
  std::size_t least = 0;
  std::vector<double> positions{};
  std::vector<std::uint32_t> terms{};
};

// What the walk reads: the octave's gradients, each axis's samples placed
// on its lattice, the box's row-major layout, and the last axis's
// positions as six zero-padded lists of `stride` entries (the fraction,
// the fraction minus 1, 1 - fade, fade, and for the derivative the
// slopes -fade' and fade'), as the SIMD lanes load them.
struct PlacedPlan {
  OctaveGradients gradients;
  std::vector<std::vector<AxisPoint>> places;
  std::vector<std::uint64_t> shape, strides;
  std::vector<double> positions;
  std::size_t stride = 0;
  // With `sparse` (the values) and `sparse_slopes` (the derivative), the
  // samples along the last axis are too few to a cell for the walk of
  // cells to pay, and go one per lane (sparse_walk.hpp); the octave has a
  // palette and 1 to 4 axes. For the derivative, last_terms holds, as
  // positions does, the last axis's term of each sample's lower and upper
  // intersection. For the values: the intersections along the last axis
  // that the samples use ("planes"), each's last-axis term (padded to
  // whole registers), and per sample, as positions lists them, where its
  // lower and upper plane's numbers start among all the planes' numbers
  // (the walk keeps a segment's at a time, from its lowest plane).
  bool sparse = false;
  bool sparse_slopes = false;
  std::vector<std::uint32_t> last_terms{};
  std::size_t planes = 0;
  std::vector<std::uint32_t> plane_terms{};
  std::vector<std::uint32_t> plane_starts{};
  // A sparse plan's periodic stretch of the last axis, where whole periods
  // go one per lane (sparse_walk.hpp); empty (period 0) when there is none.
  PeriodicPart periodic{};
  // Without a periodic part, the runs of samples that share a cell.
  CellRuns cell_runs{};
  // Per sample j of the last axis, one past the last sample of the run
  // from j that shares j's cell: the walk takes a cell's samples at once
  // instead of comparing sample by sample.
  std::vector<std::uint64_t> run_ends{};
};

// The samples of a row that the sparse walk takes at a time: their planes'
// numbers are found, then read (PlacedScratch::planes holds them).
inline constexpr std::size_t PLANE_SEGMENT = 1024;

// Whether the values of an octave with `per_cell` samples to a cell along
// its last axis go one sample per lane (sparse_walk.hpp), which is faster
// there than walking cells or laying out a lattice.
bool values_sparse(const OctaveGradients& gradients, double per_cell);

// Room for the corner lists of five axes or more, per run; and for a
// sparse plan, a segment's plane numbers: per plane and corner prefix over
// the axes before the last, the dot product over those axes and the
// gradient's last component.
struct PlacedScratch {
  std::vector<double> numbers;
  std::vector<std::uint64_t> sums;
  std::vector<double> planes;
  // For a periodic part: the planes of CHUNK periods per residue, and the
  // row's corner weights at each sample of a period.
  std::vector<double> period_planes;
  std::vector<double> period_weights;
};

class PlacedFill {
 public:
  // The octave of `gradients` at the samples `places` (per axis, in
  // order; their product is the box), filled by up to `runs` concurrent
  // runs.
  static Result<PlacedFill> create(OctaveGradients gradients,
                                   std::vector<std::vector<AxisPoint>> places, std::size_t runs,
                                   Simd simd = widest_simd());

  // The octave's noise at flat indices [begin, end) of the box into
  // out[0 .. end - begin); calls with different `run` may run concurrently.
  void fill(std::size_t run, std::uint64_t begin, std::uint64_t end, double* out);

  // The octave's derivative along each of its n axes (per lattice unit)
  // and its noise at flat indices [begin, end) of the box, n + 1 numbers
  // per sample into out[0 .. (end - begin) * (n + 1)): sample t's
  // derivative along axis j at out[t * (n + 1) + j], its noise (fill's)
  // at out[t * (n + 1) + n]. Bit for bit OctaveGradients::derivative_in
  // at the sample's cells and Sides. Calls may run concurrently.
  void fill_derivative(std::size_t run, std::uint64_t begin, std::uint64_t end, double* out);

  // What the walk reads, as planned.
  const PlacedPlan& plan() const { return plan_; }

 private:
  explicit PlacedFill(PlacedPlan plan) : plan_(std::move(plan)) {}
  PlacedPlan plan_;
  std::vector<PlacedScratch> scratch_;
  Simd simd_ = Simd::Sse2;
};

// The walk compiled for each instruction set (table_fill_<set>.cpp).
void fill_placed_sse2(const PlacedPlan& plan, PlacedScratch& scratch, std::uint64_t begin,
                      std::uint64_t end, double* out);
void fill_placed_avx2(const PlacedPlan& plan, PlacedScratch& scratch, std::uint64_t begin,
                      std::uint64_t end, double* out);
void fill_placed_avx512(const PlacedPlan& plan, PlacedScratch& scratch, std::uint64_t begin,
                        std::uint64_t end, double* out);
// Its derivative form, for 1 to 4 axes.
void fill_placed_derivative_sse2(const PlacedPlan& plan, std::uint64_t begin, std::uint64_t end,
                                 double* out);
void fill_placed_derivative_avx2(const PlacedPlan& plan, std::uint64_t begin, std::uint64_t end,
                                 double* out);
void fill_placed_derivative_avx512(const PlacedPlan& plan, std::uint64_t begin, std::uint64_t end,
                                   double* out);

}  // namespace veldra
