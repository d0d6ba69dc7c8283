// The noise and the force of a field at many points in one call: a table
// of one value (or n components) per point, each bit for bit what the
// single-point evaluation gives, computed on scoped workers when there are
// many points.
#pragma once

#include <cstdint>

#include "field/field.hpp"
#include "field/instance.hpp"
#include "base/error.hpp"
#include "table/table.hpp"

namespace veldra {

// `count` points of `width` coordinates each, row-major at `data` (aligned
// for double: the binding copies a buffer that is not); errors name them
// from index `first` on.
struct PointRows {
  const double* data = nullptr;
  std::uint64_t count = 0;
  std::size_t width = 0;
  std::uint64_t first = 0;
};

// `error` with the index of the point it concerns: "Point 3: ...".
Error at_point(std::uint64_t index, Error error);

// Success when every point is one that noise() and force() accept;
// otherwise the first refusal, naming its point.
Status expect_points(const Instance& field, PointRows points);
Status expect_points(const Field& field, PointRows points);

// Tables of shape [count] (noise) and [count, n] (force, for one axis too). Every point is
// checked before any is evaluated; a refused point fails the whole call.
Result<Table> noise_at(const Instance& field, PointRows points);
Result<Table> noise_at(const Field& field, PointRows points);
Result<Table> force_at(const Instance& field, PointRows points);
Result<Table> force_at(const Field& field, PointRows points);
// A table of shape [count, n]: row i is Field::derivative at point i.
Result<Table> derivative_at(const Field& field, PointRows points);

}  // namespace veldra
