// One strand of hair: the trail of a particle pushed through a 2-D field.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <span>
#include <utility>
#include <vector>

#include "base/error.hpp"
#include "field/field.hpp"
#include "field/instance.hpp"
#include "hair/hair.hpp"

namespace veldra {

// A point of a strand in pixel coordinates (x across to the right, y down);
// pixel (c, r) covers [c, c + 1) x [r, r + 1).
using StrandPoint = std::array<float, 2>;

// A grown strand has at least one point. Its points live in a PointStore,
// which must outlive it. The default value (no points, all numbers 0) is a
// placeholder.
struct Strand {
  std::span<const StrandPoint> points;  // (x, y), in the order visited
  double radius = 0.0;                  // half the width, before tapering
  double top = 0.0;                     // smallest y of the points
  double bottom = 0.0;                  // largest y of the points
  float layer = 0.0f;                   // 0 deepest .. 1 on top of the coat
  float shade = 0.0f;                   // brightness factor in [0, 1]

  // Equal strands have equal points, wherever they are stored.
  friend bool operator==(const Strand& a, const Strand& b) {
    return std::ranges::equal(a.points, b.points) && a.radius == b.radius && a.top == b.top &&
           a.bottom == b.bottom && a.layer == b.layer && a.shade == b.shade;
  }
};

// The points of many strands, in a few large blocks freed together: growing
// and discarding a coat of millions of strands costs a handful of
// allocations, not one per strand. One thread at a time may use a store.
class PointStore {
 public:
  PointStore() = default;
  PointStore(const PointStore&) = delete;  // a copy would lend from the same blocks
  PointStore(PointStore&& other) noexcept
      : blocks_(std::move(other.blocks_)),
        last_(std::exchange(other.last_, 0)),
        next_(std::exchange(other.next_, nullptr)),
        free_(std::exchange(other.free_, 0)) {}

  // Room for `count` points in one piece, which stays put until the store
  // is destroyed; throws std::bad_alloc when it cannot be allocated. The
  // room is only lent: keep() says how much of it was used.
  StrandPoint* lend(std::uint64_t count);
  // Keeps the first `used` points of the room lent last (at most its count);
  // the rest goes to the next lend().
  void keep(std::uint64_t used) {
    next_ += used;
    free_ -= used;
  }

 private:
  struct Free {
    std::align_val_t alignment;
    void operator()(StrandPoint* points) const { ::operator delete(points, alignment); }
  };
  // The least block, and the most a block grows to by doubling when one is
  // full (8 MiB): a few blocks for a small coat, a few hundred for the
  // largest.
  static constexpr std::uint64_t kFirstBlock = std::uint64_t{1} << 12;
  static constexpr std::uint64_t kLargestBlock = std::uint64_t{1} << 20;

  std::vector<std::unique_ptr<StrandPoint[], Free>> blocks_;
  std::uint64_t last_ = 0;       // points in the last block
  StrandPoint* next_ = nullptr;  // the first free point of the last block
  std::uint64_t free_ = 0;       // free points from next_ on
};

// Grows strand `index` through `field`, which must have two axes, under
// settings that passed check_hair, its points kept in `store`. `scale` is
// (sx, sy), pixels per lattice cell across (axis 1) and down (axis 0) the
// image. The strand depends only on field, hair, index and scale, never on
// other strands, so any number of threads may grow strands at once (each
// into its own store). Throws std::bad_alloc when room for its points (one
// per step and the start) cannot be had; in_parallel reports that as an
// out-of-memory error. `field` is an Instance or a Field.
template <typename F>
Strand grow_strand(const F& field, const Hair& hair, std::uint64_t index,
                   std::array<double, 2> scale, PointStore& store);

// Writes grow_strand(field, hair, first + i, scale, store) to out[i] for i
// in [0, count), following two particles at a time. Throws std::bad_alloc
// like grow_strand.
template <typename F>
void grow_strands(const F& field, const Hair& hair, std::uint64_t first, std::uint64_t count,
                  std::array<double, 2> scale, PointStore& store, Strand* out);

// The hair.count strands of a coat and the stores that keep their points.
struct Coat {
  std::vector<Strand> strands;
  std::vector<PointStore> stores;
};

// Grows every strand of `hair` with grow_strands, in pieces of a few
// strands handed out by for_each_chunk on at most `workers` threads (0
// counting as 1), one store per run of pieces. The strands do not depend on
// `workers`. Fails like for_each_chunk: interrupted, out of memory, or a
// worker failure, never with a partial coat.
Result<Coat> grow_coat(const Field& field, const Hair& hair, std::array<double, 2> scale,
                       std::size_t workers);

}  // namespace veldra
