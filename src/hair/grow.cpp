#include <algorithm>
#include <cmath>
#include <new>
#include <span>

#include "base/buffer.hpp"
#include "base/splitmix64.hpp"
#include "field/fixed_field.hpp"
#include "hair/detail/saturate.hpp"
#include "hair/detail/strand.hpp"

namespace veldra {
namespace {

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
  // Draws the particle's random looks, reserves its points (throwing
  // std::bad_alloc when that is impossible) and records its start.
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
    auto room = checked_add(left_, 1);
    if (!room || !try_reserve(strand_.points, *room)) throw std::bad_alloc();

    strand_.points.push_back({static_cast<float>(sx_ * p_[1]), static_cast<float>(sy_ * p_[0])});
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
    strand_.points.push_back({static_cast<float>(sx_ * p_[1]), static_cast<float>(y)});
    return true;
  }

  Strand take() { return std::move(strand_); }

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
  Strand strand_;
};

}  // namespace

template <typename F>
Strand grow_strand(const F& field, const Hair& hair, std::uint64_t index,
                   std::array<double, 2> scale) {
  const PlanePull plane(field);
  Growth growth(field, plane, hair, index, scale);
  while (growth.step()) {
  }
  return growth.take();
}

template <typename F>
void grow_strands(const F& field, const Hair& hair, std::uint64_t first, std::uint64_t count,
                  std::array<double, 2> scale, Strand* out) {
  const PlanePull plane(field);
  std::uint64_t i = 0;
  // Two particles at a time: their steps do not depend on each other, so the
  // processor can work on both at once.
  for (; i + 1 < count; i += 2) {
    Growth a(field, plane, hair, first + i, scale);
    Growth b(field, plane, hair, first + i + 1, scale);
    bool a_moves = true;
    bool b_moves = true;
    while (a_moves || b_moves) {
      if (a_moves) a_moves = a.step();
      if (b_moves) b_moves = b.step();
    }
    out[i] = a.take();
    out[i + 1] = b.take();
  }
  if (i < count) out[i] = grow_strand(field, hair, first + i, scale);
}

template Strand grow_strand(const Instance&, const Hair&, std::uint64_t, std::array<double, 2>);
template Strand grow_strand(const Field&, const Hair&, std::uint64_t, std::array<double, 2>);
template void grow_strands(const Instance&, const Hair&, std::uint64_t, std::uint64_t,
                           std::array<double, 2>, Strand*);
template void grow_strands(const Field&, const Hair&, std::uint64_t, std::uint64_t,
                           std::array<double, 2>, Strand*);

}  // namespace veldra
