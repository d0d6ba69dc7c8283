#include "table/at_points.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <span>

#include "base/buffer.hpp"
#include "base/in_parallel.hpp"
#include "field/octave.hpp"
#include "table/detail/point_noise.hpp"

namespace veldra {
namespace {

// Points screened a block at a time just before they are evaluated, while
// the block is in cache: the check costs no pass of its own.
constexpr std::uint64_t SCREEN_BLOCK = 512;

// How a field screens points: accepts(axis, x) says quickly whether `check`
// takes coordinate x on that axis, and check(point) words the refusal.
template <typename Accepts, typename Check>
struct Screen {
  Accepts accepts;
  Check check;
  std::size_t n;

  // The first point in [begin, end) of `points` (n coordinates each) that
  // accepts refuses, or end. Each block is counted without a branch per
  // point, then searched point by point only when something is refused.
  std::uint64_t first_refused(const double* points, std::uint64_t begin, std::uint64_t end) const {
    for (std::uint64_t block = begin; block < end; block += SCREEN_BLOCK) {
      const std::uint64_t last = std::min(end, block + SCREEN_BLOCK);
      const std::uint64_t refused = with_fixed_axes(n, [&](auto axes) {
        return refused_among<decltype(axes)::value>(points + block * n, last - block);
      });
      if (refused == 0) continue;
      for (std::uint64_t i = block;; ++i) {
        for (std::size_t axis = 0; axis < n; ++axis) {
          if (!accepts(axis, points[i * n + axis])) return i;
        }
      }
    }
    return end;
  }

  // How many coordinates of `count` points accepts refuses, N being n (0:
  // n at run time): a sum the compiler turns into SIMD code.
  template <std::size_t N>
  std::uint64_t refused_among(const double* points, std::uint64_t count) const {
    const std::size_t width = N ? N : n;
    std::uint64_t refused = 0;
    for (std::uint64_t i = 0; i < count; ++i) {
      formula::each<N>(width, [&](auto axis) {
        refused += !accepts(axis, points[i * width + axis]);
      });
    }
    return refused;
  }

  // The refusal of point `index`, which the scan refused or whose width is
  // not n, named; success only should `check` take it after all.
  Status refusal(PointRows points, std::uint64_t index) const {
    const double* point = points.data + index * points.width;
    auto accepted = check(std::span<const double>(point, points.width));
    if (accepted) return {};
    return std::unexpected(at_point(points.first + index, std::move(accepted.error())));
  }

  // The first refusal among all the points.
  Status check_all(PointRows points) const {
    if (points.count == 0) return {};
    const std::uint64_t refused =
        points.width == n ? first_refused(points.data, 0, points.count) : 0;
    return refused == points.count ? Status{} : refusal(points, refused);
  }
};
template <typename Accepts, typename Check>
Screen(Accepts, Check, std::size_t) -> Screen<Accepts, Check>;

// Calls f with the Screen of `field`'s points.
template <typename F>
decltype(auto) with_screen(const Instance& field, F&& f) {
  std::array<double, MAX_DIMS> upper{};
  for (std::size_t i = 0; i < field.n(); ++i) upper[i] = static_cast<double>(field.dims()[i]);
  return f(Screen{[upper](std::size_t i, double x) { return (0.0 <= x) & (x <= upper[i]); },
                  [&](std::span<const double> p) { return field.expect_inside(p); }, field.n()});
}

template <typename F>
decltype(auto) with_screen(const Field& field, F&& f) {
  if (!field.settings().periodic) return with_screen(field.base(), f);
  return f(Screen{[scale = field.top_scale()](std::size_t, double x) {
                    return Field::wraps_exactly(x, scale);
                  },
                  [&](std::span<const double> p) { return field.expect_point(p); }, field.n()});
}

// The table of `width` numbers per point that each(begin, end, out) writes
// for the points of [begin, end), returning whether `screen` accepts them
// all (as by_screen's evaluators do: the points it takes are accepted, and
// it evaluates nothing else; an evaluator may also tell by itself). The
// table has shape [count] for one value per point (Per::Value), [count,
// width] for vectors (Per::Vector), whatever the width. Every run of the
// workers stops at its first refused point; the call then fails with the
// first refused point of all, and the table is dropped.
enum class Per { Value, Vector };

template <typename Checks, typename Each>
Result<Table> per_point(PointRows points, Per per, std::size_t width, const Checks& screen, Each&& each) {
  if (points.count != 0 && points.width != screen.n) {
    if (auto refused = screen.refusal(points, 0); !refused) return std::unexpected(refused.error());
    return internal_error("points of the wrong length accepted");
  }
  std::vector<std::uint64_t> shape{points.count};
  if (per == Per::Vector) shape.push_back(width);
  auto numbers = checked_mul(points.count, width);
  if (!numbers) return out_of_memory();
  auto values = allocate_deferred<double>(*numbers);
  if (!values) return std::unexpected(values.error());
  double* out = values->data();
  auto pieces = [&](std::uint64_t begin, std::uint64_t end) {
    for (std::uint64_t block = begin; block < end; block += SCREEN_BLOCK) {
      const std::uint64_t last = std::min(end, block + SCREEN_BLOCK);
      if (each(block, last, out + block * width)) continue;
      const std::uint64_t first = screen.first_refused(points.data, block, last);
      if (first != last) return first;
    }
    return points.count;
  };
  auto refused = per_chunk<std::uint64_t>(points.count, SERIAL_LIMIT, pieces);
  if (!refused) return std::unexpected(refused.error());
  for (std::uint64_t index : *refused) {
    if (index == points.count) continue;
    if (auto valid = screen.refusal(points, index); !valid) return std::unexpected(valid.error());
  }
  return Table{std::move(shape), std::move(*values)};
}

// each(begin, end, out) for a per_point of `screen`'s points, run once
// the screen has taken them.
template <typename Checks, typename Each>
auto by_screen(const Checks& screen, const double* points, Each&& each) {
  return [&screen, points, each](std::uint64_t begin, std::uint64_t end, double* out) {
    if (screen.first_refused(points, begin, end) != end) return false;
    each(begin, end, out);
    return true;
  };
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
  const std::size_t n = field.n();
  return with_screen(field, [&](const auto& screen) {
    auto samples = [&](std::uint64_t begin, std::uint64_t end, double* out) {
      for (std::uint64_t i = begin; i < end; ++i) {
        out[i - begin] = field.sample(std::span<const double>(points.data + i * n, n));
      }
    };
    return per_point(points, Per::Value, 1, screen, by_screen(screen, points.data, samples));
  });
}

Result<Table> force_at(const Field& field, PointRows points) {
  if (field.is_instance()) return force_at(field.base(), points);
  return pulls_at(field, points);
}

}  // namespace veldra
