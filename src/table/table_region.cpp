// Tables and their regions: a box of a table's indices, filled by stretches
// contiguous in the table through the table's fills, so every value is bit
// for bit the table's; a whole table is the box from 0 to its shape. Grids
// are filled as tables of their own shape.
#include <algorithm>
#include <string>

#include "base/buffer.hpp"
#include "base/in_parallel.hpp"
#include "base/strides.hpp"
#include "base/workers.hpp"
#include "field/field.hpp"
#include "table/detail/field_table.hpp"
#include "table/detail/table_fill.hpp"
#include "table/table.hpp"

namespace veldra {
namespace {

// start + extent in decimal, exactly, though it may exceed 64 bits.
std::string end_text(std::uint64_t start, std::uint64_t extent) {
  __extension__ typedef unsigned __int128 Wide;
  constexpr std::uint64_t TEN_19 = 10'000'000'000'000'000'000ULL;
  const Wide end = static_cast<Wide>(start) + extent;
  const auto high = static_cast<std::uint64_t>(end / TEN_19);
  const std::string low = std::to_string(static_cast<std::uint64_t>(end % TEN_19));
  return high == 0 ? low : std::to_string(high) + std::string(19 - low.size(), '0') + low;
}

}  // namespace

Status check_region(std::span<const std::uint64_t> table, std::span<const std::uint64_t> start,
                    std::span<const std::uint64_t> shape) {
  const std::string n = std::to_string(table.size());
  if (start.size() != table.size()) {
    return invalid_input("Expected " + n + " start indices, got " + std::to_string(start.size()));
  }
  if (shape.size() != table.size()) {
    return invalid_input("Expected " + n + " extents, got " + std::to_string(shape.size()));
  }
  for (std::size_t i = 0; i < table.size(); ++i) {
    if (shape[i] == 0) return invalid_input("Extent " + std::to_string(i) + " cannot be 0");
  }
  for (std::size_t i = 0; i < table.size(); ++i) {
    if (start[i] > table[i] || shape[i] > table[i] - start[i]) {
      return invalid_input("Region on axis " + std::to_string(i) + " ends at " +
                           end_text(start[i], shape[i]) + ", beyond the table's " +
                           std::to_string(table[i]));
    }
  }
  return {};
}

namespace {

// The one fill of a box of a table, the whole table being the box from 0
// to its shape. `make_fill(runs)` gives a fill of the table's flat ranges
// (TableFill or FieldTableFill) and `part_of(fill)` the most values it
// takes between two looks at stop_requested(). The box's values, in its
// row-major order, fall in stretches that are contiguous in the table,
// each filled as the table fills it: every axis after `inner` is whole in
// the box (from 0 to the table's extent), so a stretch spans axes inner
// onwards: a row of the last axis for a box that cuts it, the whole table
// for the whole table.
//
// With `width` above 1 the fill writes that many numbers per index (a
// derivative grid's), and the table gains a last axis of `width`.
template <typename MakeFill, typename PartOf>
Result<Table> fill_box(const TableLayout& table, std::span<const std::uint64_t> start,
                       std::span<const std::uint64_t> shape, MakeFill&& make_fill,
                       PartOf&& part_of, std::size_t width = 1) {
  if (auto fits = check_region(table.shape, start, shape); !fits) return std::unexpected(fits.error());
  std::uint64_t count = 1;
  for (std::uint64_t extent : shape) count *= extent;  // at most the table's count
  auto numbers = checked_mul(count, width);
  if (!numbers) return invalid_input("Grid size overflows usize");
  auto values = allocate_deferred<double>(*numbers);
  if (!values) return std::unexpected(values.error());
  double* out = values->data();

  const Split split = Split::of(count, SERIAL_LIMIT, available_processors());
  auto fill = make_fill(std::max<std::uint64_t>(split.runs, 1));
  if (!fill) return std::unexpected(fill.error());
  const std::vector<std::uint64_t> strides = row_major_strides(table.shape);
  std::size_t inner = shape.size() - 1;
  while (inner > 0 && start[inner] == 0 && shape[inner] == table.shape[inner]) --inner;
  std::uint64_t stretch = 1;
  for (std::size_t i = inner; i < shape.size(); ++i) stretch *= shape[i];
  auto filled = for_each_piece(split, count, part_of(*fill), stretch,
                               [&](std::size_t run, std::uint64_t at, std::uint64_t next) {
    const std::uint64_t row = at / stretch;
    std::uint64_t from = start[inner] * strides[inner] + (at - row * stretch);
    for (std::uint64_t i = inner, rest = row; i-- > 0; rest /= shape[i]) {
      from += (start[i] + rest % shape[i]) * strides[i];
    }
    fill->fill(run, from, from + (next - at), out + at * width);
  });
  if (!filled) return std::unexpected(filled.error());
  std::vector<std::uint64_t> dims(shape.begin(), shape.end());
  if (width > 1) dims.push_back(width);
  return Table{std::move(dims), std::move(*values)};
}

}  // namespace

Result<Table> table_region(const Instance& field, std::span<const std::uint64_t> divisors,
                           std::span<const std::uint64_t> start,
                           std::span<const std::uint64_t> shape) {
  auto layout = table_layout(field, divisors);
  if (!layout) return std::unexpected(layout.error());
  return fill_box(
      *layout, start, shape, [&](std::size_t runs) { return TableFill::create(field, divisors, runs); },
      [&](const TableFill&) { return values_per_look(field.n(), shape.back()); });
}

Result<Table> table_region(const Field& field, std::span<const std::uint64_t> divisors,
                           std::span<const std::uint64_t> start,
                           std::span<const std::uint64_t> shape) {
  if (field.is_instance()) return table_region(field.base(), divisors, start, shape);
  auto layout = table_layout(field, divisors);
  if (!layout) return std::unexpected(layout.error());
  return fill_box(
      *layout, start, shape,
      [&](std::size_t runs) {
        return FieldTableFill::create(field, divisors, runs, widest_simd(), TableBox{start, shape});
      },
      [](const FieldTableFill& fill) { return fill.block(); });
}

namespace {

// grid() and derivative_grid(): the arguments checked, then the box of the
// grid filled with `width` numbers per index.
Result<Table> grid_of(const Field& field, std::span<const double> start, std::span<const double> step,
                      std::span<const std::uint64_t> shape, std::span<const std::uint64_t> first,
                      bool slopes) {
  const std::size_t n = field.n();
  const std::string dimensions = std::to_string(n);
  if (start.size() != n) {
    return invalid_input("Expected " + dimensions + " start coordinates, got " + std::to_string(start.size()));
  }
  if (step.size() != n) {
    return invalid_input("Expected " + dimensions + " steps, got " + std::to_string(step.size()));
  }
  const std::vector<std::uint64_t> zeros(n, 0);
  if (first.empty()) first = zeros;
  if (auto box = check_region(std::vector<std::uint64_t>(n, UINT64_MAX), first, shape); !box) {
    return std::unexpected(box.error());
  }
  std::uint64_t count = 1;
  for (std::uint64_t extent : shape) {
    auto more = checked_mul(count, extent);
    if (!more) return invalid_input("Grid size overflows usize");
    count = *more;
  }
  // Each axis's coordinates run monotonically from its first sample to its
  // last (a product and a sum, each rounded monotonically), so the bounds
  // hold for all when they hold at both ends.
  std::vector<double> lowest(n), highest(n);
  for (std::size_t i = 0; i < n; ++i) {
    lowest[i] = start[i] + static_cast<double>(first[i]) * step[i];
    highest[i] = start[i] + static_cast<double>(first[i] + shape[i] - 1) * step[i];
  }
  for (const std::vector<double>* end : {&lowest, &highest}) {
    if (auto inside = field.expect_point(*end); !inside) return std::unexpected(inside.error());
  }
  return fill_box(
      TableLayout{{shape.begin(), shape.end()}, count}, zeros, shape,
      [&](std::size_t runs) {
        return FieldTableFill::create_grid(field, start, step, first, shape, runs, slopes);
      },
      [](const FieldTableFill& fill) { return fill.block(); }, slopes ? n : 1);
}

}  // namespace

Result<Table> grid(const Field& field, std::span<const double> start, std::span<const double> step,
                   std::span<const std::uint64_t> shape, std::span<const std::uint64_t> first) {
  return grid_of(field, start, step, shape, first, false);
}

Result<Table> derivative_grid(const Field& field, std::span<const double> start,
                              std::span<const double> step, std::span<const std::uint64_t> shape,
                              std::span<const std::uint64_t> first) {
  return grid_of(field, start, step, shape, first, true);
}

Result<Table> table(const Instance& field, std::span<const std::uint64_t> divisors) {
  auto layout = table_layout(field, divisors);
  if (!layout) return std::unexpected(layout.error());
  return table_region(field, divisors, std::vector<std::uint64_t>(field.n(), 0), layout->shape);
}

Result<Table> table(const Field& field, std::span<const std::uint64_t> divisors) {
  auto layout = table_layout(field, divisors);
  if (!layout) return std::unexpected(layout.error());
  return table_region(field, divisors, std::vector<std::uint64_t>(field.n(), 0), layout->shape);
}

}  // namespace veldra
