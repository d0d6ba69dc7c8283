// The walk of an octave whose samples are sparse along the last axis
// (fewer than about four to a cell): there the general walk's
// per-cell work (each corner's gradient and dot products found, then
// broadcast to lanes that hold one or two samples) is most of the time.
// Instead each sample has a lane of its own. Per row, the corner
// prefixes' weights and hash sums over axes 0 .. n-2 are found once. For
// the values, so are the planes' numbers: at every intersection of the
// last axis that the samples use and for every prefix, the corner's hash
// finished (the octave's rule, field/octave.hpp), its gradient read from
// the palette and its dot product over axes 0 .. n-2 formed, a plane at a
// time in lanes; a sample then reads each corner's partial dot product and
// last component and finishes the formula. For the derivative, every
// sample finishes each corner's hash, gathers its gradient and forms its
// dot product, lane by lane. Either way the steps of field/formula.hpp
// run in their order: every value is bit for bit the octave's noise_in.
// Only octaves whose gradients come from a palette, for 1 to 4 axes.
// Included only by the table_fill_<set>.cpp files, through table_simd.hpp.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "field/formula.hpp"
#include "field/lane_gradients.hpp"
#include "field/octave.hpp"
#include "table/detail/placed_fill.hpp"
#include "table/detail/table_lanes.hpp"

namespace veldra::sparse_walk {

template <std::size_t Lanes>
struct WordsOf {
  typedef std::uint32_t type __attribute__((vector_size(Lanes * sizeof(std::uint32_t))));
};

// Calls row(q, m) for each piece of a row in flat indices [begin, end) of
// the plan's box: q the piece's first sample per axis, m its length.
template <std::size_t Dims, typename Row>
[[gnu::always_inline]] inline void for_each_row(const PlacedPlan& plan, std::uint64_t begin,
                                                std::uint64_t end, Row&& row) {
  constexpr std::size_t LAST = Dims - 1;
  std::uint64_t q[Dims];
  for (std::size_t i = 0, rest = begin; i < Dims; ++i) {
    q[i] = rest / plan.strides[i];
    rest -= q[i] * plan.strides[i];
  }
  for (std::uint64_t k = begin; k < end;) {
    const std::uint64_t m = std::min(plan.shape[LAST] - q[LAST], end - k);
    row(q, m);
    k += m;
    // The next row: the last axis from its start, the others carried.
    q[LAST] = 0;
    for (std::size_t i = LAST; i-- > 0;) {
      if (++q[i] < plan.shape[i]) break;
      q[i] = 0;
    }
  }
}

// A row's corner prefixes over axes 0 .. Dims-2, split axis by axis as the
// general walk's: their weights and hash sums, and each axis's Sides.
template <std::size_t Dims>
struct RowPrefixes {
  static constexpr std::size_t LAST = Dims - 1, COUNT = std::size_t{1} << LAST;
  double weight[COUNT];
  std::uint32_t sum[COUNT];
  Sides sides[LAST ? LAST : 1];

  [[gnu::always_inline]] RowPrefixes(const PlacedPlan& plan, const std::uint64_t* q) {
    const OctaveGradients& g = plan.gradients;
    weight[0] = 1.0;
    sum[0] = static_cast<std::uint32_t>(g.sum_start());
    for (std::size_t i = 0, half = 1; i < LAST; ++i, half *= 2) {
      const AxisPoint& at = plan.places[i][q[i]];
      sides[i] = at.sides;
      const auto lower = static_cast<std::uint32_t>(g.term(i, at.cell));
      const auto upper = static_cast<std::uint32_t>(g.term(i, at.cell + 1));
      for (std::size_t j = 0; j < half; ++j) {
        sum[half + j] = sum[j] + upper;
        sum[j] = sum[j] + lower;
      }
      formula::split<0>(weight, half, sides[i]);
    }
  }

