#include "render/colour_map.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "render/colour_classes.h"

namespace {

struct Rgb {
  int red;
  int green;
  int blue;
};

// Class colours (red, green, blue), class 0 first.
const std::vector<Rgb> kTwentyClasses = {
    {0, 0, 255},    {39, 0, 216},   {78, 0, 177},   {114, 0, 141},  {153, 0, 102},
    {192, 0, 63},   {228, 0, 27},   {251, 79, 0},   {235, 107, 0},  {219, 135, 0},
    {203, 164, 0},  {188, 190, 0},  {172, 218, 0},  {156, 246, 0},  {30, 222, 24},
    {30, 208, 63},  {30, 194, 102}, {30, 180, 141}, {30, 165, 180}, {30, 152, 216}};
const std::vector<Rgb> kTwentyFiveClasses = {
    {0, 0, 255},    {30, 0, 225},   {60, 0, 195},   {93, 0, 162},   {123, 0, 132},
    {153, 0, 102},  {183, 0, 72},   {213, 0, 42},   {246, 0, 9},    {247, 85, 0},
    {235, 107, 0},  {223, 129, 0},  {210, 151, 0},  {197, 174, 0},  {184, 196, 0},
    {172, 218, 0},  {160, 240, 0},  {30, 227, 9},   {30, 216, 42},  {30, 205, 72},
    {30, 194, 102}, {30, 183, 132}, {30, 172, 162}, {30, 160, 195}, {30, 149, 225}};
constexpr Rgb kWhitePixel = {255, 255, 255};

Rgb rgb_at(const Picture& picture, int x, int y) {
  const uint8_t* p = picture.row(y) + 3 * x;
  return {p[2], p[1], p[0]};
}

::testing::AssertionResult same_colour(const Rgb& actual, const Rgb& expected) {
  if (actual.red == expected.red && actual.green == expected.green && actual.blue == expected.blue)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "(" << actual.red << ", " << actual.green << ", " << actual.blue
                                       << ") instead of (" << expected.red << ", " << expected.green << ", "
                                       << expected.blue << ")";
}

// Renders one cell of value v with the range lo..hi and returns its colour.
Rgb render_one(double v, double lo, double hi, int n = 20) {
  HeightMatrix map;
  map(0, 0) = v;
  Picture picture;
  render_map(map, 0, 0, 0, 0, n, picture, colour_blue, colour_red, colour_green, lo, hi);
  return rgb_at(picture, 0, 0);
}

}  // namespace

TEST(ColourClasses, LevelThresholdsRoundHalvesToEven) {
  EXPECT_EQ(level_thresholds(20), (std::vector<int>{0, 13, 26, 38, 51, 64, 76, 89, 102, 115, 128, 140, 153, 166,
                                                    178, 191, 204, 217, 230, 242}));
  EXPECT_EQ(level_thresholds(25), (std::vector<int>{0, 10, 20, 31, 41, 51, 61, 71, 82, 92, 102, 112, 122,
                                                    133, 143, 153, 163, 173, 184, 194, 204, 214, 224, 235, 245}));
  EXPECT_EQ(level_thresholds(1), (std::vector<int>{0}));
  EXPECT_TRUE(level_thresholds(0).empty());
  EXPECT_TRUE(level_thresholds(kMaxColourClasses + 1).empty());
}

TEST(ColourClasses, ClassLevelsRoundHalvesToEvenAndRefuseValuesOutsideTheRange) {
  // Over 0..255 the level is the value itself before rounding.
  EXPECT_EQ(class_level(0.5, 0.0, 255.0), 0);
  EXPECT_EQ(class_level(1.5, 0.0, 255.0), 2);
  EXPECT_EQ(class_level(2.5, 0.0, 255.0), 2);
  EXPECT_EQ(class_level(0.0, -0.005, 0.005), 128) << "127.5";
  EXPECT_EQ(class_level(3.0, 3.0, 3.0), 1) << "a range of zero width";
  EXPECT_EQ(class_level(255.01, 0.0, 255.0), -1);
  EXPECT_EQ(class_level(std::numeric_limits<double>::quiet_NaN(), 0.0, 255.0), -1);
}

TEST(ColourComponents, SegmentEndsOfTheScale) {
  // level, blue, red, green
  const int cases[][4] = {{0, 255, 0, 0},    {85, 0, 255, 0},    {86, 0, 255, 72},
                          {170, 0, 151, 255}, {171, 3, 30, 230}, {255, 255, 30, 138}};
  for (const auto& c : cases) {
    const auto a = static_cast<uint8_t>(c[0]);
    EXPECT_EQ(colour_blue(a), c[1]) << "blue of level " << c[0];
    EXPECT_EQ(colour_red(a), c[2]) << "red of level " << c[0];
    EXPECT_EQ(colour_green(a), c[3]) << "green of level " << c[0];
  }
}

TEST(ColourMap, TwentyClassesComeOutInTheirListedColours) {
  const std::vector<int> thresholds = level_thresholds(20);
  HeightMatrix map;
  for (int k = 0; k < 20; ++k) map(k, 0) = thresholds[static_cast<std::size_t>(k)];
  Picture picture;
  render_map(map, 0, 19, 0, 0, 20, picture, colour_blue, colour_red, colour_green, 0.0, 255.0);
  ASSERT_EQ(picture.width(), 20);
  ASSERT_EQ(picture.height(), 1);
  for (int k = 0; k < 20; ++k)
    EXPECT_TRUE(same_colour(rgb_at(picture, k, 0), kTwentyClasses[static_cast<std::size_t>(k)])) << "class " << k;
}

