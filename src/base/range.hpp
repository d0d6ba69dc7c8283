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
    lo = least(lo, v);
    hi = most(hi, v);
  }
  // Widens by `later`, the range of values met after all of this one's.
  // least and most return one of their arguments, chosen the same way
  // whatever came before, so ranges of consecutive runs merged in run order
  // keep the very bits (the sign of a zero too) of one pass over them all.
  void merge(const Range& later) {
    lo = least(lo, later.lo);
    hi = most(hi, later.hi);
  }
  // fmin and fmax written out, inline where those are calls: NaN gives the
  // other argument, and of two equal ones (+0 and -0) the first. The C
  // functions leave that choice open (and compilers may swap their
  // arguments); written here, it is the same with every compiler and
  // library.
  // A NaN y fails the comparison, which keeps x.
  static double least(double x, double y) {
    if (x != x) return y;
    return y < x ? y : x;
  }
  static double most(double x, double y) {
    if (x != x) return y;
    return y > x ? y : x;
  }
  bool has_spread() const { return hi > lo; }
  // (v - lo) / (hi - lo), unclamped; meaningful only with spread.
  double fraction(double v) const { return (v - lo) / (hi - lo); }
};

}  // namespace veldra