  // Prefix p's dot product over axes 0 .. Dims-2 into `dot`, its
  // gradient's components in lanes: the formula's first steps. (An out
  // parameter: a returned vector would draw the ABI note of the baseline
  // build.)
  template <typename V>
  [[gnu::always_inline]] void dot_before_last(std::size_t p, const V* gradient, V& dot) const {
    dot = V{};
#pragma GCC unroll 4
    for (std::size_t i = 0; i < LAST; ++i) {
      V o;
      table_lanes::splat(o, sides[i].offset[(p >> i) & 1]);
      dot_step(dot, dot, gradient[i], o);
    }
  }
};

// The palette's gradients at each lane's entry, component i of every lane
// into gradient[i].
template <std::size_t Dims, std::size_t Lanes, typename V, typename W>
[[gnu::always_inline]] inline void gather(const double* palette, const W& entry, V* gradient) {
  double gathered[Dims][Lanes];
#pragma GCC unroll 8
  for (std::size_t lane = 0; lane < Lanes; ++lane) {
    const double* at = palette + entry[lane] * Dims;
#pragma GCC unroll 4
    for (std::size_t i = 0; i < Dims; ++i) gathered[i][lane] = at[i];
  }
#pragma GCC unroll 4
  for (std::size_t i = 0; i < Dims; ++i) table_lanes::load(gradient[i], gathered[i]);
}

// Two numbers at each lane's address, the first of every lane into
// out[0], the second into out[1]: by pairs and transposed on four lanes.
template <std::size_t Lanes, typename V>
[[gnu::always_inline]] inline void read_pairs(const double* const* at, V* out) {
  if constexpr (Lanes == 4) {
    transposed<2>(at, out);
  } else {
    double pairs[2][Lanes];
#pragma GCC unroll 8
    for (std::size_t lane = 0; lane < Lanes; ++lane) {
      pairs[0][lane] = at[lane][0];
      pairs[1][lane] = at[lane][1];
    }
    table_lanes::load(out[0], pairs[0]);
    table_lanes::load(out[1], pairs[1]);
  }
}

// Writes totals[i] (lane l's sample i) to to(l)[i], for i < 4: on four
// lanes transposed, a lane's four samples to a register.
template <std::size_t Lanes, typename V, typename To>
[[gnu::always_inline]] inline void store_lanes(To&& to, const V* totals) {
  if constexpr (Lanes == 4) {
    const V low01 = __builtin_shufflevector(totals[0], totals[1], 0, 4, 2, 6);
    const V high01 = __builtin_shufflevector(totals[0], totals[1], 1, 5, 3, 7);
    const V low23 = __builtin_shufflevector(totals[2], totals[3], 0, 4, 2, 6);
    const V high23 = __builtin_shufflevector(totals[2], totals[3], 1, 5, 3, 7);
    const V lanes[4] = {__builtin_shufflevector(low01, low23, 0, 1, 4, 5),
                        __builtin_shufflevector(high01, high23, 0, 1, 4, 5),
                        __builtin_shufflevector(low01, low23, 2, 3, 6, 7),
                        __builtin_shufflevector(high01, high23, 2, 3, 6, 7)};
    for (std::size_t lane = 0; lane < 4; ++lane) table_lanes::store(to(lane), lanes[lane]);
  } else {
#pragma GCC unroll 8
    for (std::size_t lane = 0; lane < Lanes; ++lane) {
      for (std::size_t i = 0; i < 4; ++i) to(lane)[i] = totals[i][lane];
    }
  }
}

// The numbers of prefix p at Lanes planes whose last-axis terms are
// `term`: the corner's hash finished, its gradient read from the palette,
// its dot product over the axes before the last into `dot` and its last
// component into `last`.
template <std::size_t Dims, std::size_t Lanes, typename V, typename W>
[[gnu::always_inline]] inline void plane_numbers(const double* palette, const RowPrefixes<Dims>& row,
                                                 const W& term, std::size_t p, V& dot, V& last) {
  V gradient[Dims];
  gather<Dims, Lanes>(palette, mixed(row.sum[p] + term) >> 24, gradient);
  row.dot_before_last(p, gradient, dot);
  last = gradient[Dims - 1];
}

// The planes of `count` + 1 consecutive intersections along the last
// axis whose terms are terms[0 ..], into `planes`: per prefix p, their dot
// products over the axes before the last from planes[2p * ENTRIES] and
// their gradients' last components from planes[(2p + 1) * ENTRIES], Lanes
// to a register.
template <std::size_t Dims, std::size_t Lanes, std::size_t ENTRIES>
[[gnu::always_inline]] inline void lay_planes(const PlacedPlan& plan, const RowPrefixes<Dims>& row,
                                              const std::uint32_t* terms, std::size_t count, double* planes) {
  using V = table_lanes::Vec<Lanes>;
  using W = typename WordsOf<Lanes>::type;
  constexpr std::size_t LAST = Dims - 1, PREFIXES = std::size_t{1} << LAST;
  const double* palette = plan.gradients.palette();
  for (std::size_t k = 0; k <= count; k += Lanes) {
    W term;
    __builtin_memcpy(&term, terms + k, sizeof(W));
#pragma GCC unroll 8
    for (std::size_t p = 0; p < PREFIXES; ++p) {
      V dot, last;
      plane_numbers<Dims, Lanes>(palette, row, term, p, dot, last);
      table_lanes::store(planes + 2 * p * ENTRIES + k, dot);
      table_lanes::store(planes + (2 * p + 1) * ENTRIES + k, last);
    }
  }
}

// Runs [i, e) of the plan's cell runs, a whole number of groups of Lanes
// runs inside a row's piece that starts at sample `from`, into out (the
// piece's values): the runs' planes found CHUNK runs at a time; then Lanes
// runs side by side, one per lane, their corners' numbers read once as
// whole registers, their samples' positions gathered, sample t of each run
// at a time up to the fewest samples of a run (`least`), then the longer
// runs' last samples. The same steps as fill_values' for each sample.
template <std::size_t Dims, std::size_t Lanes>
[[gnu::always_inline]] inline void fill_cells(const PlacedPlan& plan, const RowPrefixes<Dims>& row,
                                              PlacedScratch& scratch, std::size_t i, std::size_t e,
                                              std::uint64_t from, double* out) {
  using V = table_lanes::Vec<Lanes>;
  constexpr std::size_t LAST = Dims - 1, PREFIXES = std::size_t{1} << LAST, CORNERS = 2 * PREFIXES;
  constexpr std::size_t ENTRIES = PeriodicPart::ROW_ENTRIES;
  const CellRuns& runs = plan.cell_runs;
  double* planes = scratch.period_planes.data();
  for (std::size_t i0 = i; i0 < e; i0 += PeriodicPart::CHUNK) {
    const std::size_t count = std::min<std::size_t>(PeriodicPart::CHUNK, e - i0);
    lay_planes<Dims, Lanes, ENTRIES>(plan, row, runs.terms.data() + i0, count, planes);
    for (std::size_t k = 0; k < count; k += Lanes) {
      V lower_dot[CORNERS], last[CORNERS];
#pragma GCC unroll 16
      for (std::size_t c = 0; c < CORNERS; ++c) {
        const std::size_t p = c % PREFIXES, side = c / PREFIXES;
        table_lanes::load(lower_dot[c], planes + 2 * p * ENTRIES + k + side);
        table_lanes::load(last[c], planes + (2 * p + 1) * ENTRIES + k + side);
      }
      const std::uint64_t* starts = runs.starts.data() + i0 + k;
      double* to[Lanes];
      const double* at[Lanes];
      std::size_t most = 0;
#pragma GCC unroll 8
      for (std::size_t lane = 0; lane < Lanes; ++lane) {
        to[lane] = out + (starts[lane] - from);
        at[lane] = runs.positions.data() + 4 * starts[lane];
        most = std::max<std::size_t>(most, starts[lane + 1] - starts[lane]);
      }
      // Sample t of every lane's run (or, past a run's end, its first).
      const auto sample = [&] [[gnu::always_inline]] (std::size_t t, V& total) {
        V position[4];  // the fraction, the fraction minus 1, 1 - fade, fade
        if constexpr (Lanes == 4) {
          const double* lanes[4];
          for (std::size_t lane = 0; lane < 4; ++lane) {
            lanes[lane] = at[lane] + 4 * (starts[lane] + t < starts[lane + 1] ? t : 0);
          }
          transposed<4>(lanes, position);
        } else {
          double gathered[4][Lanes];
#pragma GCC unroll 8
          for (std::size_t lane = 0; lane < Lanes; ++lane) {
            const double* own = at[lane] + 4 * (starts[lane] + t < starts[lane + 1] ? t : 0);
            for (std::size_t j = 0; j < 4; ++j) gathered[j][lane] = own[j];
          }
          for (std::size_t j = 0; j < 4; ++j) table_lanes::load(position[j], gathered[j]);
        }
        total = V{};
#pragma GCC unroll 16
        for (std::size_t c = 0; c < CORNERS; ++c) {
          const std::size_t p = c % PREFIXES, side = c / PREFIXES;
          V dot, prefix, w;
          dot_step(dot, lower_dot[c], last[c], position[side]);
          table_lanes::splat(prefix, row.weight[p]);
          weight_step(w, prefix, position[2 + side]);
          term_step(total, w, dot);
        }
      };
      std::size_t t = 0;
      for (; t + 4 <= runs.least; t += 4) {
        V totals[4];
#pragma GCC unroll 4
        for (std::size_t j = 0; j < 4; ++j) sample(t + j, totals[j]);
        store_lanes<Lanes>([&](std::size_t lane) { return to[lane] + t; }, totals);
      }
      for (; t < most; ++t) {
        V total;
        sample(t, total);
#pragma GCC unroll 8
        for (std::size_t lane = 0; lane < Lanes; ++lane) {
          if (starts[lane] + t < starts[lane + 1]) to[lane][t] = total[lane];
        }
      }
    }
  }
}

// Samples [a, b) of a row of the plan's periodic part, a whole number of
// groups of Lanes periods, into out: period u's planes found residue by
// residue, Lanes periods to a register, CHUNK periods at a time; then
// each sample t of Lanes periods side by side, one period per lane, its
// corners' numbers read as whole registers and its weights (the same in
// every lane) formed once per row. The same steps as fill_values' for
// each sample. The room holds, per residue, each prefix's dot products
// and last components as lists of ROW_ENTRIES (PeriodicPart::reads).
template <std::size_t Dims, std::size_t Lanes>
[[gnu::always_inline]] inline void fill_periods(const PlacedPlan& plan, const RowPrefixes<Dims>& row,
                                                PlacedScratch& scratch, std::uint64_t a, std::uint64_t b,
                                                double* out) {
  using V = table_lanes::Vec<Lanes>;
  constexpr std::size_t LAST = Dims - 1, PREFIXES = std::size_t{1} << LAST, CORNERS = 2 * PREFIXES;
  constexpr std::size_t ENTRIES = PeriodicPart::ROW_ENTRIES, RESIDUE = CORNERS * ENTRIES;
  static_assert(PeriodicPart::CHUNK % Lanes == 0 && PeriodicPart::CHUNK + 2 * Lanes <= ENTRIES);
  const PeriodicPart& part = plan.periodic;
  const std::size_t period = part.period, cells = part.cells, stride = plan.stride;
  const double* frac = plan.positions.data() + part.from;  // the first period's positions
  // The row's corner weights at each sample of a period.
  double* weights = scratch.period_weights.data();
  for (std::size_t t = 0; t < period; ++t) {
#pragma GCC unroll 16
    for (std::size_t c = 0; c < CORNERS; ++c) {
      weight_step(weights[t * CORNERS + c], row.weight[c % PREFIXES], frac[(2 + c / PREFIXES) * stride + t]);
    }
  }
  double* planes = scratch.period_planes.data();
  // Sample t of the Lanes periods from entry k: its total.
  const auto sample = [&] [[gnu::always_inline]] (std::size_t t, std::size_t k, V& total) {
    const double* at[2] = {planes + part.reads[t] + k, planes + part.reads[period + t] + k};
    const double* w = weights + t * CORNERS;
    V lower_offset, upper_offset;
    table_lanes::splat(lower_offset, frac[t]);
    table_lanes::splat(upper_offset, frac[stride + t]);
    total = V{};
#pragma GCC unroll 16
    for (std::size_t c = 0; c < CORNERS; ++c) {
      const std::size_t p = c % PREFIXES, side = c / PREFIXES;
      V lower_dot, last, dot, weight;
      table_lanes::load(lower_dot, at[side] + 2 * p * ENTRIES);
      table_lanes::load(last, at[side] + (2 * p + 1) * ENTRIES);
      dot_step(dot, lower_dot, last, side == 0 ? lower_offset : upper_offset);
      table_lanes::splat(weight, w[c]);
      term_step(total, weight, dot);
    }
  };
  const std::uint64_t end = (b - part.from) / period;
  for (std::uint64_t u0 = (a - part.from) / period; u0 < end; u0 += PeriodicPart::CHUNK) {
    const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(PeriodicPart::CHUNK, end - u0));
    // The planes of periods u0 .. u0 + count - 1, and residue 0 of the next.
    for (std::size_t r = 0; r < cells; ++r) {
      lay_planes<Dims, Lanes, ENTRIES>(plan, row, part.terms.data() + r * part.term_stride + u0,
                                       r == 0 ? count : count - 1, planes + r * RESIDUE);
    }
    for (std::size_t k = 0; k < count; k += Lanes, out += Lanes * period) {
      std::size_t t = 0;
      for (; t + 4 <= period; t += 4) {
        V totals[4];
#pragma GCC unroll 4
        for (std::size_t i = 0; i < 4; ++i) sample(t + i, k, totals[i]);
        store_lanes<Lanes>([&](std::size_t lane) { return out + lane * period + t; }, totals);
      }
      for (; t < period; ++t) {
        V total;
        sample(t, k, total);
#pragma GCC unroll 8
        for (std::size_t lane = 0; lane < Lanes; ++lane) out[lane * period + t] = total[lane];
      }
    }
  }
}

