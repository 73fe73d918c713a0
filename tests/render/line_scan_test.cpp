#include "render/line_scan.h"

#include <gtest/gtest.h>

#include <limits>

#include "render/colour_bar.h"
#include "render/colour_components.h"
#include "render/marker_bar.h"
#include "pixel_art.h"

namespace {

using Art = std::vector<std::string>;

// The picture of a 256-wide, h-high scan: white inside a black frame.
Art framed(int width, int height) {
  Art art(static_cast<std::size_t>(height), std::string(static_cast<std::size_t>(width), 'W'));
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      if (x == 0 || y == 0 || x == width - 1 || y == height - 1) art[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)] = 'K';
  return art;
}

Art transposed(const Art& art) {
  Art result(art[0].size(), std::string(art.size(), ' '));
  for (std::size_t y = 0; y < art.size(); ++y)
    for (std::size_t x = 0; x < art[y].size(); ++x) result[x][y] = art[y][x];
  return result;
}

}  // namespace

TEST(LineScan, HorizontalScanPlotsMaximumAtTheTopAndMinimumOnTheBottomBound) {
  // Cells 0..4 of row 2 hold 0, 1, 2, 1, 0 mm: points (0, 6) (2, 3) (4, 0) (6, 3) (8, 6).
  HeightMatrix map(5, 3, 0.0);
  const double values[] = {0.0, 1.0, 2.0, 1.0, 0.0};
  for (int x = 0; x < 5; ++x) map(x, 2) = values[x];
  Picture picture(8, 6);
  draw_horiz_scan(picture, map, 0, 4, 2, 0.5);
  // The first segment runs from the origin down the left frame edge; the
  // marker at column 4 is red where the polyline does not cross it.
  EXPECT_EQ(pixel_art(picture), (Art{"KKKKKKKK",  //
                                     "KWWKRKWK",
                                     "KWWKRKWK",
                                     "KWKWRWKK",
                                     "KKWWRWWK",
                                     "KKKKRKKK"}));
  EXPECT_EQ(picture.pen_colour(), kBlack);

  // The vertical scan of the same values is the same picture turned about the diagonal.
  HeightMatrix columns(3, 5, 0.0);
  for (int y = 0; y < 5; ++y) columns(2, y) = values[y];
  Picture vertical(6, 8);
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
  for (int y = 1; y < 40; ++y) expected[static_cast<std::size_t>(y)][128] = 'R';  // 0.5 * 256
  EXPECT_EQ(pixel_art(picture), expected);

  Picture at_start(256, 40);
  draw_horiz_scan(at_start, map, 0, 255, 0, 0.0);
  EXPECT_EQ(pixel_art(at_start)[1].substr(0, 2), "RW") << "fraction 0 is the frame's first column";
  EXPECT_EQ(pixel_art(at_start)[0].substr(0, 2), "KK") << "row 0 is the flat line";

  Picture vertical(40, 256);
  draw_vert_scan(vertical, map, 0, 255, 7, 0.5);
  Art expected_vertical = framed(40, 256);
  expected_vertical[128] = "K" + std::string(39, 'R');  // marker row; the flat line holds column 0
  EXPECT_EQ(pixel_art(vertical), expected_vertical);
}

TEST(LineScan, LabelsShowScaledMinimumAndMaximumWithTwoDigits) {
  HeightMatrix map;
  for (int x = 0; x < kMapSide; ++x) map(x, 9) = -0.002 + 0.005 * x / 255.0;
  Picture picture(256, 42);
  ScanLabels labels = draw_horiz_scan(picture, map, 0, 255, 9, 0.5, 1000.0);
  EXPECT_EQ(labels.min, "-2");
  EXPECT_EQ(labels.max, "3");
  EXPECT_EQ(picture.pixel(255, 0), kBlack) << "the maximum, last cell, at the top right";

  map(17, 9) = 0.0123;
  for (int y = 0; y < kMapSide; ++y) map(9, y) = map(y, 9);
  labels = draw_vert_scan(picture, map, 0, 255, 9, 0.5, 1000.0);
  EXPECT_EQ(labels.max, "12");
  EXPECT_EQ(labels.min, "-2");
  labels = draw_horiz_scan(picture, map, 0, 255, 9, 0.5, 1.0);
  EXPECT_EQ(labels.max, "0.012") << "unscaled, in mm";
}

