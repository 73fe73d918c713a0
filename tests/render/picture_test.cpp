#include "render/picture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <stdexcept>

#include "common/errors.h"
#include "pixel_art.h"
#include "temp_dir.h"

namespace {

using Art = std::vector<std::string>;

// Pixels of a line from (x0, y0) towards (x1, y1), end excluded: step i along
// the longer axis, i * m / n along the shorter one rounded to nearest with
// halves towards the start.
Art reference_line(int width, int height, int x0, int y0, int x1, int y1) {
  Art art(static_cast<std::size_t>(height), std::string(static_cast<std::size_t>(width), 'W'));
  const int dx = x1 - x0;
  const int dy = y1 - y0;
  const int n = std::max(std::abs(dx), std::abs(dy));
  const int m = std::min(std::abs(dx), std::abs(dy));
  for (int i = 0; i < n; ++i) {
    const int offset = i * m / n + (2 * (i * m % n) > n ? 1 : 0);
    int x = 0;
    int y = 0;
    if (std::abs(dx) >= std::abs(dy)) {
      x = x0 + (dx < 0 ? -i : i);
      y = y0 + (dy < 0 ? -offset : offset);
    } else {
      y = y0 + (dy < 0 ? -i : i);
      x = x0 + (dx < 0 ? -offset : offset);
    }
    if (x >= 0 && y >= 0 && x < width && y < height) art[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)] = 'K';
  }
  return art;
}

Picture white_picture(int width, int height, PixelFormat format = PixelFormat::bgr24) {
  Picture picture(width, height, format);
  picture.set_pen_colour(kWhite);
  picture.rectangle(0, 0, width, height);
  picture.set_pen_colour(kBlack);
  return picture;
}

}  // namespace

TEST(PictureCanvas, RectangleFramesWithPenFillsWithBrushAndLeavesRightAndBottomOut) {
  Picture picture = grey_picture(7, 6);
  EXPECT_EQ(picture.pen_colour(), kBlack) << "black pen by default";
  EXPECT_EQ(picture.brush_colour(), kWhite) << "white brush by default";
  picture.rectangle(1, 1, 6, 5);
  EXPECT_EQ(pixel_art(picture), (Art{"GGGGGGG",  //
                                     "GKKKKKG",  //
                                     "GKWWWKG",  //
                                     "GKWWWKG",  //
                                     "GKKKKKG",  //
                                     "GGGGGGG"}));

  // Swapped corners mean the same rectangle; a red pen shows which pixels are frame.
  Picture swapped = grey_picture(7, 6);
  swapped.set_pen_colour(kRed);
  swapped.rectangle(6, 5, 1, 1);
  EXPECT_EQ(pixel_art(swapped)[1], "GRRRRRG");
  EXPECT_EQ(pixel_art(swapped)[2], "GRWWWRG");

  // Zero width draws nothing; a frame reaching past the edges is clipped.
  Picture clipped = grey_picture(4, 3);
  clipped.rectangle(2, 0, 2, 3);
  EXPECT_EQ(pixel_art(clipped), (Art{"GGGG", "GGGG", "GGGG"}));
  clipped.rectangle(-1, -1, 3, 100000);
  EXPECT_EQ(pixel_art(clipped), (Art{"WWKG", "WWKG", "WWKG"}));
}