// Fills out[0 .. end - begin) with the octave's noise at flat indices
// [begin, end) of the plan's box, Lanes samples at a time, and the
// stretches of a row that hold whole groups of Lanes periods of its
// periodic part Lanes periods at a time (fill_periods).
template <std::size_t Dims, std::size_t Lanes>
[[gnu::always_inline]] inline void fill_values(const PlacedPlan& plan, PlacedScratch& scratch,
                                               std::uint64_t begin, std::uint64_t end, double* out) {
  static_assert(Dims >= 1 && Dims <= 4);
  using V = table_lanes::Vec<Lanes>;
  using W = typename WordsOf<Lanes>::type;
  constexpr std::size_t LAST = Dims - 1, PREFIXES = std::size_t{1} << LAST, NUMBERS = 2 * PREFIXES;
  const double* palette = plan.gradients.palette();
  const std::size_t stride = plan.stride;
  const double* frac = plan.positions.data();
  const std::uint32_t* starts = plan.plane_starts.data();
  double* planes = scratch.planes.data();
  const PeriodicPart& part = plan.periodic;
  const CellRuns& runs = plan.cell_runs;
  // The rows' walk, compiled once for each way a plan may take (periods,
  // runs in lanes, samples alone), so that each loop holds its own.
  enum class Way { Periods, Runs, Samples };
  const auto walk = [&] [[gnu::always_inline]] (auto way) {
    for_each_row<Dims>(plan, begin, end, [&] [[gnu::always_inline]] (const std::uint64_t* q, std::uint64_t m) {
      const RowPrefixes<Dims> row(plan, q);
      // Samples [from, stop) of the row a segment at a time (a long row
      // comes in many pieces, and the room holds one segment's planes): the
      // numbers of the planes its samples use, from the lowest, then its
      // samples.
      const auto samples = [&] [[gnu::always_inline]] (std::uint64_t from, std::uint64_t stop) {
        while (from < stop) {
          const std::uint64_t until = std::min<std::uint64_t>(stop, from + PLANE_SEGMENT);
          std::uint32_t lowest = UINT32_MAX, highest = 0;
          for (std::uint64_t j = from; j < until; ++j) {
            lowest = std::min({lowest, starts[j], starts[stride + j]});
            highest = std::max({highest, starts[j], starts[stride + j]});
          }
          // Lanes planes at a time: the terms and the room are padded to whole
          // registers.
          for (std::size_t first = lowest / NUMBERS; first <= highest / NUMBERS; first += Lanes) {
            W term;
            __builtin_memcpy(&term, plan.plane_terms.data() + first, sizeof(W));
#pragma GCC unroll 8
            for (std::size_t p = 0; p < PREFIXES; ++p) {
              V dot, last;
              plane_numbers<Dims, Lanes>(palette, row, term, p, dot, last);
              double* at = planes + (first * NUMBERS - lowest) + 2 * p;
#pragma GCC unroll 8
              for (std::size_t lane = 0; lane < Lanes; ++lane) {
                at[lane * NUMBERS] = dot[lane];
                at[lane * NUMBERS + 1] = last[lane];
              }
            }
          }
          for (std::uint64_t j = from; j < until; j += Lanes) {
            const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(Lanes, until - j));
            V offset[2], side_weight[2];
            table_lanes::load(offset[0], frac + j);
            table_lanes::load(offset[1], frac + stride + j);
            table_lanes::load(side_weight[0], frac + 2 * stride + j);
            table_lanes::load(side_weight[1], frac + 3 * stride + j);
            // Lanes past the segment (a partial register) read its first
            // sample's planes, which are in the room.
            const double* plane[2][Lanes];
            for (std::size_t side = 0; side < 2; ++side) {
#pragma GCC unroll 8
              for (std::size_t lane = 0; lane < Lanes; ++lane) {
                plane[side][lane] = planes + (starts[side * stride + j + (lane < count ? lane : 0)] - lowest);
              }
            }
            V total{};
#pragma GCC unroll 16
            for (std::size_t c = 0; c < 2 * PREFIXES; ++c) {
              const std::size_t p = c % PREFIXES, side = c / PREFIXES;
              const double* at[Lanes];
#pragma GCC unroll 8
              for (std::size_t lane = 0; lane < Lanes; ++lane) at[lane] = plane[side][lane] + 2 * p;
              V numbers[2];  // the dot product over the axes before the last, the last component
              read_pairs<Lanes>(at, numbers);
              V dot, prefix, w;
              dot_step(dot, numbers[0], numbers[1], offset[side]);
              table_lanes::splat(prefix, row.weight[p]);
              weight_step(w, prefix, side_weight[side]);
              term_step(total, w, dot);
            }
            if (count == Lanes) {
              table_lanes::store(out, total);
            } else {
              table_lanes::store_first(out, total, count);
            }
            out += count;
          }
          from = until;
        }
      };
      const std::uint64_t from = q[LAST], stop = q[LAST] + m;
      if constexpr (decltype(way)::value == Way::Samples) {
        return samples(from, stop);
      } else if constexpr (decltype(way)::value == Way::Periods) {
        // The row's whole groups of Lanes periods: [first, first + groups * group).
        std::uint64_t first = stop, groups = 0;
        const std::uint64_t group = Lanes * part.period;
        if (std::max(from, part.from) < std::min(stop, part.until)) {
          const std::uint64_t lowest = std::max(from, part.from);
          first = part.from + (lowest - part.from + part.period - 1) / part.period * part.period;
          const std::uint64_t highest = std::min(stop, part.until);
          groups = first < highest ? (highest - first) / group : 0;
        }
        // A row of one group gains less than the group's own planes and the
        // row's weights cost (measured: 3-D rows of five periods).
        if (groups < 2) return samples(from, stop);
        samples(from, first);
        fill_periods<Dims, Lanes>(plan, row, scratch, first, first + groups * group, out);
        out += groups * group;
        return samples(first + groups * group, stop);
      } else {
        // The whole runs of a cell inside the piece, but the axis's first and
        // last, in whole groups of Lanes runs.
        const std::size_t count = runs.starts.size() - 1;  // runs
        const auto* starts_at = runs.starts.data();
        const std::size_t i = std::max<std::size_t>(
            static_cast<std::size_t>(std::lower_bound(starts_at, starts_at + count + 1, from) - starts_at), 1);
        // The runs that end by `stop`: those before the first that starts after it.
        const auto after = std::upper_bound(starts_at, starts_at + count + 1, stop);
        std::size_t e = std::min(count - 1, static_cast<std::size_t>(after - starts_at) - 1);
        if (e < i + 2 * Lanes) return samples(from, stop);
        e = i + (e - i) / Lanes * Lanes;
        samples(from, runs.starts[i]);
        fill_cells<Dims, Lanes>(plan, row, scratch, i, e, runs.starts[i], out);
        out += runs.starts[e] - runs.starts[i];
        samples(runs.starts[e], stop);
      }
    });
  };
  if (part.period != 0) return walk(std::integral_constant<Way, Way::Periods>{});
  if (runs.least != 0) return walk(std::integral_constant<Way, Way::Runs>{});
  walk(std::integral_constant<Way, Way::Samples>{});
}

