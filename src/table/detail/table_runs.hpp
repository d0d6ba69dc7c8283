// How a whole table is filled: the runs of one Split, each in parts with a
// look at stop_requested() between them.
#pragma once

#include <algorithm>
#include <cstdint>

#include "base/error.hpp"
#include "base/interruption.hpp"
#include "base/workers.hpp"

namespace veldra {

// Fills flat indices [0, count) into out[0 .. count) through `fill` (a
// TableFill or FieldTableFill made for split.runs runs): run r takes
// [r * split.length, ...), on the workers of `split`, in parts of at most
// `part` values. Every value is a function of its index alone, so filling a
// run in parts gives the same bits as filling it at once.
template <typename Fill>
Status fill_runs(const Split& split, std::uint64_t count, std::uint64_t part, Fill& fill,
                 double* out) {
  return run_split(split, [&](std::size_t run) {
    const std::uint64_t begin = run * split.length;
    const std::uint64_t end = std::min(count, begin + split.length);
    for (std::uint64_t at = begin; at < end;) {
      if (stop_requested()) return;
      const std::uint64_t next = end - at > part ? at + part : end;
      fill.fill(run, at, next, out + at);
      at = next;
    }
  });
}

}  // namespace veldra
