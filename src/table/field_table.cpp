// Tables of a Field: each octave's table in turn, a block of values at a
// time, accumulated into the output in octave order.
//
// Table index q of an axis with divisor d lies, on octave k's lattice, at
// q * L^k / d: in cell (q * L^k) div d at fraction ((q * L^k) mod d) / d,
// except that the axis's last index lies in its last cell at fraction 1.0.
// When d is divisible by L^k this is exactly where the table of divisor
// d / L^k on the octave's own lattice places it (the same quotient of
// exactly converted integers), so such an octave goes through the SIMD
// table fill; the others through the general walk of placed samples
// (placed_fill.hpp), each index placed once per axis. An octave
// whose samples all lie on its lattice's intersections adds nothing and is
// left out (samples_intersections). With a lacunarity that is not whole,
// index q is placed as the point q / d (converted and divided as floats)
// is placed by Field::place, and every octave after the first goes
// through the general walk.
#include <algorithm>
#include <optional>

#include "field/field.hpp"
#include "field/lattice_axis.hpp"
#include "base/buffer.hpp"
#include "base/interruption.hpp"
#include "base/strides.hpp"
#include "base/workers.hpp"
#include "table/detail/field_table.hpp"
#include "table/table.hpp"
#include "table/detail/placed_fill.hpp"
#include "table/detail/table_fill.hpp"

