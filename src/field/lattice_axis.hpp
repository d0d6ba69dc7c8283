// One coordinate of a point placed on one axis of a field's lattice: how
// Instance::sample and Instance::pull locate points, shared with the
// renderers' evaluators of fields with a fixed number of axes.
#pragma once

#include <cmath>
#include <cstdint>

#include "field/formula.hpp"

namespace veldra {

// How an axis of a field treats coordinates: between walls at 0 and
// dims[i], wrapping around every dims[i] cells (periodic), or going on
// without end (unbounded).
enum class AxisKind : std::uint8_t { Wall, Wrap, Open };

// Where a coordinate lies on an axis of `cells` cells.
struct AxisPoint {
  std::uint64_t cell = 0;  // the cell holding the coordinate, at most cells - 1
  Sides sides{};           // at the offset x - cell from the cell's lower side
};

// The coordinate `x` placed on an axis of `cells` (at least 1) cells:
// clamped into [0, cells], the upper boundary belonging to the last cell, a NaN kept
// (in cell 0).
inline AxisPoint locate_on_axis(double x, std::uint64_t cells) {
  const double upper = static_cast<double>(cells);
  if (x < 0.0) x = 0.0;
  if (x > upper) x = upper;
  // x is now NaN or in [0, cells], where truncation is the floor.
  std::uint64_t cell = 0;  // NaN gives 0; beyond the range saturates
  if (x >= 18446744073709551616.0) {
    cell = UINT64_MAX;
  } else if (x >= 0.0) {
    cell = static_cast<std::uint64_t>(x);
  }
  if (cell > cells - 1) cell = cells - 1;
  return {cell, sides_at(x - static_cast<double>(cell))};
}

// The coordinate `x` placed on an axis without walls, where the lattice
// goes on in both directions: in cell floor(x) (a negative cell as its
// two's complement, so that cell + 1 is the next one mod 2^64) at offset
// x - floor(x), exact for |x| <= 2^52, the field's bound.
inline AxisPoint locate_open(double x) {
  const double floor = std::floor(x);
  return {static_cast<std::uint64_t>(static_cast<std::int64_t>(floor)), sides_at(x - floor)};
}

// locate_on_axis for one coordinate per lane of the SIMD vector `x`, on an
// axis of `cells` cells (fewer than 2^52, as every stored lattice has):
// the Sides of each lane, bit for bit those of locate_on_axis, and each
// lane's cell as a double. The cell is the floor of the clamped coordinate
// (+0 for -0 and NaN), found exactly with doubles below 2^52: adding 2^52
// rounds to a whole number, which is one too high when it rounded up. It
// equals locate_on_axis's converted cell, so x - cell is the same
// subtraction.
template <typename V>
[[gnu::always_inline]] inline SidesOf<V> locate_lanes(const V& coordinate, std::uint64_t cells,
                                                      V& cell) {
  const V zero{};
  const V upper = broadcast<V>(static_cast<double>(cells));
  const V last = broadcast<V>(static_cast<double>(cells - 1));
  const V whole = broadcast<V>(4503599627370496.0);  // 2^52
  V x = coordinate < zero ? zero : coordinate;
  x = x > upper ? upper : x;
  const V rounded = (x + whole) - whole;
  cell = rounded > x ? rounded - 1.0 : rounded;
  cell = cell >= zero ? cell : zero;
  cell = cell > last ? last : cell;
  return sides_at(x - cell);
}

// The Sides of offset r of a cell cut into d pieces, at the fraction r / d
// (one division of the converted numbers); r = d is the last position of
// an axis, at fraction 1.0. Where refined-lattice tables place their
// samples.
[[gnu::always_inline]] inline Sides cut_position(std::uint64_t r, std::uint64_t d) {
  return sides_at(r < d ? static_cast<double>(r) / static_cast<double>(d) : 1.0);
}

}  // namespace veldra
