// Evaluation of many points block by block on the workers, each block
// screened by the field's bounds (field/lattice_bounds.hpp) while it is in
// cache: the machinery of noise_at and force_at (at_points.cpp), apart so
// that its verdicts can be tested with bounds that lie.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "base/buffer.hpp"
#include "base/error.hpp"
#include "base/in_parallel.hpp"
#include "field/lattice_bounds.hpp"
#include "field/octave.hpp"
#include "table/at_points.hpp"
#include "table/table.hpp"

namespace veldra {

// Points screened a block at a time just before they are evaluated, while
// the block is in cache: the check costs no pass of its own.
inline constexpr std::uint64_t SCREEN_BLOCK = 512;

// How a field screens points: bounds.accepts(axis, x) says quickly whether
// the field takes coordinate x on that axis, bounds.expect(point) words the
// refusal of a point (LatticeBounds, FieldBounds).
template <typename Bounds>
struct Screen {
  Bounds bounds;

  std::size_t n() const { return bounds.n(); }

  // The first point in [begin, end) of `points` (n coordinates each) that
  // the bounds refuse, or end. Each block is counted without a branch per
  // point, then searched point by point only when something is refused.
  std::uint64_t first_refused(const double* points, std::uint64_t begin, std::uint64_t end) const {
    const std::size_t n = this->n();
    for (std::uint64_t block = begin; block < end; block += SCREEN_BLOCK) {
      const std::uint64_t last = std::min(end, block + SCREEN_BLOCK);
      const std::uint64_t refused = with_fixed_axes(n, [&](auto axes) {
        return refused_among<decltype(axes)::value>(bounds, points + block * n, last - block);
      });
      if (refused == 0) continue;
      for (std::uint64_t i = block; i < last; ++i) {
        for (std::size_t axis = 0; axis < n; ++axis) {
          if (!bounds.accepts(axis, points[i * n + axis])) return i;
        }
      }
    }
    return end;
  }

  // Why point `index` is refused, which the screen refused or whose width
  // is not n: the check's words, naming the point. Should the check take
  // it after all, the screen and the check disagree: an internal error.
  Error refusal(PointRows points, std::uint64_t index) const {
    const double* point = points.data + index * points.width;
    auto accepted = bounds.expect(std::span<const double>(point, points.width));
    if (!accepted) return at_point(points.first + index, std::move(accepted.error()));
    return internal_error("Point " + std::to_string(points.first + index) +
                          " was refused by the screen of points but accepted by their check")
        .error();
  }

  // The first refusal among all the points.
  Status check_all(PointRows points) const {
    if (points.count == 0) return {};
    const std::uint64_t refused =
        points.width == n() ? first_refused(points.data, 0, points.count) : 0;
    if (refused == points.count) return {};
    return std::unexpected(refusal(points, refused));
  }
};
template <typename Bounds>
Screen(Bounds) -> Screen<Bounds>;

// The table of `width` numbers per point that each(begin, end, out) writes
// for the points of [begin, end), returning whether `screen` accepts them
// all (by_screen's evaluators: the points it takes are written, and it
// writes nothing else; an evaluator may also tell by itself). The table
// has shape [count] for one value per point (Per::Value), [count, width]
// for vectors (Per::Vector), whatever the width. Every run of the workers
// stops at its first refused point; the call then fails with the first
// refused point of all, and the table is dropped. A block that the
// evaluator refuses and the screen takes whole, or a point that the screen
// refuses and the check takes, is a fault of the evaluator or the screen:
// the call fails with an internal error rather than return values that
// were never written.
enum class Per { Value, Vector };

template <typename Bounds, typename Each>
Result<Table> per_point(PointRows points, Per per, std::size_t width, const Screen<Bounds>& screen,
                        Each&& each) {
  if (points.count != 0 && points.width != screen.n()) {
    return std::unexpected(screen.refusal(points, 0));
  }
  std::vector<std::uint64_t> shape{points.count};
  if (per == Per::Vector) shape.push_back(width);
  auto numbers = checked_mul(points.count, width);
  if (!numbers) return out_of_memory();
  auto values = allocate_deferred<double>(*numbers);
  if (!values) return std::unexpected(values.error());
  double* out = values->data();
  // What one run met: the first point it refused (points.count: none),
  // or the first point of a block its evaluator refused although the
  // screen takes every point of it (unwritten).
  struct Met {
    std::uint64_t point;
    bool unwritten;
  };
  auto pieces = [&](std::uint64_t begin, std::uint64_t end) -> Met {
    for (std::uint64_t block = begin; block < end; block += SCREEN_BLOCK) {
      const std::uint64_t last = std::min(end, block + SCREEN_BLOCK);
      if (each(block, last, out + block * width)) continue;
      const std::uint64_t first = screen.first_refused(points.data, block, last);
      return {first == last ? block : first, first == last};
    }
    return {points.count, false};
  };
  auto met = per_chunk<Met>(points.count, SERIAL_LIMIT, pieces);
  if (!met) return std::unexpected(met.error());
  for (const Met& run : *met) {
    if (run.unwritten) {
      return internal_error("Points from " + std::to_string(points.first + run.point) +
                            " on were refused by their evaluator but accepted by the screen");
    }
  }
  for (const Met& run : *met) {
    if (run.point != points.count) return std::unexpected(screen.refusal(points, run.point));
  }
  return Table{std::move(shape), std::move(*values)};
}

// each(begin, end, out) for a per_point of `screen`'s points, run once
// the screen has taken them.
template <typename Bounds, typename Each>
auto by_screen(const Screen<Bounds>& screen, const double* points, Each&& each) {
  return [&screen, points, each](std::uint64_t begin, std::uint64_t end, double* out) {
    if (screen.first_refused(points, begin, end) != end) return false;
    each(begin, end, out);
    return true;
  };
}

}  // namespace veldra