TEST(PictureCanvas, LineToLeavesOutItsEndPointAndMovesThere) {
  Picture picture = white_picture(6, 4);
  picture.move_to(0, 0);
  picture.line_to(4, 2);
  EXPECT_EQ(picture.pen_x(), 4);
  EXPECT_EQ(picture.pen_y(), 2);
  // Half steps (i m / n = 0.5 and 1.5) stay on the side of the start.
  EXPECT_EQ(pixel_art(picture), (Art{"KKWWWW",  //
                                     "WWKKWW",  //
                                     "WWWWWW",  //
                                     "WWWWWW"}));

  // The same pair of points the other way round sets a mirrored set.
  Picture back = white_picture(6, 4);
  back.move_to(4, 2);
  back.line_to(0, 0);
  EXPECT_EQ(pixel_art(back), (Art{"WWWWWW",  //
                                  "WKKWWW",  //
                                  "WWWKKW",  //
                                  "WWWWWW"}));

  // A polyline: each segment starts where the last ended; only the final end (2, 3) is left out.
  Picture poly = white_picture(5, 4);
  poly.move_to(0, 3);
  poly.line_to(0, 0);
  poly.line_to(4, 0);
  poly.line_to(4, 3);
  poly.line_to(2, 3);
  EXPECT_EQ(pixel_art(poly), (Art{"KKKKK",  //
                                  "KWWWK",  //
                                  "KWWWK",  //
                                  "KWWKK"}));

  // A zero-length segment draws nothing.
  Picture dot = white_picture(3, 3);
  dot.move_to(1, 1);
  dot.line_to(1, 1);
  EXPECT_EQ(pixel_art(dot), (Art{"WWW", "WWW", "WWW"}));
}

TEST(PictureCanvas, LinesMatchTheReferenceAlgorithmInsideAndAcrossTheEdges) {
  std::mt19937 random(7);
  std::uniform_int_distribution<int> coordinate(-12, 22);
  for (int trial = 0; trial < 3000; ++trial) {
    const int x0 = coordinate(random);
    const int y0 = coordinate(random);
    const int x1 = coordinate(random);
    const int y1 = coordinate(random);
    Picture picture = white_picture(11, 9);
    picture.move_to(x0, y0);
    picture.line_to(x1, y1);
    ASSERT_EQ(pixel_art(picture), reference_line(11, 9, x0, y0, x1, y1))
        << "line (" << x0 << ", " << y0 << ") to (" << x1 << ", " << y1 << ")";
  }
}

TEST(PictureCanvas, HugeCoordinatesAreClippedWithoutOverflow) {
  Picture picture = white_picture(5, 4);
  picture.move_to(-2000000000, 2);
  picture.line_to(2000000000, 2);
  EXPECT_EQ(pixel_art(picture)[2], "KKKKK");

  Picture diagonal = white_picture(4, 4);
  diagonal.move_to(-2147483647 - 1, -2147483647 - 1);
  diagonal.line_to(2147483647, 2147483647);
  EXPECT_EQ(pixel_art(diagonal), (Art{"KWWW", "WKWW", "WWKW", "WWWK"}));

  Picture outside = white_picture(4, 4);
  outside.move_to(-5, -1);
  outside.line_to(100, -1);
  outside.move_to(10, 0);
  outside.line_to(10, 3);
  EXPECT_EQ(pixel_art(outside), (Art{"WWWW", "WWWW", "WWWW", "WWWW"}));
}

TEST(PictureCanvas, SetPixelWritesBlueGreenRedAndIgnoresPositionsOutside) {
  Picture picture(3, 2);
  picture.set_pixel(1, 1, 0x00332211);  // blue 0x33, green 0x22, red 0x11
  EXPECT_EQ(picture.row(1)[3], 0x33);
  EXPECT_EQ(picture.row(1)[4], 0x22);
  EXPECT_EQ(picture.row(1)[5], 0x11);
  EXPECT_EQ(picture.pixel(1, 1), 0x00332211u);
  picture.set_pixel(3, 0, kWhite);
  picture.set_pixel(-1, 0, kWhite);
  picture.set_pixel(0, 2, kWhite);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) {
      if (x != 1 || y != 1) {
        EXPECT_EQ(picture.pixel(x, y), kBlack) << x << ", " << y;
      }
    }
  EXPECT_EQ(picture.pixel(3, 0), kNoColour);
  EXPECT_EQ(picture.pixel(0, -1), kNoColour);
}

