#include "analysis/resample.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <limits>
#include <random>
#include <stdexcept>


namespace {

TEST(ResampleBilinear, CornersAlignedAndInterpolatedBetween) {
  HeightMatrix square(2, 2);
  square(0, 0) = 0.0;
  square(1, 0) = 1.0;
  square(0, 1) = 2.0;
  square(1, 1) = 4.0;
  HeightMatrix result(3, 3, 9.0);
  resample_bilinear(square, 3, 3, result);
  EXPECT_EQ(result(0, 0), 0.0);
  EXPECT_EQ(result(2, 0), 1.0);
  EXPECT_EQ(result(0, 2), 2.0);
  EXPECT_EQ(result(2, 2), 4.0);
  EXPECT_EQ(result(1, 0), 0.5);
  EXPECT_EQ(result(0, 1), 1.0);
  EXPECT_EQ(result(2, 1), 2.5);
  EXPECT_EQ(result(1, 1), 1.75);  // a = 0.5, b = 3, a + (b - a) * 0.5

  // A single output column or row takes the first source column or row
  // instead of dividing by zero.
  HeightMatrix line(1, 3, 9.0);
  resample_bilinear(square, 1, 3, line);
  EXPECT_EQ(line(0, 0), 0.0);
  EXPECT_EQ(line(0, 1), 1.0);
  EXPECT_EQ(line(0, 2), 2.0);
  EXPECT_THROW(resample_bilinear(square, 4, 3, result), std::invalid_argument);
}

// map(x, y) = 2x + 3y: interpolation of a plane returns the plane.
HeightMatrix plane() {
  HeightMatrix map;
  for (int x = 0; x < kMapSide; ++x) {
    for (int y = 0; y < kMapSide; ++y) map(x, y) = 2.0 * x + 3.0 * y;
  }
  return map;
}

TEST(ResampleWindow, EnlargesA21CellWindowWithoutCornerAlignment) {
  const HeightMatrix map = plane();
  HeightMatrix out(164, 164, -1.0);
  resample_window(map, 10, 30, 20, 40, 100, 100, out);
  EXPECT_EQ(out(0, 0), map(10, 20));
  // 50 / 100 * 21 = 10.5 rounds to 10 (even): cell 10..11, weight 0.5.
  EXPECT_EQ(out(50, 50), 2.0 * 20.5 + 3.0 * 30.5);
  // 55 / 100 * 21 = 11.55 rounds up to 12: the cell is still 11..12.
  EXPECT_NEAR(out(55, 0), 2.0 * (10 + 11.55) + 3.0 * 20, 1e-12);
  // Past the last cell centre the border cell repeats: x stays at 30, y at 40.
  EXPECT_EQ(out(99, 0), map(30, 20));
  EXPECT_EQ(out(99, 99), map(30, 40));
  EXPECT_NEAR(out(0, 90), 2.0 * 10 + 3.0 * (20 + 18.9), 1e-12);  // 90 / 100 * 21 = 18.9
  EXPECT_EQ(out(0, 97), map(10, 40));  // 20.37: past the last row
  // Cells beyond out_w x out_h are not touched.
  EXPECT_EQ(out(100, 0), -1.0);
  EXPECT_EQ(out(0, 100), -1.0);
}

TEST(ResampleWindow, LeavesTheOutputAloneUnlessTheWindowIsSmallerAndInside) {
  const HeightMatrix map = plane();
  const HeightMatrix untouched(164, 164, -1.0);
  HeightMatrix out = untouched;
  resample_window(map, 0, 99, 0, 20, 100, 100, out);    // as wide as the output
  resample_window(map, 0, 20, 0, 163, 100, 100, out);   // higher than the output
  resample_window(map, -5, 15, 0, 20, 100, 100, out);   // leaves the map
  resample_window(map, 250, 256, 0, 20, 100, 100, out);
  resample_window(map, 30, 10, 0, 20, 100, 100, out);   // empty window
  resample_window(map, 0, 20, 0, 20, 200, 100, out);    // output grid too small
  resample_window(map, 0, 20, 0, 20, 0, 100, out);
  EXPECT_TRUE(out == untouched);
}

}  // namespace
