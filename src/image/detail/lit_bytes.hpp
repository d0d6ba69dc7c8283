// A relief pixel's three bytes, encode(a * (p * q + k * lin[c])) with the
// highlight's power q = x^gloss, without std::pow where that is safe.
//
// For a whole gloss n from 1 to 1024, x^n by squaring differs from the
// true power by a factor within (1 + u)^(2n) of 1 (u = 2^-53: at most 2n
// roundings, none of a subnormal while the result is at least 2^-900 and
// x at most about 1), so by less than 2^-40 of it; a pow within 4096 units
// in the last place of the true power (the C library's is within one) is
// as close. Carried through the products and the sum, each rounded the
// same way on both paths, the encoded value then differs from the one
// std::pow gives by at most
//   2^-36 * (|a| * (|p| * q + |p * q + k * lin|) + |v|),
// which `margin` exceeds 64 times over, with 2^-60 more for the rounding
// of the distances that EncodedSteps::settled compares. Where every
// byte is settled within that margin it is the byte of std::pow's value;
// elsewhere (a near step, a subnormal power, NaN or infinity anywhere)
// the pixel is computed with std::pow itself.
#pragma once

#include <cmath>
#include <cstdint>

#include "image/encoded_steps.hpp"
#include "image/shading.hpp"

// Vector forms return vectors; they are always inlined into the AVX2 code
// that instantiates them, so the ABI note that the baseline build would give
// for them does not apply.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"

namespace veldra {

// x^gloss for a whole gloss from 1 to 1024, by squaring; whole() says
// whether the gloss is one.
class HighlightPower {
 public:
  explicit HighlightPower(double gloss)
      : gloss_(gloss),
        whole_(gloss >= 1.0 && gloss <= 1024.0 && gloss == std::floor(gloss)),
        n_(whole_ ? static_cast<std::uint32_t>(gloss) : 0) {}

  double gloss() const { return gloss_; }
  bool whole() const { return whole_; }

  // x^n, multiplying the squares x, x^2, x^4, ... that n's bits select,
  // lowest first; lane by lane for a vector T.
  template <typename T>
  [[gnu::always_inline]] T squared(const T& x) const {
    T result = T{} + 1.0;  // 1.0 in every lane
    T base = x;
    for (std::uint32_t n = n_;;) {
      if ((n & 1u) != 0) result *= base;
      n >>= 1;
      if (n == 0) return result;
      base *= base;
    }
  }

  // Whether the squared power q of x stands for std::pow's (the range
  // where the bound above holds).
  static bool stands_for_pow(double q, double x) { return q >= 0x1p-900 || x == 0.0; }

 private:
  double gloss_;
  bool whole_;
  std::uint32_t n_;
};

// One channel's value v = a * (p * q + k * lin) from the squared power q,
// and the margin within which it lies of the value of std::pow's power;
// lane by lane for a vector T.
template <typename T>
struct Channel {
  T value;
  T margin;
};
template <typename T>
[[gnu::always_inline]] inline Channel<T> channel(const T& q, const T& p, const T& a, const T& k,
                                                 const T& lin) {
  const T sum = p * q + k * lin;
  const T v = a * sum;
  const T margin = 0x1p-30 * (magnitude(a) * (magnitude(p) * q + magnitude(sum)) + magnitude(v)) + 0x1p-60;
  return {v, margin};
}

// The three bytes of channels whose values are each settled within their
// margins, into out; false (out untouched) when one is not.
inline bool settled_bytes(const EncodedSteps& encode, const Channel<double> (&channels)[3],
                          std::uint8_t* out) {
  int settled[3];
  for (int c = 0; c < 3; ++c) settled[c] = encode.settled(channels[c].value, channels[c].margin);
  if (settled[0] < 0 || settled[1] < 0 || settled[2] < 0) return false;
  for (int c = 0; c < 3; ++c) out[c] = static_cast<std::uint8_t>(settled[c]);
  return true;
}

// The three bytes from std::pow itself.
inline void pow_bytes(const EncodedSteps& encode, const HighlightPower& power, double x, double p,
                      double a, double k, const double (&lin)[3], std::uint8_t* out) {
  const double e = p * std::pow(x, power.gloss());
  for (int c = 0; c < 3; ++c) out[c] = encode(a * (e + k * lin[c]));
}

// The three bytes, out[c] = encode(a * (p * std::pow(x, gloss) + k * lin[c])).
inline void lit_bytes(const EncodedSteps& encode, const HighlightPower& power, double x, double p,
                      double a, double k, const double (&lin)[3], std::uint8_t* out) {
  if (power.whole()) {
    const double q = power.squared(x);
    if (HighlightPower::stands_for_pow(q, x)) {
      const Channel<double> channels[3] = {channel(q, p, a, k, lin[0]), channel(q, p, a, k, lin[1]),
                                           channel(q, p, a, k, lin[2])};
      if (settled_bytes(encode, channels, out)) return;
    }
  }
  pow_bytes(encode, power, x, p, a, k, lin, out);
}

}  // namespace veldra

#pragma GCC diagnostic pop
