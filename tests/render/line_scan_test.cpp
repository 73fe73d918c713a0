#include "render/line_scan.h"

#include <gtest/gtest.h>

#include <limits>

#include "pixel_art.h"
#include "render/colour_bar.h"
#include "render/colour_components.h"
#include "render/marker_bar.h"

namespace {

using Art = std::vector<std::string>;

// A scan picture before plotting: white inside a black frame.
Art framed(int width, int height) {
  Art art(static_cast<std::size_t>(height), "K" + std::string(static_cast<std::size_t>(width - 2), 'W') + "K");
  art.front() = art.back() = std::string(static_cast<std::size_t>(width), 'K');
  return art;
}

Art transposed(const Art& art) {
  Art result(art[0].size(), std::string(art.size(), ' '));
  for (std::size_t y = 0; y < art.size(); ++y)
    for (std::size_t x = 0; x < art[y].size(); ++x) result[x][y] = art[y][x];
  return result;
}

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

}  // namespace

TEST(LineScan, MaximumOnTheTopEdgeMinimumOnTheBottomBoundAndVerticalIsTheTranspose) {
  // Cells 0..4 of row 2 hold 0, 1, 2, 1, 0 mm: points (0, 6) (2, 3) (4, 0) (6, 3) (8, 6).
  HeightMatrix map(5, 3, 0.0);
  HeightMatrix columns(3, 5, 0.0);
  const double values[] = {0.0, 1.0, 2.0, 1.0, 0.0};
  for (int i = 0; i < 5; ++i) map(i, 2) = columns(2, i) = values[i];
  Picture picture(8, 6);
  picture.set_pen_colour(kRed);
  draw_horiz_scan(picture, map, 0, 4, 2, 0.5);
  // The frame takes the pen the caller left; the first segment runs from the
  // origin down the left edge; the marker at column 4 stays red where the
  // polyline does not cross it.
  EXPECT_EQ(pixel_art(picture), (Art{"KRRRKRRR",  //
                                     "KWWKRKWR",
                                     "KWWKRKWR",
                                     "KWKWRWKR",
                                     "KKWWRWWK",
                                     "KKRRRRRK"}));
  EXPECT_EQ(picture.pen_colour(), kBlack);

  Picture vertical(6, 8);
  vertical.set_pen_colour(kRed);
  draw_vert_scan(vertical, columns, 0, 4, 2, 0.5);
  EXPECT_EQ(pixel_art(vertical), transposed(pixel_art(picture)));
}

TEST(LineScan, FlatLineRunsAlongTheTopEdgeWithLabelsZero) {
  const HeightMatrix map;  // all 0.0
  Picture picture(256, 40);
  const ScanLabels labels = draw_horiz_scan(picture, map, 0, 255, 128, 0.5, 1000.0);
  EXPECT_EQ(labels.min, "0");
  EXPECT_EQ(labels.max, "0");
  Art expected = framed(256, 40);
  for (std::size_t y = 1; y < 40; ++y) expected[y][128] = 'R';  // 0.5 * 256
  EXPECT_EQ(pixel_art(picture), expected);

  draw_horiz_scan(picture, map, 0, 255, 0, 0.0);
  EXPECT_EQ(pixel_art(picture)[1].substr(0, 2), "RW") << "fraction 0 is the frame's first column";
}

TEST(LineScan, LabelsShowScaledMinimumAndMaximumWithTwoDigits) {
  HeightMatrix map;
  for (int x = 0; x < kMapSide; ++x) map(x, 9) = map(9, x) = -0.002 + 0.005 * x / 255.0;
  Picture picture(256, 42);
  ScanLabels labels = draw_horiz_scan(picture, map, 0, 255, 9, 0.5, 1000.0);
  EXPECT_EQ(labels.min, "-2");
  EXPECT_EQ(labels.max, "3");
  map(9, 17) = 0.0123;
  labels = draw_vert_scan(picture, map, 0, 255, 9, 0.5, 1000.0);
  EXPECT_EQ(labels.max, "12");
  EXPECT_EQ(labels.min, "-2");
}

