// A field-floor source that calls what only the table floor defines, as
// Instance::table did when the field floor declared it: linked with the
// field and base floors alone and --no-undefined, as the floors' checks
// link, it must fail; with the table floor too, it must link.
#include "field/instance.hpp"
#include "table/table.hpp"

namespace veldra {

Result<Table> upward(const Instance& field) {
  const std::uint64_t divisors[] = {2};
  return table(field, divisors);
}

}  // namespace veldra
