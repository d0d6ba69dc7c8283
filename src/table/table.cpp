#include "table/table.hpp"

#include <algorithm>
#include <string>

#include "base/buffer.hpp"

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

}  // namespace veldra
