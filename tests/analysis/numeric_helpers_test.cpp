// Bilinear interpolation, plane vectors, index to mm and line ranges.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "analysis/bilinear.h"
#include "analysis/index_to_mm.h"
#include "analysis/line_range.h"
#include "analysis/vector_2d.h"

TEST(Bilinear, CornersCentreAndEdges) {
  // Cell from (2, 3), 4 wide and 2 high; q11 = 1, q21 = 5, q22 = 9, q12 = 3.
  auto at = [](double x, double y) { return bilinear(2.0, 3.0, 4.0, 2.0, x, y, 1.0, 5.0, 9.0, 3.0); };
  EXPECT_EQ(at(2.0, 3.0), 1.0);
  EXPECT_EQ(at(6.0, 3.0), 5.0);
  EXPECT_EQ(at(6.0, 5.0), 9.0);
  EXPECT_EQ(at(2.0, 5.0), 3.0);
  EXPECT_EQ(at(4.0, 4.0), 4.5);  // mean of the corners
  EXPECT_EQ(at(3.0, 3.0), 2.0);  // quarter along the lower edge
  EXPECT_EQ(at(2.0, 4.5), 2.5);  // three quarters up the left edge
  EXPECT_EQ(at(10.0, 3.0), 9.0);  // beyond the cell the planes extend
}

TEST(Bilinear, DegenerateCellTakesTheNearEdge) {
  // A zero-width cell would divide 0 by 0; it is a vertical line instead.
  EXPECT_EQ(bilinear(1.0, 0.0, 0.0, 2.0, 1.0, 1.0, 2.0, 7.0, 9.0, 4.0), 3.0);
  EXPECT_EQ(bilinear(1.0, 0.0, 2.0, 0.0, 2.0, 0.0, 2.0, 4.0, 9.0, 7.0), 3.0);
  EXPECT_EQ(bilinear(0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 6.0, 7.0, 8.0, 9.0), 6.0);
}

TEST(Vector2D, DifferenceDotAndLength) {
  const Vector2D d = vector_difference({5.0, 1.0}, {2.0, 5.0});
  EXPECT_EQ(d.x, 3.0);
  EXPECT_EQ(d.y, -4.0);
  EXPECT_EQ(dot_product({3.0, -4.0}, {2.0, 0.5}), 4.0);
  EXPECT_EQ(vector_length(d), 5.0);
  EXPECT_EQ(vector_length({0.0, 0.0}), 0.0);
}

TEST(IndexToMm, CellFractionOfTheFieldSize) {
  EXPECT_EQ(index_to_mm_x(0, 10.24), 0.0);
  EXPECT_EQ(index_to_mm_x(128, 10.24), 5.12);
  EXPECT_EQ(index_to_mm_y(64, 10.24), 2.56);
  EXPECT_DOUBLE_EQ(index_to_mm_x(255, 10.24), 10.2);
  EXPECT_DOUBLE_EQ(index_to_mm_y(100, 9.0), 3.515625);
  EXPECT_EQ(index_to_mm_x(-3, 256.0), -3.0);
}

TEST(LineRange, RowAndColumnRanges) {
  HeightMatrix map;
  for (int x = 0; x < kMapSide; ++x)
    for (int y = 0; y < kMapSide; ++y) map(x, y) = 0.001 * (x - 2 * y);
  // column_range runs along a row (x varies), row_range down a column.
  ValueRange r = column_range(map, 10, 20, 5);
  EXPECT_DOUBLE_EQ(r.min, 0.0);
  EXPECT_DOUBLE_EQ(r.max, 0.010);
  r = row_range(map, 10, 20, 5);
  EXPECT_DOUBLE_EQ(r.min, -0.035);
  EXPECT_DOUBLE_EQ(r.max, -0.015);
  // One cell gives its value twice.
  r = column_range(map, 7, 7, 3);
  EXPECT_EQ(r.min, map(7, 3));
  EXPECT_EQ(r.max, map(7, 3));
  r = row_range(map, 9, 9, 200);
  EXPECT_EQ(r.min, map(200, 9));
  EXPECT_EQ(r.max, map(200, 9));
}

TEST(LineRange, ClippedEmptyAndNan) {
  HeightMatrix map;
  map(0, 4) = -0.5;
  map(255, 4) = 0.5;
  ValueRange r = column_range(map, -10, 300, 4);  // clipped to 0..255
  EXPECT_EQ(r.min, -0.5);
  EXPECT_EQ(r.max, 0.5);
  r = row_range(map, -1, 4, 0);
  EXPECT_EQ(r.min, -0.5);
  EXPECT_EQ(r.max, 0.0);
  for (const ValueRange& e : {column_range(map, 0, 255, 256), column_range(map, 0, 255, -1),
                              column_range(map, 9, 8, 4), row_range(map, 0, 255, 256),
                              row_range(map, 300, 400, 0)}) {
    EXPECT_EQ(e.min, 0.0);
    EXPECT_EQ(e.max, 0.0);
  }
  map(100, 4) = std::numeric_limits<double>::quiet_NaN();
  EXPECT_TRUE(std::isnan(column_range(map, 0, 255, 4).max));
  EXPECT_TRUE(std::isnan(row_range(map, 0, 255, 100).min));
  EXPECT_EQ(column_range(map, 101, 255, 4).max, 0.5);
}
