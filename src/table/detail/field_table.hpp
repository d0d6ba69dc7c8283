// One octave's share of a Field's refined-lattice table (field_table.cpp
// says where its samples lie): filled a range of flat indices at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "field/field.hpp"
#include "field/lattice_axis.hpp"
#include "table/detail/placed_fill.hpp"
#include "table/detail/table_fill.hpp"

namespace veldra {

// Where table index q of an axis with divisor d lies on the lattice of an
// octave of `cells` cells whose scale is `power` (L^k).
AxisPoint octave_table_point(std::uint64_t q, std::uint64_t d, std::uint64_t power,
                             std::uint64_t cells);

// A box of a table's indices, per axis its first index and its extent
// (checked by check_region); empty spans stand for the whole table.
struct TableBox {
  std::span<const std::uint64_t> start;
  std::span<const std::uint64_t> shape;
  bool whole() const { return start.empty(); }
};

class OctaveTable {
 public:
  // Octave k of `field` at the samples `places` (per axis, in order), by
  // the general walk: the octaves of a grid.
  static Result<OctaveTable> placed(const Field& field, std::size_t k,
                                    std::vector<std::vector<AxisPoint>> places, std::size_t runs);

  // Octave k of `field` for the `box` of the table of `divisors` (accepted
  // by table_layout(field)), filled by up to `runs` concurrent runs. An
  // octave whose own lattice is laid out for the SIMD fill lays out only
  // the cells that the box's samples lie in; one walked sample by sample
  // places only the box's samples. `simd` and `on_lattice` (false: never
  // the SIMD fill) let tests compare the paths.
  static Result<OctaveTable> create(const Field& field, std::size_t k,
                                    std::span<const std::uint64_t> divisors, std::size_t runs,
                                    Simd simd = widest_simd(), bool on_lattice = true,
                                    TableBox box = {});

  // The octave's raw noise at flat indices [begin, end) of the table into
  // out[0 .. end - begin); calls with different `run` may run concurrently.
  // For a box, the range lies within one of its stretches contiguous in the
  // table (table_region.cpp).
  void fill(std::size_t run, std::uint64_t begin, std::uint64_t end, double* out);

  // The octave's derivative and noise, n + 1 numbers per index
  // (PlacedFill::fill_derivative): for the octaves of a grid.
  void fill_derivative(std::size_t run, std::uint64_t begin, std::uint64_t end, double* out) {
    placed_->fill_derivative(run, begin, end, out);
  }

 private:
  explicit OctaveTable(OctaveGradients gradients) : gradients_(gradients) {}

  // The octave's lattice laid out for the SIMD fill: the cells that the
  // box's indices lie in (all of them for the whole table), with their
  // shift from the table's indices recorded.
  Result<Instance> lay_out(const Octave& octave, std::span<const std::uint64_t> reduced,
                           const std::vector<std::uint64_t>& shape, TableBox box);

  // Records that the octave's own table, of shape `own`, holds the table's
  // (of `shape`) indices less `shift`.
  void carry_indices(std::vector<std::uint64_t> shift, const std::vector<std::uint64_t>& shape,
                     const std::vector<std::uint64_t>& own);
  // The index in the octave's own table of the table's flat `index`.
  std::uint64_t own_index(std::uint64_t index) const;

  OctaveGradients gradients_;
  std::size_t n_ = 0;
  // The SIMD path: the octave's lattice (when not the field's own) and its
  // fill.
  std::unique_ptr<Instance> lattice_;
  std::unique_ptr<TableFill> fill_;
  // The other path: the general walk of the octave's placed samples.
  std::unique_ptr<PlacedFill> placed_;
  // A lattice of part of the octave's cells, or the placed samples of a
  // box, have a table of their own, whose index on axis i is the table's
  // less shift_[i]: flat indices are carried over through both tables'
  // strides.
  std::vector<std::uint64_t> shift_;  // empty: the octave's own table is the table
  std::vector<std::uint64_t> own_strides_;
  std::vector<std::uint64_t> strides_;  // the table's, with shift_
};

// The fill of a Field's table: the octaves' shares of a range of flat
// indices summed in octave order, a block of whole rows at a time (one
// scratch block per run), as TableFill fills an Instance's. Borrows the
// field, which must outlive it.
class FieldTableFill {
 public:
  // `divisors` were accepted by table_layout(field); only indices of `box`
  // are filled, one of its contiguous stretches at most per call.
  static Result<FieldTableFill> create(const Field& field, std::span<const std::uint64_t> divisors,
                                       std::size_t runs, Simd simd = widest_simd(),
                                       TableBox box = {});

  // The fill of the grid of grid() (table/table.hpp), whose arguments
  // were checked, for the box of `shape` indices from `first`; with
  // `slopes`, of derivative_grid(): n numbers per index, the field's
  // derivative.
  static Result<FieldTableFill> create_grid(const Field& field, std::span<const double> start,
                                            std::span<const double> step,
                                            std::span<const std::uint64_t> first,
                                            std::span<const std::uint64_t> shape, std::size_t runs,
                                            bool slopes = false);

  // Writes the values of flat indices [begin, end) of the table to
  // out[0 .. end - begin) (n numbers per index for slopes, from out[0]);
  // calls with different `run` may run concurrently.
  void fill(std::size_t run, std::uint64_t begin, std::uint64_t end, double* out);

  // The values a block holds: a range this long costs one pass per octave.
  std::uint64_t block() const { return block_; }

 private:
  // One block of scratch per run, of `width` numbers per index.
  Status allocate_scratch(std::size_t runs, std::size_t width = 1);
  // fill for derivatives: each octave's derivative and value, scaled,
  // folded and summed in octave order as Field::slope sums them.
  void fill_slopes(std::size_t run, std::uint64_t begin, std::uint64_t end, double* out);

  const Field* field_ = nullptr;
  // The octaves that add to the table (octave 0 first) and their indices.
  std::vector<OctaveTable> octaves_;
  std::vector<std::size_t> octave_of_;
  std::vector<std::vector<double>> scratch_;
  std::uint64_t block_ = 1;
  bool slopes_ = false;
};

}  // namespace veldra
