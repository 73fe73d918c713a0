#include "render/binomial_filter.h"

#include <gtest/gtest.h>

#include "pixel_art.h"

namespace {

const Grid kCentreSpike = {{0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}, {0, 0, 160, 0, 0}, {0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}};

}  // namespace

TEST(BinomialFilter, OnePassWritesResultsAtOnceSoTheSpikeSpreadsUnevenly) {
  Picture picture = eight_bit(kCentreSpike);
  binomial_filter(picture, 1);
  // A filter with a separate output would give 10 20 10 / 20 40 20 / 10 20 10.
  EXPECT_EQ(values_of(picture), (Grid{{0, 0, 0, 0, 0},  //
                                      {0, 10, 21, 12, 0},
                                      {0, 22, 46, 8, 0},
                                      {0, 5, 8, 4, 0},
                                      {0, 0, 0, 0, 0}}));

  // 24-bit pictures: each channel on its own.
  const Picture spike = eight_bit(kCentreSpike);
  Picture colour(5, 5);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 5; ++x) {
      colour.row(y)[3 * x] = 77;  // blue constant, red zero
      colour.row(y)[3 * x + 1] = spike.row(y)[x];
    }
  binomial_filter(colour, 1);
  EXPECT_EQ(values_of(colour, 1), values_of(picture)) << "green as in the 8-bit picture";
  EXPECT_EQ(values_of(colour, 0), Grid(5, std::vector<int>(5, 77)));
  EXPECT_EQ(values_of(colour, 2), Grid(5, std::vector<int>(5, 0)));
}

TEST(BinomialFilter, ConstantPicturesStayConstantAndNoPassesChangeNothing) {
  for (const int level : {0, 137, 255}) {
    Picture picture = eight_bit(Grid(7, std::vector<int>(9, level)));
    binomial_filter(picture, 5);
    EXPECT_EQ(values_of(picture), Grid(7, std::vector<int>(9, level))) << "grey level " << level;
  }
  for (const int passes : {0, -3}) {
    Picture picture = eight_bit(kCentreSpike);
    binomial_filter(picture, passes);
    EXPECT_EQ(values_of(picture), kCentreSpike) << passes << " passes";
  }
}

TEST(BinomialFilter, BorderRowsAndColumnsUseOneDimensionalWeightsAndCornersStay) {
  Picture picture = eight_bit({{9, 0, 64, 0, 3},  //
                               {0, 0, 0, 0, 80},
                               {5, 0, 0, 0, 0}});
  binomial_filter(picture, 1);
  const Grid result = values_of(picture);
  EXPECT_EQ(result[0], (std::vector<int>{9, (18 + 0 + 128) / 8, (36 + 256 + 0) / 8, (72 + 0 + 6) / 8, 3}));
  EXPECT_EQ(result[1][4], (2 * 3 + 4 * 80 + 2 * 0) / 8) << "right pixel of the middle row";
  EXPECT_EQ(result[2], (std::vector<int>{5, 10 / 8, 0, 0, 0})) << "bottom row, corners kept";

  // Pictures without interior pixels are left alone.
  for (const auto& tiny : {Grid{{200}}, Grid{{10, 250}}, Grid{{10}, {250}}, Grid{{1, 2}, {3, 4}}}) {
    Picture small = eight_bit(tiny);
    binomial_filter(small, 3);
    EXPECT_EQ(values_of(small), tiny) << small.width() << " x " << small.height();
  }
}
