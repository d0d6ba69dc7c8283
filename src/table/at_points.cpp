#include "table/at_points.hpp"

#include <span>

#include "field/lattice_bounds.hpp"
#include "table/detail/per_point.hpp"
#include "table/detail/point_noise.hpp"

namespace veldra {
namespace {

// Calls f with the Screen of `field`'s points.
template <typename F>
decltype(auto) with_screen(const Instance& field, F&& f) {
  return f(Screen{LatticeBounds(field.dims())});
}

template <typename F>
decltype(auto) with_screen(const Field& field, F&& f) {
  return f(Screen{field.bounds()});
}

// The checked pulls at `points` of an Instance or a Field, n per point.
template <typename F>
Result<Table> pulls_at(const F& field, PointRows points) {
  const std::size_t n = field.n();
  return with_screen(field, [&](const auto& screen) {
    auto pulls = [&](std::uint64_t begin, std::uint64_t end, double* out) {
      for (std::uint64_t i = begin; i < end; ++i) {
        field.pull(std::span<const double>(points.data + i * n, n),
                   std::span<double>(out + (i - begin) * n, n));
      }
    };
    return per_point(points, Per::Vector, n, screen, by_screen(screen, points.data, pulls));
  });
}

// The checked numbers of a Field at `points`, `width` per point (one for
// Per::Value), each screened block evaluated by evaluate(field, points,
// count, out): noise_points, pull_points or slope_points.
template <typename Evaluate>
Result<Table> field_at(const Field& field, PointRows points, Per per, std::size_t width,
                       Evaluate&& evaluate) {
  const std::size_t n = field.n();
  return with_screen(field, [&](const auto& screen) {
    auto block = [&](std::uint64_t begin, std::uint64_t end, double* out) {
      evaluate(field, points.data + begin * n, end - begin, out);
    };
    return per_point(points, per, width, screen, by_screen(screen, points.data, block));
  });
}

}  // namespace

Error at_point(std::uint64_t index, Error error) {
  error.message = "Point " + std::to_string(index) + ": " + error.message;
  return error;
}

Status expect_points(const Instance& field, PointRows points) {
  return with_screen(field, [&](const auto& screen) { return screen.check_all(points); });
}

Status expect_points(const Field& field, PointRows points) {
  return with_screen(field, [&](const auto& screen) { return screen.check_all(points); });
}

Result<Table> noise_at(const Instance& field, PointRows points) {
  return with_screen(field, [&](const auto& screen) {
    return per_point(points, Per::Value, 1, screen, [&](std::uint64_t begin, std::uint64_t end, double* out) {
      return noise_points(field, points.data + begin * field.n(), end - begin, out);
    });
  });
}

Result<Table> force_at(const Instance& field, PointRows points) { return pulls_at(field, points); }

Result<Table> noise_at(const Field& field, PointRows points) {
  if (field.is_instance()) return noise_at(field.base(), points);
  return field_at(field, points, Per::Value, 1, [](auto&&... block) { noise_points(block...); });
}

Result<Table> force_at(const Field& field, PointRows points) {
  if (field.is_instance()) return force_at(field.base(), points);
  return field_at(field, points, Per::Vector, field.n(), [](auto&&... block) { pull_points(block...); });
}

Result<Table> derivative_at(const Field& field, PointRows points) {
  return field_at(field, points, Per::Vector, field.n(), [](auto&&... block) { slope_points(block...); });
}

}  // namespace veldra
