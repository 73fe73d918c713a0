#include "analysis/reference_sphere.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>


TEST(PerfectSphere, EyeSizedSphereOnTheDefaultField) {
  // R = 7.8 mm on 10.24 mm: a step of 0.04 mm, the apex between cells 127 and 128.
  HeightMatrix map;
  EXPECT_TRUE(perfect_sphere(7.8, 10.24, 256, 0.0, 0.0, 0.0, map));
  const double top = std::sqrt(7.8 * 7.8 - 0.0008) - 7.8;
  EXPECT_NEAR(top, -0.0000513, 5e-8);
  for (int x : {127, 128})
    for (int y : {127, 128}) EXPECT_NEAR(map(x, y), top, 1e-15) << x << ", " << y;
  double highest = map(0, 0);
  for (int x = 0; x < kMapSide; ++x)
    for (int y = 0; y < kMapSide; ++y) highest = std::max(highest, map(x, y));
  EXPECT_EQ(highest, map(127, 127));
  // Corner: r2 = 2 * 5.1^2 = 52.02.
  EXPECT_NEAR(map(0, 0), std::sqrt(7.8 * 7.8 - 52.02) - 7.8, 1e-12);
  EXPECT_NEAR(map(0, 0), -4.8302, 5e-5);
  // The cap is symmetric about the centre 127.5 in both directions.
  EXPECT_EQ(map(0, 0), map(255, 255));
  EXPECT_EQ(map(10, 200), map(200, 10));
}

TEST(PerfectSphere, OutsideTheOutlineHoldsApexLessRadius) {
  HeightMatrix map;
  perfect_sphere(3.0, 10.24, 256, 0.0, 0.0, 0.25, map);
  EXPECT_EQ(map(0, 0), 0.25 - 3.0);
  EXPECT_EQ(map(127, 20), 0.25 - 3.0);  // v = -4.3 mm
  EXPECT_NEAR(map(128, 128), 0.25 - 0.0008 / 6.0, 1e-8);
}

TEST(PerfectSphere, OffsetsShiftTheApexYBeforeX) {
  // Arguments: oy first, then ox. With ox = 0.02 and oy = -0.02 on a 0.04 mm
  // step the apex lies exactly on cell (128, 127).
  HeightMatrix map;
  perfect_sphere(7.8, 10.24, 256, -0.02, 0.02, 1.5, map);
  EXPECT_NEAR(map(128, 127), 1.5, 1e-15);
  EXPECT_EQ(map(127, 127), map(129, 127));
  EXPECT_NEAR(map(128, 126), map(128, 128), 1e-15);
  EXPECT_LT(map(127, 128), map(128, 127));
}

TEST(PerfectSphere, CountBeyondTheMapWritesOnlyItsCells) {
  HeightMatrix small(8, 8, 7.0);
  perfect_sphere(5.0, 1.0, 10, 0.0, 0.0, 0.0, small);  // centre at 4.5 of a 10-cell grid
  EXPECT_EQ(small(4, 4), small(5, 5));
  HeightMatrix map(kMapSide, kMapSide, 7.0);
  perfect_sphere(5.0, 1.0, 10, 0.0, 0.0, 0.0, map);
  EXPECT_EQ(map(4, 4), small(4, 4));
  EXPECT_EQ(map(10, 0), 7.0);  // past the count: untouched
  EXPECT_EQ(map(0, 10), 7.0);
  EXPECT_TRUE(perfect_sphere(5.0, 1.0, 0, 0.0, 0.0, 0.0, map));
  EXPECT_EQ(map(100, 100), 7.0);
}

