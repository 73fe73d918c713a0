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

}  // namespace

TEST(RandomGenerator, KnownDrawsAndRemainders) {
  seed_random(1);
  EXPECT_EQ(next_random(), 346);
  EXPECT_EQ(next_random(), 13854878);
  EXPECT_EQ(next_random(), 1621890440);
  // The seed fills the low 32 bits only; bit 63 of the state is masked off.
  seed_random(0xFFFFFFFFU);
  EXPECT_EQ(next_random(), 19674);
  EXPECT_EQ(next_random(), 386986254);

  seed_random(1);
  EXPECT_EQ(random_below(0), 0);    // no draw
  EXPECT_EQ(random_below(100), 46);  // 346 % 100
  EXPECT_EQ(random_below(1), 0);     // draws 13854878
  // A negative bound gives the remainder by its magnitude, never negative.
  EXPECT_EQ(random_below(-100), 40);  // 1621890440 % 100
  seed_random(1);
  EXPECT_EQ(random_below(kIntMin), 346);  // no overflow on -INT32_MIN
}

// A jump of n draws lands where n single draws do, from any state.
TEST(RandomGenerator, JumpsLandWhereSingleDrawsDo) {
  for (uint64_t start : {uint64_t{0}, uint64_t{1}, uint64_t{0xFFFFFFFFFFFFFFFFULL}, uint64_t{0x123456789ABCDEFULL}}) {
    random_state = start;
    uint64_t reached[3000];
    for (uint64_t& state : reached) {
      next_random();
      state = random_state;
    }
    for (uint64_t n : {uint64_t{1}, uint64_t{2}, uint64_t{3}, uint64_t{12}, uint64_t{1280}, uint64_t{2999}})
      EXPECT_EQ(jumped_state(start, random_jump(n + 1)), reached[n]) << n;
    EXPECT_EQ(jumped_state(start, random_jump(0)), start);
    EXPECT_EQ(draw_of_state(reached[0]), static_cast<int32_t>((reached[0] >> 32) & 0x7FFFFFFF));
  }
}

TEST(ShapedRandom, RoundsHalvesToEvenAndSkipsEmptyRanges) {
  seed_random(1);
  EXPECT_EQ(shaped_random(5, 5, square_shape), 0);
  EXPECT_EQ(shaped_random(64, -64, square_shape), 0);
  // Draws 346 and 13854878 modulo 8 are 2 and 6: 8 * u^2 = 0.5 and 4.5.
  EXPECT_EQ(shaped_random(0, 8, square_shape), 0);
  EXPECT_EQ(shaped_random(0, 8, square_shape), 4);
  // The default noise range: 1621890440 % 128 = 8, -64 + 128 * (8/128)^2 = -63.5.
  EXPECT_EQ(shaped_random(-64, 64, square_shape), -64);

  // The full int range: hi - lo does not fit an int.
  seed_random(1);
  EXPECT_EQ(shaped_random(-kIntMax, kIntMax, square_shape), -kIntMax);
  EXPECT_EQ(shaped_random(-kIntMax, kIntMax, square_shape), -2147438953);
  EXPECT_EQ(shaped_random(0, 10, [](double) { return 1e300; }), kIntMax);
  EXPECT_EQ(shaped_random(-3, 10, [](double) { return std::nan(""); }), -3);
}

TEST(ShapedRandom, TableGivesTheSameValuesAndDraws) {
  const std::pair<int32_t, int32_t> ranges[] = {
      {-64, 64}, {-3, 4}, {-40000, 40000}, {-kIntMax, kIntMax}, {7, 7}, {9, -9}};
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
  EXPECT_EQ(dark_level_shift(0.0, 32), 95.0);
  EXPECT_EQ(dark_level_shift(0.5, 32), 31.5);
  EXPECT_EQ(dark_level_shift(0.5, 63), 0.5);
  EXPECT_EQ(dark_level_shift(0.5, 64), 0.0);   // floor above 63.5
  EXPECT_EQ(dark_level_shift(0.75, 32), 0.0);  // b = 31.75
}
