// A value range found in one pass, or merged from passes over consecutive
// runs with the same bits.
#pragma once

#include <cmath>

namespace veldra {

// The smallest and largest of `values` ignoring NaN, scanning from
// +infinity and -infinity; lo > hi when no value is usable.
struct Range {
  double lo = INFINITY;
  double hi = -INFINITY;
  void add(double v) {
    lo = std::fmin(lo, v);
    hi = std::fmax(hi, v);
  }
  // Widens by `later`, the range of values met after all of this one's.
  // fmin and fmax return one of their arguments, chosen the same way
  // whatever came before, so ranges of consecutive runs merged in run order
  // keep the very bits (the sign of a zero too) of one pass over them all.
  void merge(const Range& later) {
    lo = std::fmin(lo, later.lo);
    hi = std::fmax(hi, later.hi);
  }
  bool has_spread() const { return hi > lo; }
  // (v - lo) / (hi - lo), unclamped; meaningful only with spread.
  double fraction(double v) const { return (v - lo) / (hi - lo); }
};

}  // namespace veldra
