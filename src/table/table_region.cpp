// Regions of tables: a box of a table's indices, filled row by row (each
// row of the box's last axis a contiguous range of the table) through the
// same fills as the whole table, so every value is bit for bit the table's.
#include <algorithm>
#include <string>

#include "base/buffer.hpp"
#include "base/interruption.hpp"
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

// The region's layout, or why it does not fit the table of `table` shape.
Result<TableLayout> region_layout(const std::vector<std::uint64_t>& table,
                                       std::span<const std::uint64_t> start,
                                       std::span<const std::uint64_t> shape) {
  if (auto fits = check_region(table, start, shape); !fits) return std::unexpected(fits.error());
  TableLayout region{{shape.begin(), shape.end()}, 1};
  for (std::uint64_t extent : shape) region.count *= extent;  // at most the table's count
  return region;
}

// The one region fill: `make_fill(runs)` gives a fill of the table's flat
// ranges (TableFill or FieldTableFill) and `part(fill)` the most values it
// takes between two looks at stop_requested().
template <typename MakeFill, typename Part>
Result<Table> fill_region(const TableLayout& table, std::span<const std::uint64_t> start,
                          std::span<const std::uint64_t> shape, MakeFill&& make_fill,
                          Part&& part_of) {
  auto region = region_layout(table.shape, start, shape);
  if (!region) return std::unexpected(region.error());
  const std::uint64_t count = region->count;
  auto values = allocate_deferred<double>(count);
  if (!values) return std::unexpected(values.error());
  double* out = values->data();

  const Split split = Split::of(count, SERIAL_LIMIT, available_processors());
  auto fill = make_fill(std::max<std::uint64_t>(split.runs, 1));
  if (!fill) return std::unexpected(fill.error());
  const std::uint64_t part = part_of(*fill);
  const std::vector<std::uint64_t> strides = row_major_strides(table.shape);
  const std::size_t last = shape.size() - 1;
  const std::uint64_t width = shape[last];
  // A run's values are pieces of the region's rows; a row's piece is a
  // contiguous range of the table, filled as the table fills it.
  auto filled = run_split(split, [&](std::size_t run) {
    const std::uint64_t begin = run * split.length;
    const std::uint64_t end = std::min(count, begin + split.length);
    for (std::uint64_t at = begin; at < end;) {
      if (stop_requested()) return;
      const std::uint64_t row = at / width;
      std::uint64_t from = start[last] + (at - row * width);
      for (std::uint64_t i = last, rest = row; i-- > 0; rest /= shape[i]) {
        from += (start[i] + rest % shape[i]) * strides[i];
      }
      const std::uint64_t next = std::min({end, (row + 1) * width, at + part});
      fill->fill(run, from, from + (next - at), out + at);
      at = next;
    }
  });
  if (!filled) return std::unexpected(filled.error());
  return Table{std::move(region->shape), std::move(*values)};
}

}  // namespace

Result<Table> table_region(const Instance& field, std::span<const std::uint64_t> divisors,
                           std::span<const std::uint64_t> start,
                           std::span<const std::uint64_t> shape) {
  auto layout = table_layout(field, divisors);
  if (!layout) return std::unexpected(layout.error());
  return fill_region(
      *layout, start, shape, [&](std::size_t runs) { return TableFill::create(field, divisors, runs); },
      [&](const TableFill&) { return values_per_look(field.n(), shape.back()); });
}

Result<Table> table_region(const Field& field, std::span<const std::uint64_t> divisors,
                           std::span<const std::uint64_t> start,
                           std::span<const std::uint64_t> shape) {
  if (field.is_instance()) return table_region(field.base(), divisors, start, shape);
  auto layout = table_layout(field, divisors);
  if (!layout) return std::unexpected(layout.error());
  return fill_region(
      *layout, start, shape,
      [&](std::size_t runs) {
        return FieldTableFill::create(field, divisors, runs, widest_simd(), TableBox{start, shape});
      },
      [](const FieldTableFill& fill) { return fill.block(); });
}

}  // namespace veldra
