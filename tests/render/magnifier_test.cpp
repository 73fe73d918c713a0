#include "render/magnifier.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

constexpr int kLupe = 164;  // magnifier pixels per side
constexpr double kLo = -0.005;
constexpr double kHi = 0.005;

// Colour of threshold value `level` as the component functions give it.
CanvasColour class_colour(int level) {
  const auto a = static_cast<uint8_t>(level);
  return CanvasColour{colour_blue(a)} << 16 | CanvasColour{colour_green(a)} << 8 | colour_red(a);
}

struct Magnifier {
  Picture image{kLupe, kLupe};
  HeightMatrix rows{kLupe, kLupe, 0.0};

  void render(const HeightMatrix& map, int x0, int x1, int y0, int y1, double lo, double hi) {
    render_magnifier(map, x0, x1, y0, y1, 25, image, colour_blue, colour_red, colour_green, lo, hi, rows);
  }
};

// The colour a map holding v everywhere gets through a 63 x 63 window.
CanvasColour colour_of_constant(double v, double lo = kLo, double hi = kHi) {
  Magnifier magnifier;
  magnifier.render(HeightMatrix(kMapSide, kMapSide, v), 97, 159, 33, 95, lo, hi);
  EXPECT_EQ(magnifier.image.pixel(0, 0), magnifier.image.pixel(163, 163)) << "one colour for a constant map";
  return magnifier.image.pixel(80, 80);
}

}  // namespace

TEST(Magnifier, TwentyFiveClassesOverTheRangeWithWhiteOutside) {
  EXPECT_EQ(colour_of_constant(0.0), 0x0097D2u) << "127.5 rounds to level 128: class 122, (210, 151, 0)";
  EXPECT_EQ(colour_of_constant(kLo), class_colour(0));
  EXPECT_EQ(colour_of_constant(kHi), kWhite) << "level 255";
  EXPECT_EQ(colour_of_constant(kLo + 0.01 * 245.0 / 255.0), class_colour(245)) << "level 245 is the last class";
  EXPECT_EQ(colour_of_constant(kLo + 0.01 * 246.0 / 255.0), kWhite) << "level 246 is the top slice";
  EXPECT_EQ(colour_of_constant(-0.0051), kWhite) << "below lo";
  EXPECT_EQ(colour_of_constant(0.0, kHi, kLo), kWhite) << "lo above hi";
  EXPECT_EQ(colour_of_constant(std::numeric_limits<double>::quiet_NaN()), kWhite);
}

TEST(Magnifier, EqualLimitsShowOnlyValuesOnTheLimitInClassZero) {
  HeightMatrix map(kMapSide, kMapSide, 0.002);
  for (int x = 128; x < kMapSide; ++x)
    for (int y = 0; y < kMapSide; ++y) map(x, y) = 0.003;
  Magnifier magnifier;
  magnifier.render(map, 118, 138, 118, 138, 0.002, 0.002);
  int on_limit = 0;
  for (int j = 0; j < kLupe; ++j)
    for (int i = 0; i < kLupe; ++i) {
      const bool equal = magnifier.rows(i, j) == 0.002;
      on_limit += equal;
      ASSERT_EQ(magnifier.image.pixel(i, j), equal ? class_colour(0) : kWhite) << "pixel " << i << ", " << j;
    }
  EXPECT_GT(on_limit, 0);
  EXPECT_LT(on_limit, kLupe * kLupe);
}

TEST(Magnifier, WindowsAsLargeAsTheGridKeepTheOldEnlargementInTheNewRange) {
  HeightMatrix map;
  for (int x = 0; x < kMapSide; ++x)
    for (int y = 0; y < kMapSide; ++y) map(x, y) = 0.0001 * (x - 128);
  Magnifier magnifier;
  magnifier.render(map, 97, 159, 33, 95, kLo, kHi);
  EXPECT_DOUBLE_EQ(magnifier.rows(0, 0), map(97, 33)) << "pixel (0, 0) shows the window's first cell";
  const HeightMatrix enlarged = magnifier.rows;

  const HeightMatrix other(kMapSide, kMapSide, 0.004);
  magnifier.render(other, 0, 255, 0, 255, 0.0, 0.01);
  EXPECT_EQ(magnifier.rows, enlarged);
  EXPECT_EQ(magnifier.image.pixel(0, 0), kWhite) << "-0.0031 mm lies below the new range";
  magnifier.render(other, 200, 300, 0, 10, -0.01, 0.01);
  EXPECT_EQ(magnifier.rows, enlarged) << "window leaving the map";
  magnifier.render(other, 0, 162, 0, 162, -0.01, 0.01);
  EXPECT_EQ(magnifier.rows(5, 5), 0.004) << "163 cells: enlarged";
}

TEST(Magnifier, MismatchedGridOrPictureIsMadeToFit) {
  Picture image(50, 40, PixelFormat::indexed8);
  HeightMatrix rows(3, 3, 7.0);
  render_magnifier(HeightMatrix(kMapSide, kMapSide, 0.0), 10, 20, 10, 20, 25, image, colour_blue, colour_red,
                   colour_green, kLo, kHi, rows);
  EXPECT_EQ(image.format(), PixelFormat::bgr24);
  EXPECT_EQ(rows.nx() * 100 + rows.ny(), 50 * 100 + 40);
  EXPECT_EQ(image.pixel(49, 39), class_colour(122));
}
