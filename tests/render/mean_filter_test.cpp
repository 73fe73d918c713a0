#include "render/mean_filter.h"

#include <gtest/gtest.h>

#include <vector>

#include "render/binomial_filter.h"

namespace {

using Grid = std::vector<std::vector<int>>;

Picture eight_bit(const Grid& values) {
  Picture picture(static_cast<int>(values[0].size()), static_cast<int>(values.size()), PixelFormat::indexed8);
  for (int y = 0; y < picture.height(); ++y)
    for (int x = 0; x < picture.width(); ++x)
      picture.row(y)[x] = static_cast<uint8_t>(values[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)]);
  return picture;
}

Grid values_of(const Picture& picture) {
  Grid grid;
  for (int y = 0; y < picture.height(); ++y)
    grid.emplace_back(picture.row(y), picture.row(y) + picture.width());
  return grid;
}

}  // namespace

TEST(MeanFilter, ABrightInteriorPixelSpreadsOverItsNeighbourhoodInTheFirstPass) {
  Picture picture = eight_bit({{0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}, {0, 0, 90, 0, 0}, {0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}});
  mean_filter(picture, 1);
  // Sums / 9 with the row above and the pixel to the left already smoothed.
  EXPECT_EQ(values_of(picture), (Grid{{0, 0, 0, 0, 0},  //
                                      {0, 10, 11, 11, 0},
                                      {0, 12, 14, 4, 0},
                                      {0, 2, 3, 2, 0},
                                      {0, 0, 0, 0, 0}}));
}

TEST(MeanFilter, UniformGreyStaysUniform) {
  for (const int level : {0, 128, 255}) {
    Picture picture = eight_bit(Grid(6, std::vector<int>(8, level)));
    mean_filter(picture, 3);
    EXPECT_EQ(values_of(picture), Grid(6, std::vector<int>(8, level))) << "grey level " << level;
  }
  Picture picture = eight_bit({{1, 2, 3}, {4, 250, 6}, {7, 8, 9}});
  mean_filter(picture, 0);
  EXPECT_EQ(values_of(picture)[1][1], 250) << "no passes";
}

TEST(MeanFilter, BorderRowsAreSmoothedNTimesInEachOfTheNPasses) {
  // The top row depends on itself only: [0 0 64 0 0] -> [0 16 36 9 0] -> [0 17 24 10 0]
  // -> [0 14 18 9 0] -> [0 11 14 8 0].
  const Grid start = {{0, 0, 64, 0, 0}, {0, 0, 0, 0, 0}, {0, 0, 64, 0, 0}};
  Picture once = eight_bit(start);
  mean_filter(once, 1);
  EXPECT_EQ(values_of(once)[0], (std::vector<int>{0, 16, 36, 9, 0}));

  Picture twice = eight_bit(start);
  mean_filter(twice, 2);
  EXPECT_EQ(values_of(twice)[0], (std::vector<int>{0, 11, 14, 8, 0})) << "2 passes: 4 border smoothings";

  Picture binomial = eight_bit(start);
  binomial_filter(binomial, 2);
  EXPECT_EQ(values_of(binomial)[0], (std::vector<int>{0, 17, 24, 10, 0})) << "the twin filter: once per pass";
}
