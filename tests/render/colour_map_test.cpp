#include "render/colour_map.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "every_target.h"
#include "render/colour_classes.h"

namespace {

// Canvas colour 0x00BBGGRR from red, green, blue: the lists below are (red, green, blue).
constexpr CanvasColour rgb(int red, int green, int blue) {
  return static_cast<CanvasColour>(blue << 16 | green << 8 | red);
}

const std::vector<CanvasColour> kTwentyClasses = {
    rgb(0, 0, 255),    rgb(39, 0, 216),   rgb(78, 0, 177),   rgb(114, 0, 141),  rgb(153, 0, 102),
    rgb(192, 0, 63),   rgb(228, 0, 27),   rgb(251, 79, 0),   rgb(235, 107, 0),  rgb(219, 135, 0),
    rgb(203, 164, 0),  rgb(188, 190, 0),  rgb(172, 218, 0),  rgb(156, 246, 0),  rgb(30, 222, 24),
    rgb(30, 208, 63),  rgb(30, 194, 102), rgb(30, 180, 141), rgb(30, 165, 180), rgb(30, 152, 216)};
const std::vector<CanvasColour> kTwentyFiveClasses = {
    rgb(0, 0, 255),    rgb(30, 0, 225),   rgb(60, 0, 195),   rgb(93, 0, 162),   rgb(123, 0, 132),
    rgb(153, 0, 102),  rgb(183, 0, 72),   rgb(213, 0, 42),   rgb(246, 0, 9),    rgb(247, 85, 0),
    rgb(235, 107, 0),  rgb(223, 129, 0),  rgb(210, 151, 0),  rgb(197, 174, 0),  rgb(184, 196, 0),
    rgb(172, 218, 0),  rgb(160, 240, 0),  rgb(30, 227, 9),   rgb(30, 216, 42),  rgb(30, 205, 72),
    rgb(30, 194, 102), rgb(30, 183, 132), rgb(30, 172, 162), rgb(30, 160, 195), rgb(30, 149, 225)};

// The colour of one cell of value v rendered over lo..hi.
CanvasColour render_one(double v, double lo, double hi, int n = 20) {
  HeightMatrix map;
  map(0, 0) = v;
  Picture picture;
  render_map(map, 0, 0, 0, 0, n, picture, colour_blue, colour_red, colour_green, lo, hi);
  return picture.pixel(0, 0);
}

// Renders one cell per class, each on its class threshold plus `inside`, and checks the colours.
void expect_class_colours(int n, const std::vector<CanvasColour>& expected, double inside) {
  const std::vector<int> thresholds = level_thresholds(n);
  HeightMatrix map;
  for (int k = 0; k < n; ++k) map(k, 3) = thresholds[static_cast<std::size_t>(k)] + inside;
  Picture picture;
  render_map(map, 0, n - 1, 0, 3, n, picture, colour_blue, colour_red, colour_green, 0.0, 255.0);
  for (int k = 0; k < n; ++k)
    EXPECT_EQ(picture.pixel(k, 3), expected[static_cast<std::size_t>(k)]) << n << " classes, class " << k;
}

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

}  // namespace

TEST(ColourClasses, ThresholdsAndLevelsRoundHalvesToEven) {
  EXPECT_EQ(level_thresholds(20), (std::vector<int>{0, 13, 26, 38, 51, 64, 76, 89, 102, 115, 128, 140, 153, 166,
                                                    178, 191, 204, 217, 230, 242}));
  EXPECT_EQ(level_thresholds(25), (std::vector<int>{0, 10, 20, 31, 41, 51, 61, 71, 82, 92, 102, 112, 122,
                                                    133, 143, 153, 163, 173, 184, 194, 204, 214, 224, 235, 245}));
  EXPECT_TRUE(level_thresholds(0).empty());
  EXPECT_TRUE(level_thresholds(kMaxColourClasses + 1).empty());
  EXPECT_EQ(class_level(0.5, 0.0, 255.0), 0);
  EXPECT_EQ(class_level(1.5, 0.0, 255.0), 2);
  EXPECT_EQ(class_level(2.5, 0.0, 255.0), 2);
  EXPECT_EQ(class_level(3.0, 3.0, 3.0), 1) << "a range of zero width";
}

TEST(ColourComponents, SegmentEndsOfTheScale) {
  // level, blue, red, green
  const int cases[][4] = {{0, 255, 0, 0},     {85, 0, 255, 0},   {86, 0, 255, 72},
                          {170, 0, 151, 255}, {171, 3, 30, 230}, {255, 255, 30, 138}};
  for (const auto& c : cases) {
    const auto a = static_cast<uint8_t>(c[0]);
    EXPECT_EQ(colour_blue(a), c[1]) << "blue of level " << c[0];
    EXPECT_EQ(colour_red(a), c[2]) << "red of level " << c[0];
    EXPECT_EQ(colour_green(a), c[3]) << "green of level " << c[0];
  }
}

TEST(ColourMap, EveryClassComesOutInItsListedColour) {
  expect_class_colours(20, kTwentyClasses, 0.0);
  expect_class_colours(25, kTwentyFiveClasses, 0.4);
  EXPECT_EQ(render_one(245.0, 0.0, 255.0, 25), kTwentyFiveClasses.back()) << "level 245";
  EXPECT_EQ(render_one(246.0, 0.0, 255.0, 25), kWhite) << "level 246: the top slice";
}