TEST(PictureCanvas, EightBitPicturesDrawTheNearestColourTableEntry) {
  Picture picture(4, 1, PixelFormat::indexed8);  // grey ramp
  picture.set_pixel(0, 0, kWhite);
  picture.set_pixel(1, 0, kRed);  // nearest grey to (255, 0, 0) is 85
  picture.set_pixel(2, 0, 0x00646464);
  EXPECT_EQ(picture.row(0)[0], 255);
  EXPECT_EQ(picture.row(0)[1], 85);
  EXPECT_EQ(picture.row(0)[2], 100);
  EXPECT_EQ(picture.row(0)[3], 0);
  EXPECT_EQ(picture.pixel(1, 0), 0x00555555u) << "shown through the colour table";

  ColourTable table{};
  table[4 * 7 + 2] = 255;  // entry 7 is pure red
  picture.set_colour_table(table);
  picture.set_pen_colour(kRed);
  picture.move_to(0, 0);
  picture.line_to(4, 0);
  EXPECT_EQ(picture.row(0)[0], 7);
  EXPECT_EQ(picture.row(0)[3], 7);
}

TEST(PictureStorage, SizesResizeAndReplace) {
  EXPECT_EQ(Picture().width(), 0);
  EXPECT_EQ(Picture(10, 2, PixelFormat::indexed8).bytes_per_line(), 10);
  EXPECT_EQ(Picture(10, 2).bytes_per_line(), 30);
  EXPECT_THROW(Picture(-1, 5), std::invalid_argument);
  EXPECT_THROW(Picture(5, kMaxPictureSide + 1), std::invalid_argument);

  Picture picture = grey_picture(3, 2);
  picture.resize(4, 1);
  EXPECT_EQ(pixel_art(picture), (Art{"GGGK"})) << "shared part kept, new pixels zero";
  EXPECT_THROW(picture.resize(1, -3), std::invalid_argument);
  EXPECT_EQ(picture.width(), 4) << "a refused size changes nothing";

  picture.set_pen_colour(kRed);
  picture.move_to(2, 0);
  picture.replace(Picture(2, 2, PixelFormat::indexed8));
  EXPECT_EQ(picture.format(), PixelFormat::indexed8);
  EXPECT_EQ(picture.width(), 2);
  EXPECT_EQ(picture.pen_colour(), kRed) << "the canvas state belongs to the control";
  EXPECT_EQ(picture.pen_x(), 2);
}

TEST(PictureFile, EightBitRoundTripKeepsPixelsAndColourTable) {
  TempDir dir;
  Picture picture(5, 3, PixelFormat::indexed8);
  ColourTable table{};
  for (int i = 0; i < 256; ++i) {
    table[4 * i] = static_cast<uint8_t>(i);
    table[4 * i + 1] = static_cast<uint8_t>(255 - i);
    table[4 * i + 2] = static_cast<uint8_t>(i / 2);
  }
  picture.set_colour_table(table);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) picture.row(y)[x] = static_cast<uint8_t>(10 * y + x);
  picture.save_bmp("./picture.bmp");

  // A 5-pixel 8-bit row takes 8 bytes in the file; the file's first row is the picture's bottom row.
  const std::string bytes = read_file_bytes("picture.bmp");
  ASSERT_EQ(bytes.size(), 54u + 1024u + 3u * 8u);
  EXPECT_EQ(bytes[28], 8) << "bits per pixel";
  EXPECT_EQ(static_cast<uint8_t>(bytes[54 + 4 * 3 + 1]), 252) << "green of colour entry 3";
  EXPECT_EQ(bytes[54 + 1024], 20) << "first stored pixel is (0, 2)";
  EXPECT_EQ(bytes[54 + 1024 + 16], 0) << "last stored row is row 0";

  Picture loaded(1, 1);
  loaded.load_bmp("./picture.bmp");
  EXPECT_EQ(loaded.format(), PixelFormat::indexed8);
  ASSERT_EQ(loaded.width(), 5);
  ASSERT_EQ(loaded.height(), 3);
  EXPECT_EQ(loaded.colour_table(), table);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) EXPECT_EQ(loaded.row(y)[x], 10 * y + x) << x << ", " << y;
}

