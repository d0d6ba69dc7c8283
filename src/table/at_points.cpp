#include "table/at_points.hpp"

#include <cmath>
#include <span>

#include "field/fixed_field.hpp"
#include "base/in_parallel.hpp"
#include "base/buffer.hpp"

namespace veldra {
namespace {

// The first refusal of `check` among the points, named: found by a quick
// scan with accepts(axis, x), which must say whether `check` takes a
// coordinate x on that axis, and then worded by `check` itself.
template <typename Accepts, typename Check>
Status check_each(PointRows points, std::size_t n, Accepts&& accepts, Check&& check) {
  if (points.count == 0) return {};
  auto row = [&](std::uint64_t i) {
    return std::span<const double>(points.data + i * points.width, points.width);
  };
  std::uint64_t refused = 0;
  if (points.width == n) {
    for (; refused < points.count; ++refused) {
      bool all = true;
      for (std::size_t axis = 0; axis < n; ++axis) {
        all = all & accepts(axis, points.data[refused * n + axis]);
      }
      if (!all) break;
    }
    if (refused == points.count) return {};
  }
  auto accepted = check(row(refused));
  if (accepted) return {};
  return std::unexpected(at_point(points.first + refused, std::move(accepted.error())));
}

// The table of `width` numbers per point that each(point, out) writes;
// `width` 1 gives shape [count], otherwise [count, width].
template <typename Each>
Result<Table> per_point(PointRows points, std::size_t width, Each&& each) {
  std::vector<std::uint64_t> shape{points.count};
  if (width > 1) shape.push_back(width);
  auto numbers = checked_mul(points.count, width);
  if (!numbers) return out_of_memory();
  auto values = allocate_deferred<double>(*numbers);
  if (!values) return std::unexpected(values.error());
  double* out = values->data();
  auto done = for_each_chunk(points.count, SERIAL_LIMIT, [&](std::uint64_t begin, std::uint64_t end) {
    each(begin, end, out + begin * width);
  });
  if (!done) return std::unexpected(done.error());
  return Table{std::move(shape), std::move(*values)};
}

// Calls f with FixedField<N> for 2 to 4 axes, with nothing otherwise.
template <typename F>
void with_fixed_field(const Instance& field, F&& f) {
  switch (field.n()) {
    case 2: return f(FixedField<2>(field));
    case 3: return f(FixedField<3>(field));
    case 4: return f(FixedField<4>(field));
    default: return f(nullptr);
  }
}

// The checked pulls at `points` of an Instance or a Field, n per point.
template <typename F>
Result<Table> pulls_at(const F& field, PointRows points) {
  if (auto valid = expect_points(field, points); !valid) return std::unexpected(valid.error());
  const std::size_t n = field.n();
  return per_point(points, n, [&](std::uint64_t begin, std::uint64_t end, double* out) {
    for (std::uint64_t i = begin; i < end; ++i) {
      field.pull(std::span<const double>(points.data + i * n, n),
                 std::span<double>(out + (i - begin) * n, n));
    }
  });
}

}  // namespace

Error at_point(std::uint64_t index, Error error) {
  error.message = "Point " + std::to_string(index) + ": " + error.message;
  return error;
}

Status expect_points(const Instance& field, PointRows points) {
  double upper[MAX_DIMS];
  for (std::size_t i = 0; i < field.n(); ++i) upper[i] = static_cast<double>(field.dims()[i]);
  return check_each(
      points, field.n(), [&](std::size_t i, double x) { return 0.0 <= x && x <= upper[i]; },
      [&](std::span<const double> p) { return field.expect_inside(p); });
}

Status expect_points(const Field& field, PointRows points) {
  if (!field.settings().periodic) return expect_points(field.base(), points);
  return check_each(
      points, field.n(), [](std::size_t, double x) { return std::isfinite(x); },
      [&](std::span<const double> p) { return field.expect_point(p); });
}

Result<Table> noise_at(const Instance& field, PointRows points) {
  if (auto valid = expect_points(field, points); !valid) return std::unexpected(valid.error());
  const std::size_t n = field.n();
  return per_point(points, 1, [&](std::uint64_t begin, std::uint64_t end, double* out) {
    with_fixed_field(field, [&](const auto& fixed) {
      if constexpr (std::is_same_v<std::remove_cvref_t<decltype(fixed)>, std::nullptr_t>) {
        for (std::uint64_t i = begin; i < end; ++i) {
          out[i - begin] = field.sample(std::span<const double>(points.data + i * n, n));
        }
      } else {
        fixed.noise_many(points.data + begin * n, end - begin, out);
      }
    });
  });
}

Result<Table> force_at(const Instance& field, PointRows points) { return pulls_at(field, points); }

Result<Table> noise_at(const Field& field, PointRows points) {
  if (field.is_instance()) return noise_at(field.base(), points);
  if (auto valid = expect_points(field, points); !valid) return std::unexpected(valid.error());
  const std::size_t n = field.n();
  return per_point(points, 1, [&](std::uint64_t begin, std::uint64_t end, double* out) {
    for (std::uint64_t i = begin; i < end; ++i) {
      out[i - begin] = field.sample(std::span<const double>(points.data + i * n, n));
    }
  });
}

Result<Table> force_at(const Field& field, PointRows points) {
  if (field.is_instance()) return force_at(field.base(), points);
  return pulls_at(field, points);
}

}  // namespace veldra
