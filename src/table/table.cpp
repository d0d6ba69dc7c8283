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
  const std::uint64_t part = values_per_look(n(), layout->shape.back());
  return table_by_runs(
      std::move(*layout), [&](std::uint64_t runs) { return TableFill::create(*this, divisors, runs); },
      [&](const TableFill&) { return part; });
}

}  // namespace veldra
