#include "python/picture_regions.hpp"

#include <array>

#include "image/regions.hpp"
#include "python/any_field.hpp"
#include "python/kit/module_kit.hpp"
#include "python/kit/released.hpp"

namespace veldra::py {
namespace picture_regions_detail {
namespace {

using Ints = std::vector<std::uint64_t>;

Result<std::array<double, 2>> value_range(AnyField noise, Ints divisors, Ints start, Ints shape,
                                          std::optional<Shape> fold) {
  auto range = without_interpreter_lock(
      [&] { return veldra::value_range(noise.field(), divisors, start, shape, fold); });
  if (!range) return std::unexpected(range.error());
  return std::array<double, 2>{range->lo, range->hi};
}

Result<Image> grayscale_region(AnyField noise, Ints divisors, Ints start, Ints shape, double lo,
                               double hi) {
  return without_interpreter_lock(
      [&] { return veldra::grayscale_region(noise.field(), divisors, start, shape, Range{lo, hi}); });
}

Result<Image> colored_region(AnyField noise, Ints divisors, Palette palette, Ints start,
                             Ints shape, double lo, double hi) {
  return without_interpreter_lock([&] {
    return veldra::colored_region(noise.field(), divisors, palette, start, shape, Range{lo, hi});
  });
}

Result<Image> relief_region(AnyField noise, Ints divisors, Relief relief, Ints start, Ints shape,
                            double lo, double hi) {
  return without_interpreter_lock([&] {
    return veldra::relief_region(noise.field(), divisors, relief, start, shape, Range{lo, hi});
  });
}

}  // namespace
}  // namespace picture_regions_detail

std::vector<MethodSpec> picture_region_functions() {
  using namespace picture_regions_detail;
  return {
      function<value_range>(
          "value_range(field, divisors, start, shape, fold=None)\n--\n\n"
          "``(lo, hi)``: the smallest and largest of the values of\n"
          "``field.table_region(divisors, start, shape)``, each first folded by\n"
          "the shape ``fold`` (``None``: as they are), NaN ignored. ``field`` is a\n"
          "two dimensional :class:`Instance` or :class:`Field`. The ranges of\n"
          "regions that tile the table, merged with ``min`` and ``max``, are the\n"
          "whole table's: pass them to the region renderings."),
      function<grayscale_region>(
          "grayscale_region(field, divisors, start, shape, lo, hi)\n--\n\n"
          "Rows ``start[0]`` to ``start[0] + shape[0]`` and columns ``start[1]``\n"
          "to ``start[1] + shape[1]`` of ``Renderer(field).grayscale(divisors)``,\n"
          "byte for byte, given ``(lo, hi)``, the :func:`value_range` of the\n"
          "whole image."),
      function<colored_region>(
          "colored_region(field, divisors, palette, start, shape, lo, hi)\n--\n\n"
          "A region of ``Renderer(field).colored(divisors, palette)``, as\n"
          ":func:`grayscale_region`'s."),
      function<relief_region>(
          "relief_region(field, divisors, relief, start, shape, lo, hi)\n--\n\n"
          "A region of ``Renderer(field).relief(divisors, relief)``, byte for byte,\n"
          "given ``(lo, hi)``, the :func:`value_range` of the whole image with\n"
          "``fold=relief.shape``."),
  };
}

}  // namespace veldra::py
