#include "simulation/random_generator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "simulation/dark_level_shift.h"
#include "simulation/shaped_random.h"

namespace {

constexpr int32_t kIntMin = std::numeric_limits<int32_t>::min();
constexpr int32_t kIntMax = std::numeric_limits<int32_t>::max();

double huge_shape(double) { return 1e300; }
double nan_shape(double) { return std::nan(""); }

}  // namespace

TEST(RandomGenerator, SeedOneGivesTheKnownSequence) {
  seed_random(1);
  EXPECT_EQ(next_random(), 346);
  EXPECT_EQ(next_random(), 13854878);
  EXPECT_EQ(next_random(), 1621890440);
  for (int k = 4; k < 1000; ++k) next_random();
  EXPECT_EQ(next_random(), 1255419701);  // the 1000th draw

  // The seed fills the low 32 bits only; bit 63 of the state is masked off.
  seed_random(0xFFFFFFFFU);
  EXPECT_EQ(next_random(), 19674);
  EXPECT_EQ(next_random(), 386986254);
  EXPECT_EQ(next_random(), 633379648);
}

TEST(RandomGenerator, RandomBelowTakesOneDrawModuloN) {
  seed_random(1);
  EXPECT_EQ(random_below(0), 0);  // no draw
  EXPECT_EQ(random_below(100), 46);
  EXPECT_EQ(random_below(1), 0);  // draws 13854878
  // A negative bound gives the remainder modulo its magnitude, never negative.
  EXPECT_EQ(random_below(-100), 40);         // 1621890440 % 100
  seed_random(1);
  EXPECT_EQ(random_below(kIntMin), 346);     // no overflow on -INT32_MIN
  EXPECT_EQ(random_below(-7), 13854878 % 7);
}

TEST(ShapedRandom, EmptyRangeReturnsZeroWithoutDrawing) {
  seed_random(1);
  EXPECT_EQ(shaped_random(5, 5, square_shape), 0);
  EXPECT_EQ(shaped_random(64, -64, square_shape), 0);
  EXPECT_EQ(shaped_random(kIntMax, kIntMin, square_shape), 0);
  EXPECT_EQ(next_random(), 346);
}

TEST(ShapedRandom, SquareShapeRoundsHalvesToEven) {
  // Draws 346 and 13854878 modulo 8 are 2 and 6: 64 * u^2 = 0.5 and 4.5.
  seed_random(1);
  EXPECT_EQ(shaped_random(0, 8, square_shape), 0);
  EXPECT_EQ(shaped_random(0, 8, square_shape), 4);
  seed_random(1);
  EXPECT_EQ(shaped_random(-8, 0, square_shape), -8);  // -7.5
  EXPECT_EQ(shaped_random(-8, 0, square_shape), -4);  // -3.5
  // The default noise range: 346 % 128 = 90, -64 + 128 * (90/128)^2 = -0.71875.
  seed_random(1);
  EXPECT_EQ(shaped_random(-64, 64, square_shape), -1);
}

TEST(ShapedRandom, FullIntRangeDoesNotOverflow) {
  seed_random(1);
  EXPECT_EQ(shaped_random(-kIntMax, kIntMax, square_shape), -kIntMax);
  EXPECT_EQ(shaped_random(-kIntMax, kIntMax, square_shape), -2147438953);
  EXPECT_EQ(shaped_random(-kIntMax, kIntMax, square_shape), -1535015980);
  EXPECT_EQ(shaped_random(0, 10, huge_shape), kIntMax);
  EXPECT_EQ(shaped_random(-3, 10, nan_shape), -3);
}

TEST(ShapedRandom, TableGivesTheSameValuesAndDraws) {
  const std::pair<int32_t, int32_t> ranges[] = {
      {-64, 64}, {0, 8}, {-3, 4}, {-40000, 40000}, {-kIntMax, kIntMax}, {7, 7}, {9, -9}};
  for (auto [lo, hi] : ranges) {
    const ShapedRandomTable table(lo, hi, square_shape);
    seed_random(99);
    std::vector<int32_t> direct;
    for (int k = 0; k < 2000; ++k) direct.push_back(shaped_random(lo, hi, square_shape));
    const int32_t next_direct = next_random();
    seed_random(99);
    for (int k = 0; k < 2000; ++k) ASSERT_EQ(table(), direct[k]) << lo << ".." << hi << " draw " << k;
    EXPECT_EQ(next_random(), next_direct) << lo << ".." << hi;
  }
}

TEST(DarkLevelShift, LowersOnlyContrastsBelowTheFloor) {
  EXPECT_DOUBLE_EQ(dark_level_shift(0.0, 32), 95.0);
  EXPECT_DOUBLE_EQ(dark_level_shift(0.5, 32), 31.5);
  EXPECT_DOUBLE_EQ(dark_level_shift(0.5, 63), 0.5);
  EXPECT_EQ(dark_level_shift(0.5, 64), 0.0);
  EXPECT_EQ(dark_level_shift(0.75, 32), 0.0);  // b = 31.75
  EXPECT_EQ(dark_level_shift(1.0, 32), 0.0);
}