TEST(ColourMap, RangeEdgesAndTheTopSlice) {
  EXPECT_EQ(render_one(-0.005, -0.005, 0.005), kTwentyClasses[0]) << "min is class 0";
  EXPECT_EQ(render_one(0.005, -0.005, 0.005), kWhite) << "max is level 255";
  EXPECT_EQ(render_one(0.0045, -0.005, 0.005), kTwentyClasses.back()) << "level 242";
  EXPECT_EQ(render_one(0.0046, -0.005, 0.005), kWhite) << "level 245";
  EXPECT_EQ(render_one(std::nextafter(-0.005, -1.0), -0.005, 0.005), kWhite) << "just below min";
  EXPECT_EQ(render_one(0.002, 0.002, 0.002), kTwentyClasses[0]) << "min = max, cell on it";
  EXPECT_EQ(render_one(0.0021, 0.002, 0.002), kWhite) << "min = max, cell off it";
  EXPECT_EQ(render_one(0.0, 0.001, -0.001), kWhite) << "min above max";
  EXPECT_EQ(render_one(0.0, -0.001, 0.001, 0), kWhite) << "no classes";
}

TEST(ColourMap, NotANumberAndInfiniteValuesRenderWhite) {
  EXPECT_EQ(render_one(kNaN, -0.005, 0.005), kWhite);
  EXPECT_EQ(render_one(kInf, -0.005, 0.005), kWhite);
  EXPECT_EQ(render_one(-kInf, -kInf, 0.005), kWhite);
  EXPECT_EQ(render_one(0.0, kNaN, kNaN), kWhite);
  EXPECT_EQ(render_one(0.5e300, -1e300, 1e300), kTwentyClasses[15]) << "a huge but finite range";
  EXPECT_EQ(render_one(1e300, -1e308, 1e308), kWhite) << "(v - min) * 255 overflows";
}

TEST(ColourMap, WindowSetsThePictureSizeAndReadsTheTopLeftCells) {
  HeightMatrix map(3, 2, 0.004);
  map(0, 0) = -0.005;
  Picture picture(3, 3, PixelFormat::indexed8);
  render_map(map, 10, 14, 20, 22, 20, picture, colour_blue, colour_red, colour_green, -0.005, 0.005);
  EXPECT_EQ(picture.format(), PixelFormat::bgr24);
  EXPECT_EQ(picture.width(), 5);
  EXPECT_EQ(picture.height(), 3);
  EXPECT_EQ(picture.pixel(0, 0), kTwentyClasses[0]) << "cell (0, 0), not (10, 20)";
  EXPECT_EQ(picture.pixel(2, 1), kTwentyClasses[18]) << "0.004 mm: level 230";
  EXPECT_EQ(picture.pixel(3, 1), kWhite) << "past the map's right edge";
  EXPECT_EQ(picture.pixel(0, 2), kWhite) << "past the map's bottom edge";

  // A window without cells or too large for a picture leaves the picture.
  render_map(map, 5, 4, 0, 2, 20, picture, colour_blue, colour_red, colour_green, -0.005, 0.005);
  render_map(map, 0, 2147483647, 0, 2, 20, picture, colour_blue, colour_red, colour_green, -0.005, 0.005);
  EXPECT_EQ(picture.width(), 5);
}

// The levels of a whole column, worked out in vectors, are those of
// class_level value by value at every target: limits, halves, values beside the limits, not-a-number, infinities, a
// range of zero width and one too wide to give levels, and lengths short of
// the buffer, which stays as it was beyond them.
TEST(ColourClasses, ColumnLevelsAreClassLevelAtEveryTarget) {
  std::vector<double> values;
  for (int k = -300; k <= 600; ++k) values.push_back(k * 0.5 - 10.0);  // every half level of 0..255
  for (double v : {0.0, -0.0, 255.0, std::nextafter(0.0, -1.0), std::nextafter(255.0, 256.0), kNaN, kInf, -kInf,
                   1e-300, -1e300, 127.49999999999999, 127.5})
    values.push_back(v);
  const double limits[][2] = {{0.0, 255.0}, {-0.005, 0.005}, {3.0, 3.0}, {-1e308, 1e308},
                              {-kInf, kInf}, {kNaN, 1.0},    {1.0, -1.0}, {-7.25, 300.5}};
  for_every_target([&] {
    for (const auto& [lo, hi] : limits)
      for (int n : {static_cast<int>(values.size()), 3, 0}) {
        std::vector<int16_t> levels(values.size(), 999);
        class_levels(values.data(), n, lo, hi, levels.data());
        for (int i = 0; i < n; ++i)
          ASSERT_EQ(levels[static_cast<std::size_t>(i)], class_level(values[static_cast<std::size_t>(i)], lo, hi))
              << values[static_cast<std::size_t>(i)] << " in " << lo << " .. " << hi;
        if (n < static_cast<int>(levels.size())) {
          EXPECT_EQ(levels[static_cast<std::size_t>(n)], 999);
        }
      }
  });
}
