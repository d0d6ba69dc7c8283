// How a whole table is filled: the runs of one Split, each in parts with a
// look at stop_requested() between them.
#pragma once

#include <algorithm>
#include <cstdint>

#include "base/buffer.hpp"
#include "base/error.hpp"
#include "base/interruption.hpp"
#include "base/workers.hpp"
#include "field/instance.hpp"
#include "table/table.hpp"

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

// The table of `layout`, every value written by fill_runs: create(runs)
// gives the fill (or its error) for the runs the split makes, and
// part_of(fill) the values it takes between two looks at a stop.
template <typename Create, typename PartOf>
Result<Table> table_by_runs(TableLayout layout, Create&& create, PartOf&& part_of) {
  const std::uint64_t count = layout.count;
  auto values = allocate_deferred<double>(count);
  if (!values) return std::unexpected(values.error());
  const Split split = Split::of(count, SERIAL_LIMIT, available_processors());
  auto fill = create(std::max<std::uint64_t>(split.runs, 1));
  if (!fill) return std::unexpected(fill.error());
  auto filled = fill_runs(split, count, part_of(*fill), *fill, values->data());
  if (!filled) return std::unexpected(filled.error());
  return Table{std::move(layout.shape), std::move(*values)};
}

}  // namespace veldra
