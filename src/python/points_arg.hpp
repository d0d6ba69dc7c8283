// The `points` argument of noise_at and force_at: N points of n real
// coordinates. An (N, n) buffer of float64 that is C-contiguous and aligned
// is read in place and held for the call; any other buffer of real numbers
// (float32, float16, integers of any size, Fortran order, strided or
// unaligned views) and any sequence of point sequences is converted once,
// into an owned C-contiguous float64 copy. A buffer of shape (N,) is N
// points of one coordinate, taken by fields of one axis only.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "python/kit/convert.hpp"
#include "table/at_points.hpp"

namespace veldra::py {

class PointsArg {
 public:
  // The rows of equal length: all of them, or those before `odd`.
  PointRows rows() const { return rows_; }
  // The first point whose length differs from the first's, if any: rows()
  // stops before it.
  struct Odd {
    std::uint64_t index;
    std::vector<double> point;
  };
  const std::optional<Odd>& odd() const { return odd_; }

  // Whether a field of n axes takes points laid out so: false, with a
  // TypeError naming the argument, for a 1-dimensional buffer when n > 1.
  bool fits(std::size_t n) const;

  // The points as `field` takes them: its table, or the first refusal.
  template <typename F, typename Evaluate>
  Result<Table> apply(const F& field, Evaluate&& evaluate) const {
    if (odd_) {
      if (auto before = expect_points(field, rows_); !before) return std::unexpected(before.error());
      const PointRows odd{odd_->point.data(), 1, odd_->point.size(), odd_->index};
      if (auto refused = expect_points(field, odd); !refused) return std::unexpected(refused.error());
    }
    return evaluate(field, rows_);
  }

 private:
  struct Release {
    void operator()(Py_buffer* view) const;
  };
  std::unique_ptr<Py_buffer, Release> view_;  // on the heap: a view is not moved once filled
  std::vector<double> copied_;
  PointRows rows_;
  std::optional<Odd> odd_;
  bool flat_ = false;  // a buffer of shape (N,)
  std::string format_;  // a buffer's format, for messages

  friend struct Convert<PointsArg>;
};

template <>
struct Convert<PointsArg> {
  static std::optional<PointsArg> from(PyObject* object);
};

}  // namespace veldra::py
