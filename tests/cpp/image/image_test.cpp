#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "image/image.hpp"

namespace veldra {
namespace {

TEST(Image, PixelReadsItsChannelsAndNothingOutside) {
  std::vector<std::uint8_t> bytes(3 * 2 * 3);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i);
  const Image image{bytes, 3, 2, 3};

  auto middle = image.pixel(1, 1);
  ASSERT_TRUE(middle);
  EXPECT_EQ(std::vector<std::uint8_t>(middle->begin(), middle->end()),
            (std::vector<std::uint8_t>{12, 13, 14}));
  auto last = image.pixel(2, 1);
  ASSERT_TRUE(last);
  EXPECT_EQ(std::vector<std::uint8_t>(last->begin(), last->end()),
            (std::vector<std::uint8_t>{15, 16, 17}));
  EXPECT_FALSE(image.pixel(3, 0));
  EXPECT_FALSE(image.pixel(0, 2));
  EXPECT_FALSE(image.pixel(UINT64_MAX, UINT64_MAX));
}

}  // namespace
}  // namespace veldra
