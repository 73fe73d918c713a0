#include "render/binomial_filter.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Grid = std::vector<std::vector<int>>;

Picture eight_bit(const Grid& values) {
  Picture picture(static_cast<int>(values[0].size()), static_cast<int>(values.size()), PixelFormat::indexed8);
  for (int y = 0; y < picture.height(); ++y)
    for (int x = 0; x < picture.width(); ++x)
      picture.row(y)[x] = static_cast<uint8_t>(values[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)]);
  return picture;
}

// Byte `channel` of every pixel, rows from the top.
Grid values_of(const Picture& picture, int channel = 0) {
  Grid grid;
  for (int y = 0; y < picture.height(); ++y) {
    std::vector<int> row;
    for (int x = 0; x < picture.width(); ++x) row.push_back(picture.row(y)[x * picture.bytes_per_pixel() + channel]);
    grid.push_back(row);
  }
  return grid;
}

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
}

TEST(BinomialFilter, TwentyFourBitPicturesAreSmoothedChannelByChannel) {
  Picture picture(5, 5);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 5; ++x) {
      picture.row(y)[3 * x] = 77;  // blue constant, red zero
      picture.row(y)[3 * x + 1] = static_cast<uint8_t>(kCentreSpike[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)]);
    }
  binomial_filter(picture, 1);
  EXPECT_EQ(values_of(picture, 1)[2], (std::vector<int>{0, 22, 46, 8, 0})) << "green as in an 8-bit picture";
  EXPECT_EQ(values_of(picture, 0), Grid(5, std::vector<int>(5, 77)));
  EXPECT_EQ(values_of(picture, 2), Grid(5, std::vector<int>(5, 0)));
}

TEST(BinomialFilter, ConstantPicturesStayConstantAndNoPassesChangeNothing) {
  for (const int level : {0, 1, 137, 255}) {
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
  // Top row [0 0 64 0 0] smoothed horizontally once; left and right columns vertically.
  Picture picture = eight_bit({{9, 0, 64, 0, 3},  //
                               {0, 0, 0, 0, 80},
                               {5, 0, 0, 0, 0}});
  binomial_filter(picture, 1);
  const Grid result = values_of(picture);
  EXPECT_EQ(result[0], (std::vector<int>{9, (18 + 0 + 128) / 8, (36 + 256 + 0) / 8, (72 + 0 + 6) / 8, 3}));
  EXPECT_EQ(result[1][4], (2 * 3 + 4 * 80 + 2 * 0) / 8) << "right pixel of the middle row";
  EXPECT_EQ(result[2][0], 5) << "corner";
  EXPECT_EQ(result[2][4], 0) << "corner";

  // Pictures too small for an interior or for a border pass are left alone or smoothed safely.
  for (const auto& tiny : {Grid{{200}}, Grid{{10, 250}}, Grid{{10}, {250}}, Grid{{1, 2}, {3, 4}}}) {
    Picture small = eight_bit(tiny);
    binomial_filter(small, 3);
    EXPECT_EQ(values_of(small), tiny) << small.width() << " x " << small.height();
  }
  Picture empty;
  binomial_filter(empty, 2);
  EXPECT_EQ(empty.width(), 0);
}
