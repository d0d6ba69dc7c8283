#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <span>

#include "base/buffer.hpp"
#include "base/in_parallel.hpp"
#include "base/splitmix64.hpp"
#include "field/fixed_field.hpp"
#include "hair/detail/saturate.hpp"
#include "hair/detail/strand.hpp"

namespace veldra {
namespace {

// Growing a strand costs as much as thousands of table values, so far fewer
// of them are worth a worker than SERIAL_LIMIT.
constexpr std::uint64_t kSerialStrands = 64;

// The pull a particle follows: the unrolled evaluator of a one-octave field,
// or a Field's sum of octaves.
class PlanePull {
 public:
  explicit PlanePull(const Instance& field) : fixed_(field) {}
  explicit PlanePull(const Field& field)
      : fixed_(field.base()), octaves_(field.is_instance() ? nullptr : &field) {}

  std::array<double, 2> operator()(const double* p) const {
    if (!octaves_) return fixed_.pull(p);
    std::array<double, 2> out;
    octaves_->pull(std::span<const double>(p, 2), out);
    return out;
  }

 private:
  FixedField<2> fixed_;
  const Field* octaves_ = nullptr;
};

// One particle being followed: the strand it has left so far and the state
// of its motion, advanced one step at a time.
class Growth {
 public:
  // Draws the particle's random looks and sets its motion going, throwing
  // std::bad_alloc when its room() cannot be counted; start() then records
  // where it starts.
  template <typename F>
  Growth(const F& field, const PlanePull& plane, const Hair& hair, std::uint64_t index,
         std::array<double, 2> scale)
      : plane_(plane),
        hair_(hair),
        sx_(scale[0]),
        sy_(scale[1]),
        dims0_(static_cast<double>(field.dims()[0])),
        dims1_(static_cast<double>(field.dims()[1])) {
    // Every random look of the strand comes from its own generator, so the
    // strand does not depend on how many others are grown or in which order.
    SplitMix64 random(hair.seed * 0x9E3779B97F4A7C15ull + index);
    const double u1 = random.next_f64();
    const double u2 = random.next_f64();
    const double u3 = random.next_f64();
    const double u4 = random.next_f64();
    const double u5 = random.next_f64();
    const double u6 = random.next_f64();
    double dir[2];
    random.next_unit_vector(std::span<double>(dir, 2));

    p_[0] = u1 * dims0_;
    p_[1] = u2 * dims1_;
    const double shade = (1.0 - hair.jitter * u4) * (1.0 - hair.depth * (1.0 - u3));
    const double radius = (hair.thickness * 0.5) * (1.0 - (hair.jitter * 0.5) * u5);
    left_ = saturating_u64((1.0 - hair.jitter * u6) * static_cast<double>(hair.steps));

    const double theta = hair.swirl * 0.017453292519943295;
    c_ = std::cos(theta);
    s_ = std::sin(theta);
    e_ = std::exp(-(hair.drag * hair.step));
    push_[0] = hair.frizz * hair.force * dir[0];
    push_[1] = hair.frizz * hair.force * dir[1];

    strand_.radius = radius;
    strand_.layer = static_cast<float>(u3);
    strand_.shade = static_cast<float>(shade);
    const auto room = checked_add(left_, 1);
    if (!room) throw std::bad_alloc();
    room_ = *room;
  }

  // The most points the strand can have: one per step and the start.
  std::uint64_t room() const { return room_; }

  // Records the start at `points`, where room() points are free.
  void start(StrandPoint* points) {
    first_ = points;
    end_ = points;
    *end_++ = {static_cast<float>(sx_ * p_[1]), static_cast<float>(sy_ * p_[0])};
    strand_.top = sy_ * p_[0];
    strand_.bottom = sy_ * p_[0];
  }

  // Takes the next step and records where it lands; false, with nothing
  // recorded, once the particle has taken all its steps or has left the
  // lattice (or stopped being a number).
  bool step() {
    if (left_ == 0) return false;
    --left_;
    const std::array<double, 2> g = plane_(p_);
    const double r[2] = {g[0] * c_ - g[1] * s_, g[1] * c_ + g[0] * s_};
    const double a[2] = {push_[0] + r[0] * hair_.force, push_[1] + r[1] * hair_.force};
    double next[2];
    for (int k = 0; k < 2; ++k) {
      // With drag this is the exact solution of dv/dt = a - drag v over one
      // step; without it, a plain Euler step.
      next[k] = hair_.drag > 0.0 ? v_[k] * e_ + (a[k] / hair_.drag) * (1.0 - e_)
                                 : v_[k] + a[k] * hair_.step;
    }
    for (int k = 0; k < 2; ++k) p_[k] = p_[k] + ((v_[k] + next[k]) * 0.5) * hair_.step;

    if (!std::isfinite(p_[0]) || p_[0] > dims0_ || p_[1] > dims1_ || p_[0] < 0.0 || p_[1] < 0.0 ||
        !std::isfinite(p_[1])) {
      left_ = 0;
      return false;
    }
    v_[0] = next[0];
    v_[1] = next[1];
    const double y = sy_ * p_[0];
    strand_.top = std::min(strand_.top, y);
    strand_.bottom = std::max(strand_.bottom, y);
    *end_++ = {static_cast<float>(sx_ * p_[1]), static_cast<float>(y)};
    return true;
  }

