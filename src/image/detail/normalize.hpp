// Noise values to bytes: the per-image range and the byte and palette
// mappings shared by the flat and three-axis renderings. From
// SERIAL_LIMIT values on, each pass is spread over scoped workers
// in contiguous chunks; the bytes do not depend on how many.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/error.hpp"
#include "base/in_parallel.hpp"
#include "base/range.hpp"
#include "base/workers.hpp"
#include "field/shape.hpp"
#include "image/palette.hpp"

namespace veldra {

// The values first[k * stride] for k in [0, count): a whole table
// (stride 1) or one slice of its last axis (stride = that axis's extent),
// read in place.
struct StridedValues {
  const double* first;
  std::uint64_t count;
  std::uint64_t stride;
  double operator[](std::uint64_t k) const { return first[k * stride]; }
  // Values [begin, end) of these.
  StridedValues part(std::uint64_t begin, std::uint64_t end) const {
    return {first + begin * stride, end - begin, stride};
  }
};

// Widens `range` by range_of_run(begin, end) of every piece that
// for_each_chunk hands out, merged in piece order: when each piece's range
// adds that piece's values in order, the same bits as one pass adding them
// all in order.
template <typename RangeOfRun>
Status widen_by_runs(Range& range, std::uint64_t count, std::uint64_t serial_limit,
                     RangeOfRun&& range_of_run, std::size_t workers,
                     ThreadStarter start = &start_thread) {
  auto partials = per_chunk<Range>(count, serial_limit, range_of_run, workers, start);
  if (!partials) return std::unexpected(partials.error());
  for (const Range& partial : *partials) range.merge(partial);
  return {};
}

// Widens `range` by every value of `values`, NaN values ignored, with the
// same result as adding them one by one in order.
Status widen(Range& range, StridedValues values, std::size_t workers = available_processors(),
             ThreadStarter start = &start_thread);

// As widen, over shaped(fold, v) of every value v: the range a relief of
// that shape normalises its heights by.
Status widen_folded(Range& range, StridedValues values, Shape fold,
                    std::size_t workers = available_processors(),
                    ThreadStarter start = &start_thread);

// Writes to out[k * out_stride] the byte of values[k] under `range`:
// (v - lo) / (hi - lo) clamped to 0..1, times 255, rounded half away from
// zero. Without spread every byte is 128.
Status fill_bytes(const Range& range, StridedValues values, std::uint8_t* out,
                  std::uint64_t out_stride, std::size_t workers = available_processors(),
                  ThreadStarter start = &start_thread);

// Writes the palette colour of each value, three bytes per value, to
// consecutive bytes from `out`. Without spread every colour is the
// palette's colour at 0.5.
Status fill_colors(const Range& range, StridedValues values, Palette palette, std::uint8_t* out,
                   std::size_t workers = available_processors(),
                   ThreadStarter start = &start_thread);

}  // namespace veldra
