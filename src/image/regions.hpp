// Pictures of a two-dimensional field made region by region: each region's
// pixels are, byte for byte, those of the whole rendering at the same place,
// so that a picture too large for one call (or one machine) is made from
// pieces. A flat or lit picture depends on the range of its whole image, so
// it is found first, as the merge (Range::merge) of the regions' ranges, and
// handed to every region.
//
// Every function checks, in this order: the field has 2 dimensions
// (expect_dims), the divisors (table_layout), the region (check_region).
// `start` and `shape` are per axis: axis 0 the rows of the image, axis 1 its
// columns.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "base/error.hpp"
#include "base/range.hpp"
#include "field/field.hpp"
#include "field/shape.hpp"
#include "image/image.hpp"
#include "image/palette.hpp"
#include "image/relief.hpp"

namespace veldra {

// The range of the region's table values, each first folded by `fold`
// (none: as they are). Merged over regions that tile the table, in any
// order, it compares equal to the whole table's range: the grayscale and
// colored ranges without a fold, the relief's with fold = its shape.
Result<Range> value_range(const Field& field, std::span<const std::uint64_t> divisors,
                          std::span<const std::uint64_t> start,
                          std::span<const std::uint64_t> shape, std::optional<Shape> fold);

// The region of Renderer::grayscale / colored whose whole image's value
// range is `range`: shape[1] pixels across, shape[0] down.
Result<Image> grayscale_region(const Field& field, std::span<const std::uint64_t> divisors,
                               std::span<const std::uint64_t> start,
                               std::span<const std::uint64_t> shape, const Range& range);
Result<Image> colored_region(const Field& field, std::span<const std::uint64_t> divisors,
                             Palette palette, std::span<const std::uint64_t> start,
                             std::span<const std::uint64_t> shape, const Range& range);

// The region of Renderer::relief, given `range`, that of the whole image's
// values shaped by settings.shape. It samples the table one row and column
// beyond the region on every side where the image goes on, so its slopes
// are the whole image's.
Result<Image> relief_region(const Field& field, std::span<const std::uint64_t> divisors,
                            const Relief& settings, std::span<const std::uint64_t> start,
                            std::span<const std::uint64_t> shape, const Range& range);

}  // namespace veldra