  // The strand, its points moved to `to` (at or before where they are).
  Strand take(StrandPoint* to) {
    if (to != first_) std::copy(first_, end_, to);
    strand_.points = std::span<const StrandPoint>(to, static_cast<std::size_t>(end_ - first_));
    return strand_;
  }

 private:
  const PlanePull& plane_;
  const Hair& hair_;
  double sx_, sy_;        // pixels per lattice cell across and down
  double dims0_, dims1_;  // the lattice's extent on each axis
  double c_ = 0.0, s_ = 0.0;  // cosine and sine of the swirl
  double e_ = 0.0;            // the velocity left after one step of drag
  double push_[2] = {0.0, 0.0};
  double p_[2] = {0.0, 0.0};  // position, in lattice cells
  double v_[2] = {0.0, 0.0};  // velocity
  std::uint64_t left_ = 0;    // steps still to take
  std::uint64_t room_ = 0;
  StrandPoint* first_ = nullptr;  // the points recorded, [first_, end_)
  StrandPoint* end_ = nullptr;
  Strand strand_;
};

}  // namespace

template <typename F>
Strand grow_strand(const F& field, const Hair& hair, std::uint64_t index,
                   std::array<double, 2> scale, PointStore& store) {
  const PlanePull plane(field);
  Growth growth(field, plane, hair, index, scale);
  StrandPoint* points = store.lend(growth.room());
  growth.start(points);
  while (growth.step()) {
  }
  Strand strand = growth.take(points);
  store.keep(strand.points.size());
  return strand;
}

template <typename F>
void grow_strands(const F& field, const Hair& hair, std::uint64_t first, std::uint64_t count,
                  std::array<double, 2> scale, PointStore& store, Strand* out) {
  const PlanePull plane(field);
  std::uint64_t i = 0;
  // Two particles at a time: their steps do not depend on each other, so the
  // processor can work on both at once. They share one room, and the second
  // strand's points then move down to follow the first's.
  for (; i + 1 < count; i += 2) {
    Growth a(field, plane, hair, first + i, scale);
    Growth b(field, plane, hair, first + i + 1, scale);
    const auto room = checked_add(a.room(), b.room());
    if (!room) throw std::bad_alloc();
    StrandPoint* points = store.lend(*room);
    a.start(points);
    b.start(points + a.room());
    bool a_moves = true;
    bool b_moves = true;
    while (a_moves || b_moves) {
      if (a_moves) a_moves = a.step();
      if (b_moves) b_moves = b.step();
    }
    out[i] = a.take(points);
    out[i + 1] = b.take(points + out[i].points.size());
    store.keep(out[i].points.size() + out[i + 1].points.size());
  }
  if (i < count) out[i] = grow_strand(field, hair, first + i, scale, store);
}

StrandPoint* PointStore::lend(std::uint64_t count) {
  if (count <= free_) return next_;
  const std::uint64_t size = std::max(count, std::clamp(2 * last_, kFirstBlock, kLargestBlock));
  const auto bytes = checked_mul(size, sizeof(StrandPoint));
  if (!bytes || *bytes > static_cast<std::uint64_t>(PTRDIFF_MAX)) throw std::bad_alloc();
  // Large blocks start on a huge page, so that advise_huge_pages covers all
  // of them: the kernel then frees them several times faster, which is most
  // of the time an interrupted coat of millions of strands takes to stop.
  constexpr std::size_t kHugePage = std::size_t{2} << 20;
  const std::align_val_t alignment{*bytes >= kHugePage ? kHugePage : alignof(std::max_align_t)};
  std::unique_ptr<StrandPoint[], Free> block(
      static_cast<StrandPoint*>(::operator new(static_cast<std::size_t>(*bytes), alignment)),
      Free{alignment});
  advise_huge_pages(block.get(), static_cast<std::size_t>(*bytes));
  blocks_.push_back(std::move(block));
  last_ = size;
  next_ = blocks_.back().get();
  free_ = size;
  return next_;
}

Result<Coat> grow_coat(const Field& field, const Hair& hair, std::array<double, 2> scale,
                       std::size_t workers) {
  const Split split = Split::of(hair.count, kSerialStrands, workers);
  auto strands = allocate<Strand>(hair.count);
  if (!strands) return std::unexpected(strands.error());
  Coat coat{std::move(*strands), {}};
  if (!try_reserve(coat.stores, split.runs)) return out_of_memory();
  coat.stores.resize(split.runs);
  // for_each_chunk grows the pieces of run k, which begin in
  // [k * split.length, (k + 1) * split.length), in order on one thread:
  // the run's store is that thread's alone.
  auto grown = for_each_chunk(hair.count, kSerialStrands, [&](std::uint64_t begin, std::uint64_t end) {
    grow_strands(field, hair, begin, end - begin, scale, coat.stores[begin / split.length],
                 coat.strands.data() + begin);
  }, workers);
  if (!grown) return std::unexpected(grown.error());
  return coat;
}

template Strand grow_strand(const Instance&, const Hair&, std::uint64_t, std::array<double, 2>,
                            PointStore&);
template Strand grow_strand(const Field&, const Hair&, std::uint64_t, std::array<double, 2>,
                            PointStore&);
template void grow_strands(const Instance&, const Hair&, std::uint64_t, std::uint64_t,
                           std::array<double, 2>, PointStore&, Strand*);
template void grow_strands(const Field&, const Hair&, std::uint64_t, std::uint64_t,
                           std::array<double, 2>, PointStore&, Strand*);

}  // namespace veldra
