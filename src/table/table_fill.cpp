#include "table/detail/table_fill.hpp"

#include <algorithm>

#include "base/buffer.hpp"
#include "base/strides.hpp"
#include "table/detail/table_columns.hpp"
#include "table/detail/table_simd.hpp"
#include "table/detail/table_walk.hpp"

namespace veldra {
namespace {

// Last-axis positions computed once per table (4 lists of this many
// numbers at most); a larger last divisor has the rest computed per run, a
// window at a time.
constexpr std::uint64_t MOST_CACHED = std::uint64_t{1} << 16;

// The most numbers of a row's corner weights formed ahead (128 KiB).
constexpr std::size_t MOST_WEIGHTED = 16384;

}  // namespace

Result<TableFill> TableFill::create(const Instance& field,
                                    std::span<const std::uint64_t> divisors, std::size_t runs,
                                    Simd simd) {
  const std::size_t n = field.n();
  TableFill fill;
  fill.simd_ = simd;
  TablePlan& plan = fill.plan_;
  plan.field = &field;
  plan.divisors.assign(divisors.begin(), divisors.end());
  plan.shape.resize(n);
  for (std::size_t i = 0; i < n; ++i) plan.shape[i] = field.dims()[i] * divisors[i] + 1;
  plan.table_strides = row_major_strides(plan.shape);

  const std::uint64_t d = divisors[n - 1];
  plan.cached = std::min(d + 1, MOST_CACHED);
  plan.stride = static_cast<std::size_t>(plan.cached) + table_walk::PADDING;
  auto positions = allocate<double>(4 * plan.stride, 0.0);
  if (!positions) return std::unexpected(positions.error());
  plan.positions = std::move(*positions);
  table_walk::fill_positions(0, static_cast<std::size_t>(plan.cached), d, plan.positions.data(),
                             plan.stride);

  // A short last axis shares little along rows: such tables are filled by
  // columns, given the second-to-last axis's positions.
  if (table_columns::fills_by_columns(n, plan.shape[n - 1], n >= 2 ? divisors[n - 2] : 0) &&
      divisors[n - 2] < MOST_CACHED) {
    const std::uint64_t lane_d = divisors[n - 2];
    plan.lane_stride = static_cast<std::size_t>(lane_d + 1) + table_walk::PADDING;
    auto lane_positions = allocate<double>(4 * plan.lane_stride, 0.0);
    if (!lane_positions) return std::unexpected(lane_positions.error());
    plan.lane_positions = std::move(*lane_positions);
    table_walk::fill_positions(0, static_cast<std::size_t>(lane_d + 1), lane_d,
                               plan.lane_positions.data(), plan.lane_stride);
  }

  // Five lists of corner-prefix numbers and two of their indices for the
  // general walk, and a window of positions when not all are cached.
  const std::size_t prefixes = n > 4 ? std::size_t{1} << (n - 1) : 0;
  const std::size_t window =
      plan.cached < d + 1 ? 4 * (table_walk::WINDOW + table_walk::PADDING) : 0;
  // Weights formed once per row pay when they stay close in the cache.
  const std::size_t weighted = n <= 4 && plan.cached == d + 1
                                   ? 2 * (std::size_t{1} << (n - 1)) * plan.stride
                                   : 0;
  const std::size_t formed = weighted <= MOST_WEIGHTED ? weighted : 0;
  auto scratch = allocate<TableScratch>(runs);
  if (!scratch) return std::unexpected(scratch.error());
  fill.scratch_ = std::move(*scratch);
  for (TableScratch& space : fill.scratch_) {
    auto numbers = allocate<double>(5 * prefixes + window, 0.0);
    auto indices = allocate<std::uint64_t>(2 * prefixes, 0);
    auto weights = allocate<double>(formed, 0.0);
    if (!numbers || !indices || !weights) return out_of_memory();
    space.numbers = std::move(*numbers);
    space.indices = std::move(*indices);
    space.weighted = std::move(*weights);
  }
  return fill;
}

void TableFill::fill(std::size_t run, std::uint64_t begin, std::uint64_t end, double* out) {
  TableScratch& scratch = scratch_[run];
  switch (simd_) {
    case Simd::Avx512:
      return fill_avx512(plan_, scratch, begin, end, out);
    case Simd::Avx2:
      return fill_avx2(plan_, scratch, begin, end, out);
    case Simd::Sse2:
      return fill_sse2(plan_, scratch, begin, end, out);
  }
}

}  // namespace veldra