// Fills out with Dims + 1 numbers per sample at flat indices [begin, end)
// of the plan's box, the derivative along each axis and then the value,
// as PlacedFill::fill_derivative gives them (formula::derivative: per row
// each prefix's slope weights too, the product with one axis's side weight
// replaced by its slope; the last axis's slopes per lane), Lanes samples
// at a time.
template <std::size_t Dims, std::size_t Lanes>
[[gnu::always_inline]] inline void fill_slopes(const PlacedPlan& plan, std::uint64_t begin, std::uint64_t end,
                                               double* out) {
  static_assert(Dims >= 1 && Dims <= 4);
  using V = table_lanes::Vec<Lanes>;
  using W = typename WordsOf<Lanes>::type;
  constexpr std::size_t LAST = Dims - 1, PREFIXES = std::size_t{1} << LAST;
  const double* palette = plan.gradients.palette();
  const std::size_t stride = plan.stride;
  const double* frac = plan.positions.data();
  const std::uint32_t* terms = plan.last_terms.data();
  for_each_row<Dims>(plan, begin, end, [&] [[gnu::always_inline]] (const std::uint64_t* q, std::uint64_t m) {
    const RowPrefixes<Dims> row(plan, q);
    double slope_weight[LAST ? LAST : 1][PREFIXES];
    for (std::size_t j = 0; j < LAST; ++j) slope_weight[j][0] = 1.0;
    for (std::size_t i = 0, half = 1; i < LAST; ++i, half *= 2) {
      const Slopes by = slopes_at(row.sides[i].offset[0]);
      for (std::size_t j = 0; j < LAST; ++j) {
        Sides own = row.sides[i];
        if (j == i) own.weight[0] = by.slope[0], own.weight[1] = by.slope[1];
        formula::split<0>(slope_weight[j], half, own);
      }
    }
    for (std::uint64_t j = q[LAST], stop = q[LAST] + m; j < stop; j += Lanes) {
      V offset[2], side_weight[2], slope[2];
      W term[2];
      table_lanes::load(offset[0], frac + j);
      table_lanes::load(offset[1], frac + stride + j);
      table_lanes::load(side_weight[0], frac + 2 * stride + j);
      table_lanes::load(side_weight[1], frac + 3 * stride + j);
      table_lanes::load(slope[0], frac + 4 * stride + j);
      table_lanes::load(slope[1], frac + 5 * stride + j);
      __builtin_memcpy(&term[0], terms + j, sizeof(W));
      __builtin_memcpy(&term[1], terms + stride + j, sizeof(W));
      V total{}, derivative[Dims] = {};
#pragma GCC unroll 16
      for (std::size_t c = 0; c < 2 * PREFIXES; ++c) {
        const std::size_t p = c % PREFIXES, side = c / PREFIXES;
        V gradient[Dims];
        gather<Dims, Lanes>(palette, mixed(row.sum[p] + term[side]) >> 24, gradient);
        V dot;
        row.dot_before_last(p, gradient, dot);
        dot_step(dot, dot, gradient[LAST], offset[side]);
        V prefix, w;
        table_lanes::splat(prefix, row.weight[p]);
        weight_step(w, prefix, side_weight[side]);
        term_step(total, w, dot);
#pragma GCC unroll 4
        for (std::size_t i = 0; i < LAST; ++i) {
          V by, dweight;
          table_lanes::splat(by, slope_weight[i][p]);
          weight_step(dweight, by, side_weight[side]);
          slope_step(derivative[i], dweight, dot, w, gradient[i]);
        }
        V dweight;
        weight_step(dweight, prefix, slope[side]);
        slope_step(derivative[LAST], dweight, dot, w, gradient[LAST]);
      }
      const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(Lanes, stop - j));
      for (std::size_t lane = 0; lane < count; ++lane, out += Dims + 1) {
#pragma GCC unroll 4
        for (std::size_t i = 0; i < Dims; ++i) out[i] = derivative[i][lane];
        out[Dims] = total[lane];
      }
    }
  });
}

}  // namespace veldra::sparse_walk