TEST(MaskedDifference, SphereLessItsReferenceIsZeroInsideAndOutside) {
  // A "measured" sphere lifted by 5 microns, written independently of the
  // generator, against the reference sphere of the same radius.
  const double R = 8.0, field = 10.24, lift = 0.005;
  HeightMatrix measured;
  for (int x = 0; x < kMapSide; ++x)
    for (int y = 0; y < kMapSide; ++y) {
      const double u = (x - 127.5) * 0.04, v = (y - 127.5) * 0.04;
      measured(x, y) = std::sqrt(R * R - u * u - v * v) - R + lift;
    }
  HeightMatrix sphere;
  perfect_sphere(R, field, 256, 0.0, 0.0, 0.0, sphere);
  HeightMatrix out(kMapSide, kMapSide, 99.0);
  EXPECT_TRUE(masked_difference(field, field * 0.5, field * 0.5, 4.0, measured, sphere, out));
  int inside = 0;
  for (int x = 0; x < kMapSide; ++x)
    for (int y = 0; y < kMapSide; ++y) {
      const double d = std::hypot(x * 0.04 - 5.12, y * 0.04 - 5.12);
      if (d < 3.9 - 1e-9) {
        ++inside;
        ASSERT_NEAR(out(x, y), lift, 1e-12) << x << ", " << y;
      } else if (d > 3.9 + 1e-9) {
        ASSERT_EQ(out(x, y), 0.0) << x << ", " << y;
      }
    }
  EXPECT_GT(inside, 29000);  // pi * (3.9 / 0.04)^2 is about 29865 cells

  // In place, as the profile run calls it: the map becomes the difference.
  masked_difference(field, field * 0.5, field * 0.5, 4.0, measured, sphere, measured);
  EXPECT_TRUE(measured == out);
}

TEST(MaskedDifference, StrictCircleAndTinyMask) {
  // With a 256 mm field the cell positions are whole millimetres. Rm = 10.1
  // leaves a circle of 10 mm: cells at exactly 10 mm, (138, 128) and the 6-8-10
  // triangle (134, 136), are outside; (137, 128) at 9 mm is inside.
  HeightMatrix a(kMapSide, kMapSide, 3.0), b(kMapSide, kMapSide, 1.0), out;
  masked_difference(256.0, 128.0, 128.0, 10.1, a, b, out);
  EXPECT_EQ(out(138, 128), 0.0);
  EXPECT_EQ(out(134, 136), 0.0);
  EXPECT_EQ(out(128, 118), 0.0);
  EXPECT_EQ(out(137, 128), 2.0);
  EXPECT_EQ(out(128, 128), 2.0);

  // Rm = 4.1 on 10.24 mm: the cell 4.0 mm above the centre (128, 28) drops out.
  masked_difference(10.24, 5.12, 5.12, 4.1, a, b, out);
  EXPECT_EQ(out(128, 28), 0.0);
  EXPECT_EQ(out(128, 29), 2.0);

  for (double rm : {0.1, 0.05, 0.0, -1.0}) {
    masked_difference(10.24, 5.12, 5.12, rm, a, b, out);
    EXPECT_TRUE(out == HeightMatrix()) << "mask radius " << rm;
  }
}

TEST(SubtractMaps, DifferenceInPlaceAndClippedToTheMaps) {
  HeightMatrix a(kMapSide, kMapSide, 0.003), b(kMapSide, kMapSide, 0.001);
  a(255, 0) = 0.010;
  HeightMatrix out(kMapSide, kMapSide, 5.0);
  subtract_maps(a, b, out, 200, 256);
  EXPECT_DOUBLE_EQ(out(199, 255), 0.002);
  EXPECT_EQ(out(200, 0), 5.0);  // beyond nx: untouched

  subtract_maps(a, b, b, 256, 256);  // written into the second input
  EXPECT_DOUBLE_EQ(b(255, 0), 0.009);
  subtract_maps(a, b, a, 256, 256);  // and into the first
  EXPECT_DOUBLE_EQ(a(255, 0), 0.001);

  HeightMatrix small(4, 4, 1.0);
  HeightMatrix fresh(kMapSide, kMapSide, 5.0);
  subtract_maps(a, small, fresh, 256, 256);  // only the 4 x 4 cells all maps have
  EXPECT_DOUBLE_EQ(fresh(3, 3), a(3, 3) - 1.0);
  EXPECT_EQ(fresh(4, 0), 5.0);
  EXPECT_EQ(fresh(0, 4), 5.0);
}
