// One strand of hair: the trail of a particle pushed through a 2-D field.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "field/field.hpp"
#include "field/instance.hpp"
#include "hair/hair.hpp"

namespace veldra {

// Points are pixel coordinates (x across to the right, y down); pixel
// (c, r) covers [c, c + 1) x [r, r + 1). A grown strand has at least one
// point. The default value (no points, all numbers 0) is a placeholder.
struct Strand {
  std::vector<std::array<float, 2>> points;  // (x, y), in the order visited
  double radius = 0.0;                       // half the width, before tapering
  double top = 0.0;                          // smallest y of the points
  double bottom = 0.0;                       // largest y of the points
  float layer = 0.0f;                        // 0 deepest .. 1 on top of the coat
  float shade = 0.0f;                        // brightness factor in [0, 1]

  friend bool operator==(const Strand&, const Strand&) = default;
};

// Grows strand `index` through `field`, which must have two axes, under
// settings that passed check_hair. `scale` is (sx, sy), pixels per lattice
// cell across (axis 1) and down (axis 0) the image. The strand depends only
// on these arguments, never on other strands, so any number of threads may
// grow strands at once. Throws std::bad_alloc when its points cannot be
// reserved; in_parallel reports that as an out-of-memory error.
// `field` is an Instance or a Field.
template <typename F>
Strand grow_strand(const F& field, const Hair& hair, std::uint64_t index,
                   std::array<double, 2> scale);

// Writes grow_strand(field, hair, first + i, scale) to out[i] for i in
// [0, count), following two particles at a time. Throws std::bad_alloc
// like grow_strand.
template <typename F>
void grow_strands(const F& field, const Hair& hair, std::uint64_t first, std::uint64_t count,
                  std::array<double, 2> scale, Strand* out);

}  // namespace veldra
