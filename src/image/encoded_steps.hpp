// encoded_byte without its power function: the byte is read off the 255
// linear values where it steps up, found once from encoded_byte itself.
#pragma once

#include <array>
#include <cstdint>

namespace veldra {

class EncodedSteps {
 public:
  // The steps of encoded_byte, built on first use and then only read, by
  // any number of threads.
  static const EncodedSteps& table();

  // Exactly encoded_byte(linear), for every double (NaN included).
  std::uint8_t operator()(double linear) const;

  // steps()[b] is the smallest v in [0, 1] with encoded_byte(v) >= b, for b
  // from 1 to 255; steps()[0] is 0.
  const std::array<double, 256>& steps() const { return steps_; }

 private:
  static constexpr std::uint32_t kBuckets = 4096;  // of [0, 1], each spanning a few steps at most

  EncodedSteps();
  std::array<double, 256> steps_;
  std::array<std::uint8_t, kBuckets> first_;  // the last step at or below bucket i's start
};

}  // namespace veldra
