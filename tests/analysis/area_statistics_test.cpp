#include "analysis/area_statistics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

// A tilted plane z = 0.002 * x + 0.001 * y (mm) over the whole map.
HeightMatrix plane_map() {
  HeightMatrix map;
  for (int x = 0; x < kMapSide; ++x)
    for (int y = 0; y < kMapSide; ++y) map(x, y) = 0.002 * x + 0.001 * y;
  return map;
}

}  // namespace

TEST(AreaStatistics, OneCellAreaGivesItsValueAndNoSpread) {
  HeightMatrix map;
  map(17, 200) = -0.0042;
  const ValueRange r = area_range(map, 17, 17, 200, 200);
  EXPECT_EQ(r.min, -0.0042);
  EXPECT_EQ(r.max, -0.0042);
  EXPECT_EQ(area_pv(map, 17, 17, 200, 200), 0.0);
  EXPECT_EQ(area_mean(map, 17, 17, 200, 200), -0.0042);
  EXPECT_EQ(area_rms(map, 17, 17, 200, 200), 0.0);
}

TEST(AreaStatistics, ConstantMapHasNoSpread) {
  HeightMatrix map(kMapSide, kMapSide, 0.125);
  EXPECT_EQ(area_pv(map, 0, 255, 0, 255), 0.0);
  EXPECT_EQ(area_mean(map, 0, 255, 0, 255), 0.125);
  EXPECT_EQ(area_rms(map, 0, 255, 0, 255), 0.0);
}

TEST(AreaStatistics, SevenBySevenAreaWithOnePeak) {
  HeightMatrix map;
  for (int x = 100; x <= 106; ++x)
    for (int y = 50; y <= 56; ++y) map(x, y) = 0.001;
  map(103, 52) = 0.008;
  // The zero cells around the area must not enter.
  const ValueRange r = area_range(map, 100, 106, 50, 56);
  EXPECT_EQ(r.min, 0.001);
  EXPECT_EQ(r.max, 0.008);
  EXPECT_DOUBLE_EQ(area_pv(map, 100, 106, 50, 56), 0.007);
  EXPECT_DOUBLE_EQ(area_mean(map, 100, 106, 50, 56), 0.001 + 0.007 / 49);
  EXPECT_DOUBLE_EQ(area_rms(map, 100, 106, 50, 56), 0.007 * std::sqrt(48.0) / 49);
}

TEST(AreaStatistics, PlaneHasClosedFormPvMeanAndRms) {
  const HeightMatrix map = plane_map();
  // 9 x 9 cells around (128, 64): x = 124..132, y = 60..68.
  const double centre = 0.002 * 128 + 0.001 * 64;
  EXPECT_NEAR(area_pv(map, 124, 132, 60, 68), 0.002 * 8 + 0.001 * 8, 1e-15);
  EXPECT_NEAR(area_mean(map, 124, 132, 60, 68), centre, 1e-15);
  // A uniform grid of 9 steps has variance (9^2 - 1) / 12 step^2 along each
  // axis; the two axes are independent, so their variances add.
  const double variance = (80.0 / 12.0) * (0.002 * 0.002 + 0.001 * 0.001);
  EXPECT_NEAR(area_rms(map, 124, 132, 60, 68), std::sqrt(variance), 1e-15);
}

TEST(AreaStatistics, MaskEdgeZerosAndNoHeightCellsCount) {
  HeightMatrix map;  // 0.0 outside the mask
  for (int x = 10; x <= 12; ++x)
    for (int y = 10; y <= 13; ++y) map(x, y) = 0.003;
  // Area x = 10..13, y = 10..13: 12 cells of 0.003 and 4 zeros.
  EXPECT_DOUBLE_EQ(area_mean(map, 10, 13, 10, 13), 0.003 * 12 / 16);
  EXPECT_DOUBLE_EQ(area_rms(map, 10, 13, 10, 13), 0.003 * std::sqrt(3.0) / 4);

  map(11, 11) = kNoHeight;
  EXPECT_DOUBLE_EQ(area_pv(map, 10, 13, 10, 13), 10.003);
  EXPECT_GT(area_rms(map, 10, 13, 10, 13), 2.0);
}

