// The gradients of one lattice corner for four points at once, one point
// per lane of a vector of four doubles, component by component: what the
// formula (field/formula.hpp) takes as gradient(c) when it runs in lanes.
#pragma once

#include <cstddef>
#include <cstring>

namespace veldra {

// Lane l's gradient (N numbers) is at lanes[l]; out[i] gets component i
// of every lane. Components go two at a time: each lane's pair loaded
// whole and the four pairs transposed, about two instructions a component
// where loading lane by lane takes five. V is a vector of four doubles.
template <std::size_t N, typename V>
[[gnu::always_inline]] inline void transposed(const double* const* lanes, V* out) {
  typedef double Pair __attribute__((vector_size(2 * sizeof(double))));
  static_assert(sizeof(V) == 4 * sizeof(double));
  std::size_t i = 0;
  for (; i + 2 <= N; i += 2) {
    Pair pair[4];
    for (std::size_t lane = 0; lane < 4; ++lane) std::memcpy(&pair[lane], lanes[lane] + i, sizeof(Pair));
    const V even = __builtin_shufflevector(pair[0], pair[2], 0, 1, 2, 3);
    const V odd = __builtin_shufflevector(pair[1], pair[3], 0, 1, 2, 3);
    out[i] = __builtin_shufflevector(even, odd, 0, 4, 2, 6);
    out[i + 1] = __builtin_shufflevector(even, odd, 1, 5, 3, 7);
  }
  if (i < N) {
    // Formed from two pairs rather than lane by lane into out[i], which
    // GCC would read as a vector still unset.
    const Pair low = {lanes[0][i], lanes[1][i]};
    const Pair high = {lanes[2][i], lanes[3][i]};
    out[i] = __builtin_shufflevector(low, high, 0, 1, 2, 3);
  }
}

// gradient(c) for the formula: the components `transposed` formed.
template <typename V>
struct LaneComponents {
  const V* components;
  [[gnu::always_inline]] V operator[](std::size_t i) const { return components[i]; }
};

}  // namespace veldra