TEST(ColourMap, TwentyFiveClassesComeOutInTheirListedColours) {
  const std::vector<int> thresholds = level_thresholds(25);
  HeightMatrix map;
  for (int k = 0; k < 25; ++k) map(k, 3) = thresholds[static_cast<std::size_t>(k)] + 0.4;  // inside the class
  Picture picture;
  render_map(map, 0, 24, 0, 3, 25, picture, colour_blue, colour_red, colour_green, 0.0, 255.0);
  for (int k = 0; k < 25; ++k)
    EXPECT_TRUE(same_colour(rgb_at(picture, k, 3), kTwentyFiveClasses[static_cast<std::size_t>(k)])) << "class " << k;
  EXPECT_TRUE(same_colour(render_one(245.0, 0.0, 255.0, 25), kTwentyFiveClasses.back())) << "level 245";
  EXPECT_TRUE(same_colour(render_one(246.0, 0.0, 255.0, 25), kWhitePixel)) << "level 246: the top slice";
}

TEST(ColourMap, RangeEdgesAndTheTopSlice) {
  EXPECT_TRUE(same_colour(render_one(-0.005, -0.005, 0.005), kTwentyClasses[0])) << "min is class 0";
  EXPECT_TRUE(same_colour(render_one(0.005, -0.005, 0.005), kWhitePixel)) << "max is level 255";
  EXPECT_TRUE(same_colour(render_one(0.0045, -0.005, 0.005), kTwentyClasses.back())) << "level 242";
  EXPECT_TRUE(same_colour(render_one(0.0046, -0.005, 0.005), kWhitePixel)) << "level 245";
  EXPECT_TRUE(same_colour(render_one(std::nextafter(-0.005, -1.0), -0.005, 0.005), kWhitePixel)) << "below min";
  EXPECT_TRUE(same_colour(render_one(std::nextafter(0.003, 1.0), -0.005, 0.003), kWhitePixel)) << "above max";

  EXPECT_TRUE(same_colour(render_one(0.002, 0.002, 0.002), kTwentyClasses[0])) << "min = max, cell on it";
  EXPECT_TRUE(same_colour(render_one(0.0021, 0.002, 0.002), kWhitePixel)) << "min = max, cell off it";
  EXPECT_TRUE(same_colour(render_one(0.0, 0.001, -0.001), kWhitePixel)) << "min above max";
  EXPECT_TRUE(same_colour(render_one(0.0, -0.001, 0.001, 0), kWhitePixel)) << "no classes";
}

TEST(ColourMap, NotANumberAndInfiniteHeightsRenderWhite) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_TRUE(same_colour(render_one(nan, -0.005, 0.005), kWhitePixel));
  EXPECT_TRUE(same_colour(render_one(inf, -0.005, 0.005), kWhitePixel));
  EXPECT_TRUE(same_colour(render_one(-inf, -0.005, 0.005), kWhitePixel));
  EXPECT_TRUE(same_colour(render_one(0.0, -inf, inf), kWhitePixel));
  EXPECT_TRUE(same_colour(render_one(0.0, nan, nan), kWhitePixel));
  EXPECT_TRUE(same_colour(render_one(0.5e300, -1e300, 1e300), kTwentyClasses[15])) << "a huge but finite range";
  EXPECT_TRUE(same_colour(render_one(1e300, -1e308, 1e308), kWhitePixel)) << "(v - min) * 255 overflows";
}

TEST(ColourMap, WindowSetsThePictureSizeAndReadsTheTopLeftCells) {
  HeightMatrix map(3, 2, 0.004);
  map(0, 0) = -0.005;
  Picture picture(3, 3, PixelFormat::indexed8);
  render_map(map, 10, 14, 20, 22, 20, picture, colour_blue, colour_red, colour_green, -0.005, 0.005);
  EXPECT_EQ(picture.format(), PixelFormat::bgr24);
  EXPECT_EQ(picture.width(), 5);
  EXPECT_EQ(picture.height(), 3);
  EXPECT_TRUE(same_colour(rgb_at(picture, 0, 0), kTwentyClasses[0])) << "cell (0, 0), not (10, 20)";
  EXPECT_TRUE(same_colour(rgb_at(picture, 2, 1), kTwentyClasses[18])) << "0.004 mm: level 230";
  EXPECT_TRUE(same_colour(rgb_at(picture, 3, 1), kWhitePixel)) << "past the map's right edge";
  EXPECT_TRUE(same_colour(rgb_at(picture, 0, 2), kWhitePixel)) << "past the map's bottom edge";

  // A window without cells or too large for a picture leaves the picture.
  render_map(map, 5, 4, 0, 2, 20, picture, colour_blue, colour_red, colour_green, -0.005, 0.005);
  render_map(map, 0, 2147483647, 0, 2, 20, picture, colour_blue, colour_red, colour_green, -0.005, 0.005);
  EXPECT_EQ(picture.width(), 5);
}
