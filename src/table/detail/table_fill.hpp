// The fast fill of a refined-lattice table. It walks the table row by row
// along the last axis and cell by cell within a row, evaluating consecutive
// positions in SIMD lanes, and yields every value bit-identical to
// Instance::eval at the position's cell and fraction: on each axis the
// cell q / d and fraction (q - cell * d) / d of table index q cut d times,
// except that the axis's last index lies in its last cell at fraction 1.0.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "base/error.hpp"
#include "base/simd.hpp"
#include "field/instance.hpp"

namespace veldra {

// What the walk reads, fixed for one table: the field, the layout, and the
// last axis's fractions and fade weights, computed once per position.
struct TablePlan {
  const Instance* field = nullptr;
  std::vector<std::uint64_t> divisors;
  std::vector<std::uint64_t> shape;
  std::vector<std::uint64_t> table_strides;
  // Cell offsets 0 .. cached - 1 of the last axis (all d + 1 of them unless
  // the last divisor d is very large). Four lists of `stride` entries each,
  // zero-padded: the fraction, the fraction minus 1, 1 - fade and fade.
  std::uint64_t cached = 0;
  std::size_t stride = 0;
  std::vector<double> positions;
  // Tables of 2 to 4 axes whose last axis is short are filled by columns,
  // lanes along the second-to-last axis: that axis's positions, four
  // zero-padded lists of `lane_stride` entries like `positions`. Empty
  // otherwise.
  std::size_t lane_stride = 0;
  std::vector<double> lane_positions;
};

// Scratch space of one run: room for the last axis's positions beyond
// `cached`, the corner lists of five or more dimensions, and (for 1 to 4
// dimensions with every position cached) the corner weights of a row at
// every cell offset.
struct TableScratch {
  std::vector<double> numbers;
  std::vector<std::uint64_t> indices;
  std::vector<double> weighted;
};

// The per-call state of the fill of one table: the plan and one scratch
// space per run. Borrows the field, which must outlive it.
class TableFill {
 public:
  // `divisors` were accepted by table_layout(field). Fails only when the
  // scratch space cannot be allocated.
  static Result<TableFill> create(const Instance& field, std::span<const std::uint64_t> divisors,
                                  std::size_t runs, Simd simd = widest_simd());

  // Writes the values of flat indices [begin, end) of the table to
  // out[0 .. end - begin), each bit-identical to Instance::eval at its
  // index's position. Calls with different `run` (below the `runs` given to create)
  // may proceed concurrently.
  void fill(std::size_t run, std::uint64_t begin, std::uint64_t end, double* out);

 private:
  TablePlan plan_;
  std::vector<TableScratch> scratch_;
  Simd simd_ = Simd::Sse2;
};

}  // namespace veldra
