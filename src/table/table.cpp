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

Result<TableLayout> table_layout(const Instance& field, std::span<const std::uint64_t> divisors) {
  const std::size_t n = field.n();
  if (divisors.size() != n) {
    return invalid_input("Expected " + std::to_string(n) + " divisors, got " +
                         std::to_string(divisors.size()));
  }
  TableLayout layout{{}, 1};
  layout.shape.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    if (divisors[i] == 0) return invalid_input("Divisor cannot be 0");
    auto cells = checked_mul(field.dims()[i], divisors[i]);
    auto extent = cells ? checked_add(*cells, 1) : std::nullopt;
    auto count = extent ? checked_mul(layout.count, *extent) : std::nullopt;
    if (!count) return invalid_input("Grid size overflows usize");
    layout.shape.push_back(*extent);
    layout.count = *count;
  }
  return layout;
}

Result<TableLayout> table_layout(const Field& field, std::span<const std::uint64_t> divisors) {
  return table_layout(field.base(), divisors);
}

Result<Table> table(const Instance& field, std::span<const std::uint64_t> divisors) {
  auto layout = table_layout(field, divisors);
  if (!layout) return std::unexpected(layout.error());
  const std::uint64_t part = values_per_look(field.n(), layout->shape.back());
  return table_by_runs(
      std::move(*layout), [&](std::uint64_t runs) { return TableFill::create(field, divisors, runs); },
      [&](const TableFill&) { return part; });
}

}  // namespace veldra