TEST(LineScan, FixedRangeKeepsThePenAndClipsValuesOutsideTheRange) {
  // lo..hi = 0..4 over 4 rows: 4, 4, 0, 8, -4 mm give the points (0, 0) (2, 0) (4, 4) (6, -4) (8, 8).
  HeightMatrix map(5, 2, 0.0);
  const double values[] = {4.0, 4.0, 0.0, 8.0, -4.0};
  for (int x = 0; x < 5; ++x) map(x, 1) = values[x];
  Picture picture(8, 4);
  picture.set_pen_colour(kRed);
  draw_scan_fixed_range(picture, map, 0, 4, 1, 0.0, 4.0);
  EXPECT_EQ(pixel_art(picture), (Art{"RRRRRRRR",  //
                                     "RWRWWRWR",
                                     "RWWRRWWR",
                                     "RRRRRRRR"}));
  EXPECT_EQ(picture.pen_colour(), kRed);

  // The grey-level scan of the simulation run: cells 113..143 of row 100, 0..255.
  HeightMatrix scratch;
  for (int x = 0; x < kMapSide; ++x) scratch(x, 100) = 255.0;
  Picture scan(62, 40);
  scan.set_pen_colour(kBlack);
  draw_scan_fixed_range(scan, scratch, 113, 143, 100, 0.0, 255.0);
  EXPECT_EQ(pixel_art(scan), framed(62, 40)) << "white level 255 runs along the top edge";
}

TEST(LineScan, LinesOffTheMapAndUnknownValuesAreDrawnSafely) {
  HeightMatrix map(20, 10, 0.001);
  map(3, 5) = 0.004;
  Picture picture(64, 30);
  ScanLabels labels = draw_horiz_scan(picture, map, -10, 300, 5, 0.5, 1000.0);
  EXPECT_EQ(labels.min, "1") << "only cells on the map count";
  EXPECT_EQ(labels.max, "4");

  labels = draw_horiz_scan(picture, map, 0, 255, -1, 0.5, 1000.0);
  EXPECT_EQ(labels.min, "");
  EXPECT_EQ(labels.max, "");
  Art expected = framed(64, 30);
  for (int y = 0; y < 30; ++y) expected[static_cast<std::size_t>(y)][32] = 'R';
  EXPECT_EQ(pixel_art(picture), expected) << "frame and marker only";

  labels = draw_vert_scan(picture, map, 2, 2, 3, 0.5, 1000.0);
  EXPECT_EQ(labels.max, "1") << "a single cell";

  map(6, 5) = std::numeric_limits<double>::quiet_NaN();
  map(7, 5) = 1e300;
  labels = draw_horiz_scan(picture, map, 0, 19, 5, std::numeric_limits<double>::quiet_NaN(), 1000.0);
  EXPECT_EQ(labels.max, "NAN");
  EXPECT_EQ(picture.pixel(63, 29), kBlack) << "frame drawn";

  map(6, 5) = 0.0;
  draw_horiz_scan(picture, map, 0, 19, 5, 1e200);
  EXPECT_EQ(picture.pixel(1, 1), kWhite);
}

TEST(MarkerBar, SevenRowsAroundThePositionOrOneRowNearTheEnds) {
  // Rows of column 5 that are black inside the frame.
  const auto black_rows = [](const Picture& picture) {
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
  draw_marker_bar(strip, 5.0);
  EXPECT_TRUE(black_rows(strip).empty()) << "beyond the strip: frame only";
  draw_marker_bar(strip, std::numeric_limits<double>::quiet_NaN());
  EXPECT_TRUE(black_rows(strip).empty());
}

TEST(ColourBar, LevelsRunFromZeroAtTheTopToTwoHundredFiftyFiveAtTheBottom) {
  Picture bar(33, 681, PixelFormat::indexed8);
  draw_colour_bar(bar, colour_blue, colour_red, colour_green);
  EXPECT_EQ(bar.format(), PixelFormat::bgr24);
  ASSERT_EQ(bar.width(), 33);
  ASSERT_EQ(bar.height(), 681);
  EXPECT_EQ(bar.pixel(0, 0), 0xFF0000u) << "level 0: blue";
  EXPECT_EQ(bar.pixel(32, 340), 0x00A1CCu) << "340 / 681 * 255 = 127.3: green 161, red 204";
  EXPECT_EQ(bar.pixel(16, 680), 0xFF8A1Eu) << "level 255: blue 255, green 138, red 30";
  for (int x = 0; x < 33; ++x) EXPECT_EQ(bar.pixel(x, 500), bar.pixel(0, 500)) << "one colour per row";

  Picture none;
  draw_colour_bar(none, colour_blue, colour_red, colour_green);
  EXPECT_EQ(none.width(), 0);
}
