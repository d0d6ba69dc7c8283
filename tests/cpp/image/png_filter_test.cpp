#include "image/png_filter.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace veldra {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The predictor of filter `type` (1 Sub, 2 Up, 3 Average, 4 Paeth) from
// the neighbours to the left (a), above (b) and above left (c), as the
// format defines it.
int predictor(int type, int a, int b, int c) {
  const int p = a + b - c;
  const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  const int predictors[5] = {0, a, b, (a + b) / 2, pa <= pb && pa <= pc ? a : pb <= pc ? b : c};
  return predictors[type];
}

// Undoes filtered bytes as a PNG decoder does, left to right, from the
// decoded row above.
Bytes unfiltered(const Bytes& line, const Bytes& above, std::uint64_t pixel_bytes) {
  Bytes row(line.size() - 1);
  for (std::uint64_t i = 0; i < row.size(); ++i) {
    const int a = i >= pixel_bytes ? row[i - pixel_bytes] : 0;
    const int c = i >= pixel_bytes ? above[i - pixel_bytes] : 0;
    row[i] = static_cast<std::uint8_t>(line[1 + i] + predictor(line[0], a, above[i], c));
  }
  return row;
}

// The sum of the bytes taken as signed, absolute.
std::uint64_t cost(const Bytes& line) {
  std::uint64_t sum = 0;
  for (std::uint64_t i = 1; i < line.size(); ++i) sum += line[i] < 128 ? line[i] : 256 - line[i];
  return sum;
}

// The row filtered with `type`: what filter_row chooses among.
Bytes forced(const Bytes& row, const Bytes& above, std::uint64_t pixel_bytes, int type) {
  Bytes line(row.size() + 1);
  line[0] = static_cast<std::uint8_t>(type);
  for (std::uint64_t i = 0; i < row.size(); ++i) {
    const int a = i >= pixel_bytes ? row[i - pixel_bytes] : 0;
    const int c = i >= pixel_bytes ? above[i - pixel_bytes] : 0;
    line[1 + i] = static_cast<std::uint8_t>(row[i] - predictor(type, a, above[i], c));
  }
  return line;
}

struct Rows {
  Bytes above, row;
};

// Rows of a few kinds, so that each filter wins somewhere: noise, ramps
// along the row, copies of the row above, smooth surfaces.
Rows rows_of(int kind, std::uint64_t length, std::uint32_t seed) {
  Rows r{Bytes(length), Bytes(length)};
  std::uint32_t state = seed;
  const auto next = [&] {
    state = state * 1103515245u + 12345u;
    return static_cast<std::uint8_t>(state >> 24);
  };
  const auto byte = [](std::uint64_t v) { return static_cast<std::uint8_t>(v); };
  for (std::uint64_t i = 0; i < length; ++i) {
    const std::uint8_t above[5] = {next(), next(), next(), byte(i / 2 + next() % 3), byte(200 + i % 7)};
    r.above[i] = above[kind];
    const std::uint8_t row[5] = {next(), byte(3 * i), byte(r.above[i] + (next() & 1)),
                                 byte(i / 2 + 1 + next() % 3), byte(i * i / 3 + (next() & 3))};
    r.row[i] = row[kind];
  }
  return r;
}

TEST(PngFilter, ChoosesTheCheapestFilterAndDecodesBackToTheRow) {
  int chosen[5] = {0, 0, 0, 0, 0};
  for (std::uint64_t pixel_bytes : {1, 2, 3, 4, 6, 8}) {
    // Rows shorter than a pixel, shorter than a lane, and lanes plus a tail.
    for (std::uint64_t length : {1, 2, 5, 15, 16, 17, 31, 40, 48, 100, 1001}) {
      for (int kind = 0; kind < 5; ++kind) {
        const Rows r = rows_of(kind, length, static_cast<std::uint32_t>(length * 31 + pixel_bytes));
        Bytes line(length + 1, 0xEE);
        filter_row(r.row.data(), r.above.data(), length, pixel_bytes, line.data());
        SCOPED_TRACE(testing::Message() << "pixel bytes " << pixel_bytes << ", length " << length
                                        << ", kind " << kind);
        ASSERT_GE(line[0], 1);
        ASSERT_LE(line[0], 4);
        EXPECT_EQ(unfiltered(line, r.above, pixel_bytes), r.row);
        // The earliest of the cheapest.
        int best = 1;
        for (int type = 2; type <= 4; ++type) {
          if (cost(forced(r.row, r.above, pixel_bytes, type)) <
              cost(forced(r.row, r.above, pixel_bytes, best))) {
            best = type;
          }
        }
        EXPECT_EQ(line[0], best);
        ++chosen[line[0]];
      }
    }
  }
  for (int type = 1; type <= 4; ++type) EXPECT_GT(chosen[type], 0) << "filter " << type << " never chosen";
}

}  // namespace
}  // namespace veldra
