#include "image/renderer.hpp"

#include <string>

namespace veldra {

Result<Renderer> Renderer::create(Field field) {
  const std::size_t n = field.n();
  if (n < 2 || n > 4) return invalid_input("Images need 2 to 4 dimensions, got " + std::to_string(n));
  return Renderer(std::move(field));
}

Status expect_dims(const Field& field, std::size_t k) {
  if (field.n() != k) {
    return invalid_input("This image needs a " + std::to_string(k) + " dimensional field, got " +
                         std::to_string(field.n()));
  }
  return {};
}

Result<Table> Renderer::table_of(std::size_t k, std::span<const std::uint64_t> divisors) const {
  if (auto fits = expect_dims(k); !fits) return std::unexpected(fits.error());
  return table(field_, divisors);
}

}  // namespace veldra
