// The hair pipeline: checks, growth, drawing order, shading, and combing and
// developing into a three-channel image on one thread per band.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "base/error.hpp"
#include "hair/detail/strand.hpp"
#include "hair/hair.hpp"
#include "image/image.hpp"
#include "image/relief.hpp"
#include "image/renderer.hpp"

namespace veldra {

// Renders the lit relief of the renderer's field with the given divisors.
using ReliefSource =
    std::function<Result<Image>(std::span<const std::uint64_t> divisors, const Relief& settings)>;

// The divisors of the relief that colours the strands of a width x height
// image over a field of `dims` cells: (width - 1) / dims[0] and
// (height - 1) / dims[1], each at least 1. Width pairs with axis 0 here;
// the map is sampled by relative position, so this only sets its resolution.
std::array<std::uint64_t, 2> color_map_divisors(std::span<const std::uint64_t> dims,
                                                std::uint64_t width, std::uint64_t height);

// Indices of `strands` ordered so that their layers rise (the total order
// of 32-bit floats); strands of equal layer may come in either order.
Result<std::vector<std::uint64_t>> drawing_order(std::span<const Strand> strands);

// render_hair (hair.hpp) with its platform choices passed in: growth and combing use
// at most `workers` threads (0 counts as 1) and, with color_from_field set,
// `relief` renders the colour map. The bytes do not depend on `workers`.
// Fails, in this order, with the renderer's dimension message for fields
// that are not 2-D, "An image needs a positive width and height", the first
// complaint of check_hair; then with any error of `relief` unchanged, an
// out-of-memory error, or a worker failure, always after every worker has
// been joined.
Result<Image> render_hair(const Renderer& renderer, std::uint64_t width, std::uint64_t height,
                          const Hair& hair, std::size_t workers, const ReliefSource& relief);

}  // namespace veldra
