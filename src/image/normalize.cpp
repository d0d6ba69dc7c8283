#include "image/detail/normalize.hpp"

#include "image/color_bytes.hpp"

namespace veldra {
namespace {

Range range_of(StridedValues values) {
  Range range;
  for (std::uint64_t k = 0; k < values.count; ++k) range.add(values[k]);
  return range;
}

Range folded_range_of(StridedValues values, Shape fold) {
  Range range;
  for (std::uint64_t k = 0; k < values.count; ++k) range.add(shaped(fold, values[k]));
  return range;
}

void write_bytes(const Range& range, StridedValues values, std::uint8_t* out,
                 std::uint64_t out_stride) {
  if (!range.has_spread()) {
    for (std::uint64_t k = 0; k < values.count; ++k) out[k * out_stride] = 128;
    return;
  }
  for (std::uint64_t k = 0; k < values.count; ++k) {
    out[k * out_stride] = byte_from_fraction(range.fraction(values[k]));
  }
}

void write_colors(const Range& range, StridedValues values, Palette palette, std::uint8_t* out) {
  if (!range.has_spread()) {
    const Rgb middle = color(palette, 0.5);
    for (std::uint64_t k = 0; k < values.count; ++k) {
      for (std::size_t c = 0; c < 3; ++c) out[3 * k + c] = middle[c];
    }
    return;
  }
  for (std::uint64_t k = 0; k < values.count; ++k) {
    const Rgb rgb = color(palette, range.fraction(values[k]));
    for (std::size_t c = 0; c < 3; ++c) out[3 * k + c] = rgb[c];
  }
}

}  // namespace

Status widen(Range& range, StridedValues values, std::size_t workers, ThreadStarter start) {
  return widen_by_runs(range, values.count, SERIAL_LIMIT,
                       [&](std::uint64_t begin, std::uint64_t end) {
                         return range_of(values.part(begin, end));
                       }, workers, start);
}

Status widen_folded(Range& range, StridedValues values, Shape fold, std::size_t workers,
                    ThreadStarter start) {
  return widen_by_runs(range, values.count, SERIAL_LIMIT,
                       [&](std::uint64_t begin, std::uint64_t end) {
                         return folded_range_of(values.part(begin, end), fold);
                       }, workers, start);
}

Status fill_bytes(const Range& range, StridedValues values, std::uint8_t* out,
                  std::uint64_t out_stride, std::size_t workers, ThreadStarter start) {
  return for_each_chunk(values.count, SERIAL_LIMIT,
                        [&](std::uint64_t begin, std::uint64_t end) {
                          write_bytes(range, values.part(begin, end), out + begin * out_stride,
                                      out_stride);
                        }, workers, start);
}

Status fill_colors(const Range& range, StridedValues values, Palette palette, std::uint8_t* out,
                   std::size_t workers, ThreadStarter start) {
  return for_each_chunk(values.count, SERIAL_LIMIT,
                        [&](std::uint64_t begin, std::uint64_t end) {
                          write_colors(range, values.part(begin, end), palette, out + 3 * begin);
                        }, workers, start);
}

}  // namespace veldra
