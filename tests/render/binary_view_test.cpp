// The binary view marks positive and negative cells on a map's picture.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "render/binary_view.h"

namespace {

TEST(BinaryView, MarksSignsAndKeepsZeros) {
  Picture image(256, 256);
  image.set_brush_colour(0x123456);
  image.rectangle(0, 0, 256, 256);
  const Picture before = image;

  HeightMatrix zeros(256, 256, 0.0);
  zeros(5, 5) = -0.0;
  paint_binary_view(image, zeros, kBinaryPositive, kBinaryNegative);
  for (int y = 0; y < 256; y += 15)
    for (int x = 0; x < 256; x += 15) ASSERT_EQ(image.pixel(x, y), before.pixel(x, y));

  HeightMatrix map(256, 256, 0.0);
  map(10, 20) = 1e-9;
  map(30, 40) = -1e-9;
  map(50, 60) = std::numeric_limits<double>::quiet_NaN();
  paint_binary_view(image, map, kBinaryPositive, kBinaryNegative);
  EXPECT_EQ(image.pixel(10, 20), 0x00FF00u);
  EXPECT_EQ(image.pixel(30, 40), 0x0000FFu);
  EXPECT_EQ(image.pixel(50, 60), 0x0000FFu);
  EXPECT_EQ(image.pixel(20, 10), before.pixel(20, 10)) << "x across, y down";

  // The difference map's colours: black and 2000 (red 208, green 7).
  paint_binary_view(image, map, kBinaryDiffPositive, kBinaryDiffNegative);
  EXPECT_EQ(image.pixel(10, 20), 0u);
  EXPECT_EQ(image.row(40)[30 * 3 + 0], 0);    // blue
  EXPECT_EQ(image.row(40)[30 * 3 + 1], 7);    // green
  EXPECT_EQ(image.row(40)[30 * 3 + 2], 208);  // red
}

TEST(BinaryView, SmallPictureIsNotWrittenPastItsEdge) {
  Picture image(10, 10);
  const HeightMatrix map(256, 256, 1.0);
  paint_binary_view(image, map, kBinaryPositive, kBinaryNegative);
  EXPECT_EQ(image.pixel(9, 9), 0x00FF00u);
}

}  // namespace
