// The random source of the whole system. Every draw comes from a generator
// seeded explicitly, never from the clock or the operating system.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>

namespace veldra {

// SplitMix64's output function: a bijection of 64-bit words whose every
// output bit depends on every input bit. Also the source of the octaves'
// per-axis hash factors (field/octave.hpp).
constexpr std::uint64_t splitmix64_mix(std::uint64_t z) {
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

class SplitMix64 {
 public:
  // The seed is stored unchanged as the state; 0 is a valid seed.
  explicit SplitMix64(std::uint64_t seed) : state_(seed) {}

  std::uint64_t next_u64() {
    state_ += 0x9E3779B97F4A7C15ull;
    return splitmix64_mix(state_);
  }

  // A number in [0, 1) with 53 random bits, converted exactly.
  double next_f64() { return static_cast<double>(next_u64() >> 11) * 0x1p-53; }

  // One standard normal deviate (cosine branch of Box-Muller); consumes
  // exactly two outputs and caches nothing.
  double next_gaussian() {
    double u1 = next_f64();
    double u2 = next_f64();
    return std::sqrt(std::log(1.0 - u1) * -2.0) * std::cos(u2 * 6.283185307179586);
  }

  // Fills `out` with a random unit vector of out.size() components,
  // redrawing while the raw length is not above 1e-12 or not finite.
  void next_unit_vector(std::span<double> out) {
    for (;;) {
      double sum = 0.0;
      for (double& c : out) {
        c = next_gaussian();
        sum = sum + c * c;
      }
      double len = std::sqrt(sum);
      if (len > 1e-12 && std::isfinite(len)) {
        for (double& c : out) c = c / len;
        return;
      }
    }
  }

 private:
  std::uint64_t state_;
};

}  // namespace veldra
