#include "table/table.hpp"

#include <algorithm>
#include <string>

#include "lib/buffer.hpp"
#include "lib/strides.hpp"
#include "table/table_fill.hpp"
#include "lib/workers.hpp"

namespace veldra {

TableSplit split_table(std::uint64_t count, std::uint64_t processors) {
  if (count < TABLE_CHUNK) return {};
  const std::uint64_t portions = (count + TABLE_CHUNK - 1) / TABLE_CHUNK;
  const std::uint64_t workers = std::max<std::uint64_t>(std::min(processors, portions), 1);
  const std::uint64_t chunk = (count + workers - 1) / workers;
  return {(count + chunk - 1) / chunk, chunk};
}

Result<Instance::Layout> Instance::table_layout(std::span<const std::uint64_t> divisors) const {
  if (divisors.size() != n()) {
    return invalid_input("Expected " + std::to_string(n()) + " divisors, got " +
                         std::to_string(divisors.size()));
  }
  Layout layout{{}, 1};
  layout.shape.reserve(n());
  for (std::size_t i = 0; i < n(); ++i) {
    if (divisors[i] == 0) return invalid_input("Divisor cannot be 0");
    auto cells = checked_mul(dims_[i], divisors[i]);
    auto extent = cells ? checked_add(*cells, 1) : std::nullopt;
    auto count = extent ? checked_mul(layout.count, *extent) : std::nullopt;
    if (!count) return invalid_input("Grid size overflows usize");
    layout.shape.push_back(*extent);
    layout.count = *count;
  }
  return layout;
}

Result<Table> Instance::table(std::span<const std::uint64_t> divisors) const {
  auto layout = table_layout(divisors);
  if (!layout) return std::unexpected(layout.error());
  const std::uint64_t count = layout->count;
  auto values = allocate_deferred<double>(count);
  if (!values) return std::unexpected(values.error());
  double* out = values->data();

  const TableSplit split = split_table(count, available_processors());
  auto fill = TableFill::create(*this, divisors, std::max<std::uint64_t>(split.runs, 1));
  if (!fill) return std::unexpected(fill.error());
  if (split.runs == 0) {
    fill->fill(0, 0, count, out);
  } else {
    const std::uint64_t chunk = split.chunk;
    auto filled = run_scoped(split.runs, [&](std::size_t run) {
      const std::uint64_t begin = run * chunk;
      const std::uint64_t end = std::min(count, begin + chunk);
      fill->fill(run, begin, end, out + begin);
    });
    if (!filled) return std::unexpected(filled.error());
  }
  return Table{std::move(layout->shape), std::move(*values)};
}

}  // namespace veldra