TEST(PictureFile, TwentyFourBitRoundTripWritesBlueGreenRedRows) {
  TempDir dir;
  Picture picture(5, 2);
  picture.set_pixel(0, 1, 0x00030201);  // bottom-left: blue 3, green 2, red 1
  picture.set_pixel(4, 0, kRed);
  picture.save_bmp("./colour.bmp");

  // 15 bytes of pixels padded to a 16-byte row; no colour table.
  const std::string bytes = read_file_bytes("colour.bmp");
  ASSERT_EQ(bytes.size(), 54u + 2u * 16u);
  EXPECT_EQ(bytes[28], 24);
  EXPECT_EQ(bytes.substr(54, 3), std::string("\x03\x02\x01", 3));
  EXPECT_EQ(bytes.substr(54 + 16 + 12, 3), std::string("\x00\x00\xff", 3));

  Picture loaded;
  loaded.load_bmp("./colour.bmp");
  EXPECT_EQ(loaded.format(), PixelFormat::bgr24);
  EXPECT_EQ(pixel_art(loaded), pixel_art(picture));
  EXPECT_EQ(loaded.pixel(0, 1), 0x00030201u);
}

TEST(PictureFile, ThirtyTwoBitFilesLoadAsTwentyFourBitAndSixteenBitFilesAreRefused) {
  TempDir dir;
  GreyImage* wide = img_create(4, 2, 1);
  ASSERT_NE(wide, nullptr);
  const uint8_t pixels[8] = {1, 2, 3, 99, 4, 5, 6, 99};
  std::copy(pixels, pixels + 8, wide->pixels);
  ASSERT_EQ(img_save_bmp(wide, "./wide.bmp"), BMP_OK);
  img_destroy(wide);
  Picture picture;
  picture.load_bmp("./wide.bmp");
  EXPECT_EQ(picture.format(), PixelFormat::bgr24);
  EXPECT_EQ(picture.pixel(0, 0), 0x00010203u);
  EXPECT_EQ(picture.pixel(1, 0), 0x00040506u);

  GreyImage* deep = img_create(2, 2, 2);
  ASSERT_NE(deep, nullptr);
  ASSERT_EQ(img_save_bmp(deep, "./deep.bmp"), BMP_OK);
  img_destroy(deep);
  EXPECT_THROW(picture.load_bmp("./deep.bmp"), FileError);
  EXPECT_EQ(picture.width(), 2) << "a failed load leaves the picture";
}

TEST(PictureFile, FailuresThrowFileErrorAndLeaveThePicture) {
  TempDir dir;
  Picture picture = grey_picture(2, 2);
  try {
    picture.load_bmp("./missing.bmp");
    FAIL() << "no error for a missing file";
  } catch (const FileError& error) {
    EXPECT_STREQ(error.what(), "Cannot open file \"./missing.bmp\"");
  }
  write_file_bytes("text.bmp", "this is not a bitmap at all, just some words of text to fill a header");
  EXPECT_THROW(picture.load_bmp("./text.bmp"), FileError);

  // A valid header whose pixel rows are cut off.
  Picture small(4, 4);
  small.save_bmp("./whole.bmp");
  write_file_bytes("cut.bmp", read_file_bytes("whole.bmp").substr(0, 70));
  EXPECT_THROW(picture.load_bmp("./cut.bmp"), FileError);
  EXPECT_EQ(pixel_art(picture), (Art{"GG", "GG"}));

  EXPECT_THROW(Picture().save_bmp("./empty.bmp"), FileError);
  EXPECT_THROW(picture.save_bmp("./no/such/folder/x.bmp"), FileError);
}
