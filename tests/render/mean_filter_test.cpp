#include "render/mean_filter.h"

#include <gtest/gtest.h>

#include "pixel_art.h"
#include "render/binomial_filter.h"

TEST(MeanFilter, ABrightInteriorPixelSpreadsOverItsNeighbourhoodInTheFirstPass) {
  Picture picture = eight_bit({{0, 0, 0, 0, 0},  //
                               {0, 0, 0, 0, 0},
                               {0, 0, 90, 0, 0},
                               {0, 0, 0, 0, 0},
                               {0, 0, 0, 0, 0}});
  mean_filter(picture, 1);
  // Sums / 9 with the row above and the pixel to the left already smoothed.
  EXPECT_EQ(values_of(picture), (Grid{{0, 0, 0, 0, 0},  //
                                      {0, 10, 11, 11, 0},
                                      {0, 12, 14, 4, 0},
                                      {0, 2, 3, 2, 0},
                                      {0, 0, 0, 0, 0}}));

  Picture uniform = eight_bit(Grid(6, std::vector<int>(8, 128)));
  mean_filter(uniform, 3);
  EXPECT_EQ(values_of(uniform), Grid(6, std::vector<int>(8, 128)));
}

TEST(MeanFilter, BorderRowsAreSmoothedNTimesInEachOfTheNPasses) {
  // The top row depends on itself only: [0 0 64 0 0] -> [0 16 36 9 0] -> [0 17 24 10 0]
  // -> [0 14 18 9 0] -> [0 11 14 8 0].
  const Grid start = {{0, 0, 64, 0, 0}, {0, 0, 0, 0, 0}, {0, 0, 64, 0, 0}};
  Picture twice = eight_bit(start);
  mean_filter(twice, 2);
  EXPECT_EQ(values_of(twice)[0], (std::vector<int>{0, 11, 14, 8, 0})) << "2 passes: 4 border smoothings";

  Picture binomial = eight_bit(start);
  binomial_filter(binomial, 2);
  EXPECT_EQ(values_of(binomial)[0], (std::vector<int>{0, 17, 24, 10, 0})) << "the twin filter: once per pass";
}
