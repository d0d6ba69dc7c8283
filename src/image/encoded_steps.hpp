// encoded_byte without its power function: the byte is read off the 255
// linear values where it steps up, found once from encoded_byte itself.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>

#include "image/color_bytes.hpp"

namespace veldra {

class EncodedSteps {
 public:
  // The steps of encoded_byte, built on first use and then only read, by
  // any number of threads.
  static const EncodedSteps& table();

  // Exactly encoded_byte(linear), for every double (NaN included). Inline:
  // the lit renderings call it three times a pixel.
  std::uint8_t operator()(double linear) const {
    const int b = settled(linear, 0.0);
    return b >= 0 ? static_cast<std::uint8_t>(b) : encoded_byte(linear);
  }

  // The byte that operator() reads off the steps for every value within
  // `margin` of `linear` (clamped to 0..1, NaN to 0), when that is one
  // byte; -1 when a step is within kGuard + 2 * margin, or margin is NaN.
  // With margin 0 it is operator()'s own test.
  int settled(double linear, double margin) const {
    double v = linear;
    if (!(v >= 0.0)) v = 0.0;  // also maps NaN to 0
    if (v > 1.0) v = 1.0;
    // b = the number of steps from 1 to 255 at or below v, counted on from
    // the last step at or below the start of v's bucket (v * kBuckets is
    // exact and truncates to the bucket that holds v, or to kBuckets for 1).
    const std::uint32_t bucket = static_cast<std::uint32_t>(v * static_cast<double>(kBuckets));
    // A bucket holds at most most_ steps (one, for this encoding), and the
    // sentinel steps_[256] is above every v: comparisons without branches,
    // which the values would make unpredictable.
    std::uint32_t b = first_[std::min(bucket, kBuckets - 1)];
    b += steps_[b + 1] <= v ? 1u : 0u;
    for (std::uint32_t k = 1; k < most_; ++k) b += steps_[b + 1] <= v ? 1u : 0u;
    const double reach = kGuard + 2.0 * margin;
    if (b > 0 && !(v - steps_[b] >= reach)) [[unlikely]] return -1;
    if (b < 255 && !(steps_[b + 1] - v >= reach)) [[unlikely]] return -1;
    return static_cast<int>(b);
  }

  // steps()[b] is the smallest v in [0, 1] with encoded_byte(v) >= b, for b
  // from 1 to 255; steps()[0] is 0.
  std::span<const double, 256> steps() const { return std::span<const double, 256>(steps_.data(), 256); }

 private:
  static constexpr std::uint32_t kBuckets = 4096;  // of [0, 1], each spanning a few steps at most

  // Within this distance of a step the byte is computed by encoded_byte
  // itself. The steps are where the computed encoding crosses a rounding
  // boundary; elsewhere the slope of the encoding (above 100 bytes per unit
  // of linear light) keeps its rounding errors, of a few units in the last
  // place of a value up to 255, thousands of times smaller than the distance
  // that the encoding covers over this guard, so the byte is settled by the
  // side of the step that the value lies on.
  static constexpr double kGuard = 1e-9;

  EncodedSteps();
  std::array<double, 257> steps_;             // and 2.0 after the last
  std::array<std::uint8_t, kBuckets> first_;  // the last step at or below bucket i's start
  std::uint32_t most_ = 0;                    // steps inside one bucket, at most
};

}  // namespace veldra
