#include "table/table.hpp"

#include <algorithm>
#include <string>

#include "base/buffer.hpp"
#include "base/interruption.hpp"
#include "base/strides.hpp"
#include "base/workers.hpp"
#include "table/detail/table_fill.hpp"
#include "table/detail/table_runs.hpp"

namespace veldra {

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

  const Split split = Split::of(count, SERIAL_LIMIT, available_processors());
  auto fill = TableFill::create(*this, divisors, std::max<std::uint64_t>(split.runs, 1));
  if (!fill) return std::unexpected(fill.error());
  auto filled = fill_runs(split, count, values_per_look(n(), layout->shape.back()), *fill, out);
  if (!filled) return std::unexpected(filled.error());
  return Table{std::move(layout->shape), std::move(*values)};
}

}  // namespace veldra