TEST(AreaStatistics, SumRunsColumnByColumnRoundingEachStep) {
  // Column 0 holds 1 and -1, column 1 twice 1e-16. Column by column the large
  // values cancel first and the small ones survive (2e-16); row by row each
  // 1e-16 would be lost against 1 and only the last one kept (1e-16).
  HeightMatrix map;
  map(0, 0) = 1.0;
  map(0, 1) = -1.0;
  map(1, 0) = 1e-16;
  map(1, 1) = 1e-16;
  EXPECT_EQ(area_mean(map, 0, 1, 0, 1), 2e-16 / 4);
}

TEST(AreaStatistics, RangeTakesTheLastOfEqualValues) {
  // Visited (0,0), (0,1), (1,0), (1,1): a value replaces max when max is not
  // greater, so of 0.0 and -0.0 the later one is kept for both bounds.
  HeightMatrix map;
  map(1, 1) = -0.0;
  const ValueRange r = area_range(map, 0, 1, 0, 1);
  EXPECT_TRUE(std::signbit(r.min));
  EXPECT_TRUE(std::signbit(r.max));
  EXPECT_FALSE(std::signbit(area_pv(map, 0, 1, 0, 1)));
}

TEST(AreaStatistics, AreaPastTheMapIsClippedToItsCells) {
  HeightMatrix map(kMapSide, kMapSide, 0.0);
  map(0, 0) = 0.004;
  map(255, 255) = -0.002;
  // x = -4..4, y = -4..4 keeps the 25 cells 0..4 x 0..4.
  EXPECT_DOUBLE_EQ(area_mean(map, -4, 4, -4, 4), 0.004 / 25);
  EXPECT_EQ(area_pv(map, -4, 4, -4, 4), 0.004);
  EXPECT_DOUBLE_EQ(area_mean(map, 251, 259, 251, 300), -0.002 / 25);
  // Extreme bounds neither overflow nor read outside.
  EXPECT_DOUBLE_EQ(area_mean(map, std::numeric_limits<int>::min(), std::numeric_limits<int>::max(),
                             std::numeric_limits<int>::min(), std::numeric_limits<int>::max()),
                   0.002 / 65536);
}

TEST(AreaStatistics, EmptyAreaGivesZeros) {
  HeightMatrix map(kMapSide, kMapSide, 0.5);
  const struct {
    int x0, x1, y0, y1;
  } empty_areas[] = {{5, 4, 0, 10}, {0, 10, 9, 3}, {256, 300, 0, 10}, {-9, -1, 0, 10}, {0, 10, 256, 256}};
  for (const auto& a : empty_areas) {
    const ValueRange r = area_range(map, a.x0, a.x1, a.y0, a.y1);
    EXPECT_EQ(r.min, 0.0) << a.x0 << ".." << a.x1 << ", " << a.y0 << ".." << a.y1;
    EXPECT_EQ(r.max, 0.0);
    EXPECT_EQ(area_pv(map, a.x0, a.x1, a.y0, a.y1), 0.0);
    EXPECT_EQ(area_mean(map, a.x0, a.x1, a.y0, a.y1), 0.0);
    EXPECT_EQ(area_rms(map, a.x0, a.x1, a.y0, a.y1), 0.0);
  }
}

TEST(AreaStatistics, NanAndInfiniteCells) {
  const double inf = std::numeric_limits<double>::infinity();
  HeightMatrix map(kMapSide, kMapSide, 0.001);
  // A NaN anywhere in the area, also not first or last, makes every result NaN.
  map(6, 6) = std::nan("");
  EXPECT_TRUE(std::isnan(area_range(map, 5, 7, 5, 7).min));
  EXPECT_TRUE(std::isnan(area_range(map, 5, 7, 5, 7).max));
  EXPECT_TRUE(std::isnan(area_pv(map, 5, 7, 5, 7)));
  EXPECT_TRUE(std::isnan(area_mean(map, 5, 7, 5, 7)));
  EXPECT_TRUE(std::isnan(area_rms(map, 5, 7, 5, 7)));
  EXPECT_TRUE(std::isnan(area_range(map, 6, 7, 6, 7).max));  // NaN first
  EXPECT_EQ(area_pv(map, 7, 8, 7, 8), 0.0);                   // not in the area

  map(20, 20) = inf;
  map(20, 21) = -inf;
  const ValueRange r = area_range(map, 19, 21, 19, 21);
  EXPECT_EQ(r.min, -inf);
  EXPECT_EQ(r.max, inf);
  EXPECT_EQ(area_pv(map, 19, 21, 19, 21), inf);
  EXPECT_EQ(area_mean(map, 20, 21, 20, 20), inf);
}
