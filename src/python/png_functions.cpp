#include "python/png_functions.hpp"

#include <array>
#include <cstring>
#include <optional>
#include <string>

#include "image/heightmap.hpp"
#include "image/png_blocks.hpp"
#include "python/from_bytes.hpp"
#include "python/kit/byte_view.hpp"
#include "python/kit/module_kit.hpp"
#include "python/kit/released.hpp"

namespace veldra::py {
namespace png_functions_detail {
namespace {

// The rows of a PNG of `width` pixels of `channels` samples of `bits`, or
// why there are none.
Result<PngRows> png_rows(std::uint64_t width, std::uint64_t channels, std::uint64_t bits) {
  if (auto bytes = image_bytes(width, 1, channels); !bytes) return std::unexpected(bytes.error());
  if (bits != 8 && bits != 16) return invalid_input("bits must be 8 or 16, got " + std::to_string(bits));
  return PngRows{width * channels * bits / 8, channels * bits / 8, bits == 16};
}

Result<std::array<std::uint64_t, 2>> png_block_rows(std::uint64_t width, std::uint64_t channels,
                                                    std::uint64_t bits) {
  auto rows = png_rows(width, channels, bits);
  if (!rows) return std::unexpected(rows.error());
  return std::array<std::uint64_t, 2>{veldra::png_block_rows(rows->row_bytes),
                                      png_context_rows(rows->row_bytes, UINT64_MAX)};
}

PyObject* png_blocks(ByteView pixels, std::uint64_t width, std::uint64_t channels,
                     std::uint64_t bits, std::uint64_t first, std::uint64_t height) {
  auto layout = png_rows(width, channels, bits);
  if (!layout) return raise(layout.error());
  const std::uint64_t n = layout->row_bytes;
  const std::uint64_t block = veldra::png_block_rows(n);
  const std::uint64_t context = png_context_rows(n, first);
  const auto bytes = pixels.bytes();
  if (first % block != 0) {
    return raise(invalid_input("first must be a multiple of " + std::to_string(block) +
                               " rows, got " + std::to_string(first)).error());
  }
  if (bytes.size() % n != 0 || bytes.size() / n <= context ||
      first + (bytes.size() / n - context) > height) {
    return raise(invalid_input("Expected the " + std::to_string(context) +
                               " rows before row " + std::to_string(first) +
                               " and at most " + std::to_string(height - std::min(first, height)) +
                               " more, of " + std::to_string(n) + " bytes each, got " +
                               std::to_string(bytes.size()) + " bytes").error());
  }
  const std::uint64_t rows = bytes.size() / n - context;
  const bool last = first + rows == height;
  if (rows % block != 0 && !last) {
    return raise(invalid_input("The rows must be whole blocks of " + std::to_string(block) +
                               " rows, or end the image").error());
  }
  std::vector<std::uint8_t> out;
  std::uint32_t adler = 1;
  const Status done = without_interpreter_lock([&]() -> Status {
    try {
      return deflate_blocks(*layout, {bytes.first(context * n), bytes.subspan(context * n), first, context},
                            last, [&](std::span<const std::uint8_t> deflated, std::uint32_t a,
                                      std::uint64_t filtered) -> Status {
                              adler = adler32_joined(adler, a, filtered);
                              out.insert(out.end(), deflated.begin(), deflated.end());
                              return {};
                            });
    } catch (const std::bad_alloc&) {
      return out_of_memory();
    }
  });
  if (!done) return raise(done.error());
  PyObject* data = to_python(Bytes{out});
  if (!data) return nullptr;
  PyObject* check = to_python(static_cast<std::uint64_t>(adler));
  if (!check) {
    Py_DECREF(data);
    return nullptr;
  }
  PyObject* pair = PyTuple_Pack(2, data, check);
  Py_DECREF(data);
  Py_DECREF(check);
  return pair;
}

Result<std::vector<std::uint8_t>> heightmap_levels(ByteView values, std::uint64_t bits,
                                                   std::optional<double> lo,
                                                   std::optional<double> hi) {
  if (bits != 8 && bits != 16) return invalid_input("bits must be 8 or 16, got " + std::to_string(bits));
  if (lo.has_value() != hi.has_value()) return invalid_input("lo and hi go together");
  const auto bytes = values.bytes();
  if (bytes.size() % sizeof(double) != 0) {
    return invalid_input("Expected float64 values, got " + std::to_string(bytes.size()) + " bytes");
  }
  std::vector<double> copied;
  std::span<const double> doubles;
  if (reinterpret_cast<std::uintptr_t>(bytes.data()) % alignof(double) == 0) {
    doubles = {reinterpret_cast<const double*>(bytes.data()), bytes.size() / sizeof(double)};
  } else {
    copied.resize(bytes.size() / sizeof(double));
    std::memcpy(copied.data(), bytes.data(), bytes.size());
    doubles = copied;
  }
  return without_interpreter_lock([&]() -> Result<std::vector<std::uint8_t>> {
    Range range{lo.value_or(0.0), hi.value_or(0.0)};
    if (!lo) {
      auto found = heightmap_range(doubles);
      if (!found) return std::unexpected(found.error());
      range = *found;
    }
    return veldra::heightmap_levels(doubles, range, static_cast<unsigned>(bits));
  });
}

PyObject* heightmap(ByteView values, std::uint64_t bits, std::optional<double> lo,
                    std::optional<double> hi) {
  auto levels = heightmap_levels(std::move(values), bits, lo, hi);
  if (!levels) return raise(levels.error());
  return to_python(Bytes{*levels});
}

}  // namespace
}  // namespace png_functions_detail

std::vector<MethodSpec> png_functions() {
  using namespace png_functions_detail;
  return {
      function<png_block_rows>(
          "png_block_rows(width, channels, bits=8)\n--\n\n"
          "``(rows, context)``: the rows of a block of a PNG of ``width`` pixels\n"
          "of ``channels`` samples of ``bits``, which depends on the row length\n"
          "alone, and the rows before a block that :func:`png_blocks` needs\n"
          "(fewer near the top: all those above it)."),
      function<png_blocks>(
          "png_blocks(pixels, width, channels, bits, first, height)\n--\n\n"
          "``(deflated, adler32)``: rows from ``first`` (a multiple of the block\n"
          "rows) of a PNG of ``height`` rows filtered and deflated as whole\n"
          "blocks, or to the end of the image, for :meth:`PngWriter.write_deflated`.\n"
          "``pixels`` holds ``min(first, context)`` rows before them, then the\n"
          "rows; 16-bit samples in the machine's byte order."),
      function<heightmap>(
          "heightmap(values, bits=16, lo=None, hi=None)\n--\n\n"
          "The levels of float64 ``values`` as ``bits``-bit numbers in the\n"
          "machine's byte order: ``(v - lo) / (hi - lo)`` clamped to 0..1, times\n"
          "``2**bits - 1``, rounded half away from zero (NaN: 0); every level is\n"
          "``2**(bits - 1)`` when ``hi`` is not above ``lo``. Without ``lo`` and\n"
          "``hi``, the range of the values, as the greyscale picture finds it."),
  };
}

}  // namespace veldra::py