namespace veldra {
namespace {

// Below this many samples to a cell along the last axis, an octave that
// the sparse walk takes goes that way rather than on a lattice laid out
// for it. Measured on AVX2 (Zen 1), an octave's share of a 2049 x 2049
// table (its samples a period per lane there, sparse_walk.hpp): at 8
// samples the sparse walk takes 2.6 to 2.7 ns a value, the lattice about
// 3.5; at 16 the lattice 2.4 against 2.6, at 32 1.9 against 2.3.
constexpr std::uint64_t LAID_OUT_FROM = 16;

// Values per block, at most: one octave's block stays in the cache while
// it is added to the output.
constexpr std::uint64_t BLOCK = 8192;

// Calls f with a callable that returns `shape`, its value fixed when
// compiling, so that f's loops are specialised for it.
template <typename F>
void with_shape(Shape shape, F&& f) {
  switch (shape) {
    case Shape::Smooth:
      return f([] { return Shape::Smooth; });
    case Shape::Billow:
      return f([] { return Shape::Billow; });
    case Shape::Ridged:
      return f([] { return Shape::Ridged; });
  }
}

// Adds one octave's block of values, shaped and weighted by w, into the
// output's block `into` (count values) in octave order: the first
// octave's `from` is `into` itself, its values added onto +0.0; the last's
// sums are divided by the weights' sum as they land. One loop over plain
// arrays, which the compiler keeps in vector registers.
template <Shape S, bool First, bool Last>
void add_octave(const double* __restrict from, double* __restrict into, std::uint64_t count, double w,
                double sum) {
  for (std::uint64_t t = 0; t < count; ++t) {
    double total = First ? 0.0 : into[t];
    term_step(total, w, shaped(S, First ? into[t] : from[t]));
    into[t] = Last ? total / sum : total;
  }
}

// Whether every sample of the table of `divisors` lies on an intersection
// of the octave's lattice: q * L^k / d is whole for every index q of every
// axis (the last index, at the top of the last cell, is at fraction 1.0).
// There every corner but one has weight 0 and that one's dot product is
// +0 (each offset is +0), so the octave's noise is +0 at every sample; its
// term w * fold(+0) is +0 or -0, and adding it leaves the sum as it was,
// since a sum that starts from +0 is never -0. A table leaves such an
// octave out, bit for bit: an octave finer than the sampling adds nothing.
bool samples_intersections(const Field& field, const Octave& octave,
                           std::span<const std::uint64_t> divisors) {
  if (!field.settings().whole_lacunarity()) return false;
  const auto power = static_cast<std::uint64_t>(octave.scale);
  for (std::uint64_t d : divisors) {
    if (power % d != 0) return false;
  }
  return true;
}

// Each axis's samples, where place(i, q) puts sample q of axis i, for an
// octave's general walk.
template <typename Place>
Result<std::vector<std::vector<AxisPoint>>> places_of(std::span<const std::uint64_t> shape,
                                                      Place&& place) {
  std::vector<std::vector<AxisPoint>> places(shape.size());
  for (std::size_t i = 0; i < shape.size(); ++i) {
    auto points = allocate<AxisPoint>(shape[i]);
    if (!points) return std::unexpected(points.error());
    for (std::uint64_t q = 0; q < shape[i]; ++q) (*points)[q] = place(i, q);
    places[i] = std::move(*points);
  }
  return places;
}

// Products of a table index and L^k, which may exceed 64 bits.
__extension__ typedef unsigned __int128 Wide;

}  // namespace

AxisPoint octave_table_point(std::uint64_t q, std::uint64_t d, std::uint64_t power,
                             std::uint64_t cells) {
  const Wide at = static_cast<Wide>(q) * power;
  const auto cell = static_cast<std::uint64_t>(at / d);
  // The last index lies beyond the last cell: at its top, fraction 1.0.
  if (cell >= cells) return {cells - 1, cut_position(d, d)};
  return {cell, cut_position(static_cast<std::uint64_t>(at - static_cast<Wide>(cell) * d), d)};
}

Result<OctaveTable> OctaveTable::create(const Field& field, std::size_t k,
                                        std::span<const std::uint64_t> divisors, std::size_t runs,
                                        Simd simd, bool on_lattice, TableBox box) {
  const Octave& octave = field.octaves()[k];
  const std::size_t n = field.n();
  const bool whole = field.settings().whole_lacunarity();
  const auto power = whole ? static_cast<std::uint64_t>(octave.scale) : 1;
  OctaveTable table(field.gradients(k));
  table.n_ = n;
  std::vector<std::uint64_t> reduced(n);
  on_lattice = on_lattice && whole;
  for (std::size_t i = 0; i < n; ++i) {
    on_lattice = on_lattice && divisors[i] % power == 0;
    reduced[i] = divisors[i] / power;
  }
  std::vector<std::uint64_t> shape(n);
  for (std::size_t i = 0; i < n; ++i) shape[i] = field.dims()[i] * divisors[i] + 1;
  // A lattice of its own is laid out only when the octave's samples are
  // finer than its cells on every axis: at a reduced divisor of 1 every
  // sample is an intersection, and laying out as many gradients as there
  // are samples costs more than evaluating each sample where it lies. Nor
  // below LAID_OUT_FROM samples to a cell along the last axis when the
  // sparse walk takes the octave, which is faster there.
  const bool own_lattice = k > 0 || field.wraps() != 0 || field.settings().unbounded;
  if (own_lattice) {
    for (std::size_t i = 0; i < n; ++i) on_lattice = on_lattice && reduced[i] >= 2;
    const std::uint64_t along = reduced[n - 1];
    on_lattice = on_lattice && !(along < LAID_OUT_FROM && values_sparse(table.gradients_, static_cast<double>(along)));
  }
  if (on_lattice) {
    const Instance* lattice = &field.base();
    if (own_lattice) {
      auto own = table.lay_out(octave, reduced, shape, box);
      if (!own) return std::unexpected(own.error());
      table.lattice_ = std::make_unique<Instance>(std::move(*own));
      lattice = table.lattice_.get();
    }
    auto fill = TableFill::create(*lattice, reduced, runs, simd);
    if (!fill) return std::unexpected(fill.error());
    table.fill_ = std::make_unique<TableFill>(std::move(*fill));
    return table;
  }
  // A box's samples alone are placed, so that a region costs what its
  // samples do, not its table's axes: the placed table is the box.
  std::vector<std::uint64_t> first(n, 0);
  std::vector<std::uint64_t> extent = shape;
  if (!box.whole()) {
    first.assign(box.start.begin(), box.start.end());
    extent.assign(box.shape.begin(), box.shape.end());
    table.carry_indices(first, shape, extent);
  }
  // A whole L places index q exactly, at the rational q L^k / d; any
  // other L places it as a point at q / d would be.
  auto places = places_of(extent, [&](std::size_t i, std::uint64_t j) {
    const std::uint64_t q = first[i] + j;
    if (!whole) return field.place(k, i, static_cast<double>(q) / static_cast<double>(divisors[i]));
    return octave_table_point(q, divisors[i], power, octave.cells[i]);
  });
  if (!places) return std::unexpected(places.error());
  auto placed = PlacedFill::create(field.gradients(k), std::move(*places), runs, simd);
  if (!placed) return std::unexpected(placed.error());
  table.placed_ = std::make_unique<PlacedFill>(std::move(*placed));
  return table;
}

Result<OctaveTable> OctaveTable::placed(const Field& field, std::size_t k,
                                        std::vector<std::vector<AxisPoint>> places,
                                        std::size_t runs) {
  OctaveTable table(field.gradients(k));
  table.n_ = field.n();
  auto placed = PlacedFill::create(field.gradients(k), std::move(places), runs);
  if (!placed) return std::unexpected(placed.error());
  table.placed_ = std::make_unique<PlacedFill>(std::move(*placed));
  return table;
}

Result<Instance> OctaveTable::lay_out(const Octave& octave, std::span<const std::uint64_t> reduced,
                                      const std::vector<std::uint64_t>& shape, TableBox box) {
  const std::size_t n = n_;
  // Index q of an axis lies in cell q / r of the octave's lattice (r the
  // reduced divisor), the last index at the top of the last cell. The box
  // needs cells first .. past - 1; past stays above its last index's cell
  // unless that is the last cell, so no index but the table's last lands on
  // the top of this lattice's last cell, where the fill puts only that one.
  // A box over every cell (the whole table's) is laid out as the whole
  // table is, its indices the table's.
  std::vector<std::uint64_t> first(n, 0), cells(octave.cells.begin(), octave.cells.end());
  if (!box.whole()) {
    for (std::size_t i = 0; i < n; ++i) {
      first[i] = std::min(box.start[i] / reduced[i], octave.cells[i] - 1);
      const std::uint64_t last = box.start[i] + box.shape[i] - 1;
      cells[i] = std::min(last / reduced[i] + 1, octave.cells[i]) - first[i];
    }
  }
  if (cells != octave.cells) {
    std::vector<std::uint64_t> shift(n);
    std::vector<std::uint64_t> own(n);
    for (std::size_t i = 0; i < n; ++i) {
      shift[i] = first[i] * reduced[i];
      own[i] = cells[i] * reduced[i] + 1;
    }
    carry_indices(std::move(shift), shape, own);
  }
  const OctaveGradients gradients = gradients_;
  return Instance::create_from(std::move(cells), octave.seed,
                               [&](const std::uint64_t* index, double* out) {
                                 std::uint64_t at[MAX_DIMS];
                                 for (std::size_t i = 0; i < n; ++i) at[i] = index[i] + first[i];
                                 const double* g = gradients.at(at);
                                 std::copy(g, g + n, out);
                               });
}

void OctaveTable::carry_indices(std::vector<std::uint64_t> shift,
                                const std::vector<std::uint64_t>& shape,
                                const std::vector<std::uint64_t>& own) {
  shift_ = std::move(shift);
  strides_ = row_major_strides(shape);
  own_strides_ = row_major_strides(own);
}

std::uint64_t OctaveTable::own_index(std::uint64_t index) const {
  if (shift_.empty()) return index;
  std::uint64_t own = 0;
  for (std::size_t i = 0, rest = index; i < n_; ++i) {
    const std::uint64_t at = rest / strides_[i];
    rest -= at * strides_[i];
    own += (at - shift_[i]) * own_strides_[i];
  }
  return own;
}

void OctaveTable::fill(std::size_t run, std::uint64_t begin, std::uint64_t end, double* out) {
  // Within one stretch of the box, consecutive indices are consecutive in
  // the octave's own table too (the axes after the stretch's first are
  // whole, in both tables).
  const std::uint64_t own = own_index(begin);
  if (fill_) return fill_->fill(run, own, own + (end - begin), out);
  placed_->fill(run, own, own + (end - begin), out);
}

Result<FieldTableFill> FieldTableFill::create(const Field& field,
                                              std::span<const std::uint64_t> divisors,
                                              std::size_t runs, Simd simd, TableBox box) {
  FieldTableFill fill;
  fill.field_ = &field;
  fill.block_ = whole_rows_within(BLOCK, field.dims().back() * divisors.back() + 1);
  for (std::size_t k = 0; k < field.octaves().size(); ++k) {
    if (k > 0 && samples_intersections(field, field.octaves()[k], divisors)) continue;
    auto table = OctaveTable::create(field, k, divisors, runs, simd, true, box);
    if (!table) return std::unexpected(table.error());
    fill.octaves_.push_back(std::move(*table));
    fill.octave_of_.push_back(k);
  }
  if (auto scratch = fill.allocate_scratch(runs); !scratch) return std::unexpected(scratch.error());
  return fill;
}

Result<FieldTableFill> FieldTableFill::create_grid(const Field& field, std::span<const double> start,
                                                   std::span<const double> step,
                                                   std::span<const std::uint64_t> first,
                                                   std::span<const std::uint64_t> shape,
                                                   std::size_t runs, bool slopes) {
  const std::size_t n = field.n();
  FieldTableFill fill;
  fill.field_ = &field;
  fill.slopes_ = slopes;
  fill.block_ = whole_rows_within(BLOCK, shape[n - 1]);
  for (std::size_t k = 0; k < field.octaves().size(); ++k) {
    auto places = places_of(shape, [&](std::size_t i, std::uint64_t j) {
      // The coordinate exactly as documented, placed as Field::sample
      // places it.
      return field.place(k, i, start[i] + static_cast<double>(first[i] + j) * step[i]);
    });
    if (!places) return std::unexpected(places.error());
    auto table = OctaveTable::placed(field, k, std::move(*places), runs);
    if (!table) return std::unexpected(table.error());
    fill.octaves_.push_back(std::move(*table));
    fill.octave_of_.push_back(k);
  }
  if (auto scratch = fill.allocate_scratch(runs, slopes ? n + 1 : 1); !scratch) {
    return std::unexpected(scratch.error());
  }
  return fill;
}

Status FieldTableFill::allocate_scratch(std::size_t runs, std::size_t width) {
  for (std::size_t run = 0; run < runs; ++run) {
    auto space = allocate<double>(block_ * width, 0.0);
    if (!space) return std::unexpected(space.error());
    scratch_.push_back(std::move(*space));
  }
  return {};
}

void FieldTableFill::fill_slopes(std::size_t run, std::uint64_t begin, std::uint64_t end, double* out) {
  double* block = scratch_[run].data();
  const std::size_t n = field_->n();
  const Shape shape = field_->settings().shape;
  const double sum = field_->weight_sum();
  for (std::uint64_t b = begin; b < end; b += block_) {
    const std::uint64_t e = std::min(end, b + block_);
    double* into = out + (b - begin) * n;
    std::fill(into, into + (e - b) * n, 0.0);
    for (std::size_t j = 0; j < octaves_.size(); ++j) {
      const Octave& octave = field_->octaves()[octave_of_[j]];
      octaves_[j].fill_derivative(run, b, e, block);
      // The shape and the axis count fixed once per block, so that each
      // loop is one shape's and one count's.
      with_shape(shape, [&](auto fixed) {
        with_fixed_axes<1, 4>(n, [&](auto axes) {
          constexpr std::size_t N = decltype(axes)::value;
          const std::size_t m = N ? N : n;
          for (std::uint64_t t = 0; t < e - b; ++t) {
            const double* at = block + t * (m + 1);
            for (std::size_t i = 0; i < m; ++i) {
              term_step(into[t * m + i], octave.weight, shaped_slope(fixed(), at[m], at[i] * octave.scale));
            }
          }
        });
      });
    }
    for (std::uint64_t t = 0; t < (e - b) * n; ++t) into[t] = into[t] / sum;
  }
}

void FieldTableFill::fill(std::size_t run, std::uint64_t begin, std::uint64_t end, double* out) {
  if (slopes_) return fill_slopes(run, begin, end, out);
  // A field that is its Instance is the octave's raw noise, as
  // Field::sample evaluates it.
  if (field_->is_instance()) return octaves_[0].fill(run, begin, end, out);
  double* block = scratch_[run].data();
  const Shape shape = field_->settings().shape;
  const double sum = field_->weight_sum();
  for (std::uint64_t b = begin; b < end; b += block_) {
    const std::uint64_t e = std::min(end, b + block_);
    double* into = out + (b - begin);
    for (std::size_t j = 0; j < octaves_.size(); ++j) {
      const double w = field_->octaves()[octave_of_[j]].weight;
      const bool first = j == 0, last = j + 1 == octaves_.size();
      octaves_[j].fill(run, b, e, first ? into : block);
      with_shape(shape, [&](auto fixed) {
        constexpr Shape S = decltype(fixed){}();
        if (first && last) return add_octave<S, true, true>(nullptr, into, e - b, w, sum);
        if (first) return add_octave<S, true, false>(nullptr, into, e - b, w, sum);
        if (last) return add_octave<S, false, true>(block, into, e - b, w, sum);
        add_octave<S, false, false>(block, into, e - b, w, sum);
      });
    }
  }
}

}  // namespace veldra