TEST(LineScan, FixedRangeKeepsThePenAndClipsValuesOutsideTheRange) {
  // lo..hi = 0..4 over 4 rows: 4, 4, 0, 8, -4 mm give the points (0, 0) (2, 0) (4, 4) (6, -4) (8, 8).
  HeightMatrix map(5, 2, 0.0);
  const double values[] = {4.0, 4.0, 0.0, 8.0, -4.0};
  for (int x = 0; x < 5; ++x) map(x, 1) = values[x];
  Picture picture(8, 4);
  picture.set_pen_colour(kRed);
  draw_scan_fixed_range(picture, map, 0, 4, 1, 0.0, 4.0);
  EXPECT_EQ(pixel_art(picture), (Art{"RRRRRRRR", "RWRWWRWR", "RWWRRWWR", "RRRRRRRR"}));
  EXPECT_EQ(picture.pen_colour(), kRed);
}

TEST(LineScan, LinesOffTheMapAndUnknownValuesAreDrawnSafely) {
  HeightMatrix map(20, 10, 0.001);
  map(3, 5) = 0.004;
  Picture picture(64, 30);
  ScanLabels labels = draw_horiz_scan(picture, map, -10, 300, 5, 0.5, 1000.0);
  EXPECT_EQ(labels.min, "1") << "only cells on the map count";
  EXPECT_EQ(labels.max, "4");

  labels = draw_horiz_scan(picture, map, 0, 255, -1, 0.5, 1000.0);
  EXPECT_EQ(labels.min + labels.max, "");
  Art expected = framed(64, 30);
  for (std::string& row : expected) row[32] = 'R';
  EXPECT_EQ(pixel_art(picture), expected) << "a row off the map: frame and marker only";

  map(6, 5) = kNaN;
  map(7, 5) = 1e300;
  labels = draw_horiz_scan(picture, map, 0, 19, 5, kNaN, 1000.0);
  EXPECT_EQ(labels.max, "NAN");
  EXPECT_EQ(picture.pixel(63, 29), kBlack);
  map(6, 5) = 0.0;
  draw_vert_scan(picture, map, 2, 2, 6, 1e200);  // one cell, a marker far outside
  EXPECT_EQ(picture.pixel(1, 1), kWhite) << "the single point is the origin: nothing inside the frame";
}

TEST(MarkerBar, SevenRowsAroundThePositionOrOneRowNearTheEnds) {
  const auto black_rows = [](const Picture& picture) {  // inside the frame, column 5
    std::vector<int> rows;
    for (int y = 1; y < picture.height() - 1; ++y)
      if (picture.pixel(5, y) == kBlack) rows.push_back(y);
    return rows;
  };
  Picture strip(10, 193);
  draw_marker_bar(strip, 0.5);  // 96.5 rounds to 96
  EXPECT_EQ(black_rows(strip), (std::vector<int>{93, 94, 95, 96, 97, 98, 99}));
  draw_marker_bar(strip, 0.02);  // c = 4
  EXPECT_EQ(black_rows(strip), (std::vector<int>{4}));
  draw_marker_bar(strip, 0.97);  // c = 187 = 193 - 6: still thick
  EXPECT_EQ(black_rows(strip).size(), 7u);
  draw_marker_bar(strip, 0.98);  // c = 189 = 193 - 4: a single line
  EXPECT_EQ(black_rows(strip), (std::vector<int>{189}));
  draw_marker_bar(strip, kNaN);
  EXPECT_TRUE(black_rows(strip).empty());
}

TEST(ColourBar, LevelsRunFromZeroAtTheTopToTwoHundredFiftyFiveAtTheBottom) {
  Picture bar(33, 681, PixelFormat::indexed8);
  draw_colour_bar(bar, colour_blue, colour_red, colour_green);
  EXPECT_EQ(bar.format(), PixelFormat::bgr24);
  EXPECT_EQ(bar.width(), 33);
  EXPECT_EQ(bar.height(), 681);
  EXPECT_EQ(bar.pixel(0, 0), 0xFF0000u) << "level 0: blue";
  EXPECT_EQ(bar.pixel(32, 340), 0x00A1CCu) << "340 / 681 * 255 = 127.3: green 161, red 204";
  EXPECT_EQ(bar.pixel(16, 680), 0xFF8A1Eu) << "level 255: blue 255, green 138, red 30";
}
