#include "render/picture.h"

#include <gtest/gtest.h>

#include <algorithm>
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
    const bool x_major = std::abs(dx) >= std::abs(dy);
    const int x = x0 + (dx < 0 ? -1 : 1) * (x_major ? i : offset);
    const int y = y0 + (dy < 0 ? -1 : 1) * (x_major ? offset : i);
    if (x >= 0 && y >= 0 && x < width && y < height)
      art[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)] = 'K';
  }
  return art;
}

Picture white_picture(int width, int height) {
  Picture picture(width, height);
  picture.set_pen_colour(kWhite);
  picture.rectangle(0, 0, width, height);
  picture.set_pen_colour(kBlack);
  return picture;
}

Art line_art(int width, int height, int x0, int y0, int x1, int y1) {
  Picture picture = white_picture(width, height);
  picture.move_to(x0, y0);
  picture.line_to(x1, y1);
  return pixel_art(picture);
}

}  // namespace

TEST(PictureCanvas, RectangleFramesWithPenFillsWithBrushAndLeavesRightAndBottomOut) {
  Picture picture = grey_picture(7, 6);
  picture.rectangle(6, 5, 1, 1);  // corners in any order
  EXPECT_EQ(pixel_art(picture), (Art{"GGGGGGG", "GKKKKKG", "GKWWWKG", "GKWWWKG", "GKKKKKG", "GGGGGGG"}));

  // Zero width draws nothing; a frame reaching past the edges is clipped.
  Picture clipped = grey_picture(4, 3);
  clipped.rectangle(2, 0, 2, 3);
  clipped.rectangle(-1, -1, 3, 100000);
  EXPECT_EQ(pixel_art(clipped), (Art{"WWKG", "WWKG", "WWKG"}));
}

TEST(PictureCanvas, LineToLeavesOutItsEndPointAndMovesThere) {
  // Half steps (i m / n = 0.5 and 1.5) stay on the side of the start, so the
  // two directions of one segment set mirrored pixels.
  EXPECT_EQ(line_art(6, 3, 0, 0, 4, 2), (Art{"KKWWWW", "WWKKWW", "WWWWWW"}));
  EXPECT_EQ(line_art(6, 3, 4, 2, 0, 0), (Art{"WWWWWW", "WKKWWW", "WWWKKW"}));

  Picture poly = white_picture(5, 4);
  poly.move_to(0, 3);
  poly.line_to(0, 0);
  poly.line_to(4, 0);
  poly.line_to(4, 3);
  poly.line_to(2, 3);
  EXPECT_EQ(poly.pen_x(), 2);
  EXPECT_EQ(poly.pen_y(), 3);
  EXPECT_EQ(pixel_art(poly), (Art{"KKKKK", "KWWWK", "KWWWK", "KWWKK"})) << "(2, 3) is left out";
}

TEST(PictureCanvas, LinesMatchTheReferenceAlgorithmInsideAndAcrossTheEdges) {
  std::mt19937 random(7);
  std::uniform_int_distribution<int> coordinate(-12, 22);
  for (int trial = 0; trial < 3000; ++trial) {
    const int x0 = coordinate(random), y0 = coordinate(random), x1 = coordinate(random), y1 = coordinate(random);
    ASSERT_EQ(line_art(11, 9, x0, y0, x1, y1), reference_line(11, 9, x0, y0, x1, y1))
        << "line (" << x0 << ", " << y0 << ") to (" << x1 << ", " << y1 << ")";
  }
  // Ends at the limits of int: clipped without overflow and without walking the whole line.
  EXPECT_EQ(line_art(5, 3, -2000000000, 2, 2000000000, 2)[2], "KKKKK");
  EXPECT_EQ(line_art(3, 3, -2147483647 - 1, -2147483647 - 1, 2147483647, 2147483647), (Art{"KWW", "WKW", "WWK"}));
}

TEST(PictureCanvas, EightBitPicturesDrawTheNearestTableEntryAndPixelsOutsideAreIgnored) {
  Picture grey(3, 1, PixelFormat::indexed8);  // grey ramp
  grey.set_pixel(0, 0, kWhite);
  grey.set_pixel(1, 0, kRed);  // the grey nearest to (255, 0, 0) is 85
  grey.set_pixel(3, 0, kWhite);
  grey.set_pixel(0, -1, kWhite);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(grey.row(0)), 3), std::string("\xff\x55\x00", 3));
  EXPECT_EQ(grey.pixel(1, 0), 0x00555555u) << "shown through the colour table";
  EXPECT_EQ(grey.pixel(3, 0), kNoColour);
  EXPECT_THROW(Picture(5, kMaxPictureSide + 1), std::invalid_argument);

  // Replacing the picture keeps the canvas state, which belongs to the control.
  grey.set_pen_colour(kRed);
  grey.replace(Picture(2, 2));
  EXPECT_EQ(grey.format(), PixelFormat::bgr24);
  EXPECT_EQ(grey.pen_colour(), kRed);
}

TEST(PictureFile, EightBitRoundTripKeepsPixelsAndColourTable) {
  TempDir dir;
  Picture picture(5, 3, PixelFormat::indexed8);
  ColourTable table{};
  for (int i = 0; i < 256; ++i) table[4 * i + 1] = static_cast<uint8_t>(255 - i);
  picture.set_colour_table(table);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) picture.row(y)[x] = static_cast<uint8_t>(10 * y + x);
  picture.save_bmp("./picture.bmp");

  // A 5-pixel 8-bit row takes 8 bytes; the file's first row is the picture's bottom row.
  const std::string bytes = read_file_bytes("picture.bmp");
  ASSERT_EQ(bytes.size(), 54u + 1024u + 3u * 8u);
  EXPECT_EQ(bytes[28], 8) << "bits per pixel";
  EXPECT_EQ(static_cast<uint8_t>(bytes[54 + 4 * 3 + 1]), 252) << "green of colour entry 3";
  EXPECT_EQ(bytes[54 + 1024], 20) << "first stored pixel is (0, 2)";

  Picture loaded(1, 1);
  loaded.load_bmp("./picture.bmp");
  EXPECT_EQ(loaded.format(), PixelFormat::indexed8);
  EXPECT_EQ(loaded.colour_table(), table);
  ASSERT_EQ(loaded.bytes_per_line() * loaded.height(), 15);
  EXPECT_TRUE(std::equal(loaded.row(0), loaded.row(0) + 15, picture.row(0)));
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
  ASSERT_EQ(loaded.bytes_per_line() * loaded.height(), 30);
  EXPECT_TRUE(std::equal(loaded.row(0), loaded.row(0) + 30, picture.row(0)));
}

TEST(PictureFile, OtherDepthsAndBadFiles) {
  TempDir dir;
  // 32 bits: blue, green, red kept, the fourth byte dropped.
  GreyImage* wide = img_create(4, 2, 1);
  const uint8_t pixels[8] = {1, 2, 3, 99, 4, 5, 6, 99};
  std::copy(pixels, pixels + 8, wide->pixels);
  ASSERT_EQ(img_save_bmp(wide, "./wide.bmp"), BMP_OK);
  img_destroy(wide);
  Picture picture;
  picture.load_bmp("./wide.bmp");
  EXPECT_EQ(picture.format(), PixelFormat::bgr24);
  EXPECT_EQ(picture.pixel(1, 0), 0x00040506u);

  // 16-bit values, a missing file, text, cut-off rows: FileError, picture unchanged.
  GreyImage* deep = img_create(2, 2, 2);
  ASSERT_EQ(img_save_bmp(deep, "./deep.bmp"), BMP_OK);
  img_destroy(deep);
  write_file_bytes("text.bmp", "this is not a bitmap at all, just some words of text to fill a header");
  Picture(4, 4).save_bmp("./whole.bmp");
  write_file_bytes("cut.bmp", read_file_bytes("whole.bmp").substr(0, 70));
  for (const char* name : {"./deep.bmp", "./text.bmp", "./cut.bmp"}) {
    EXPECT_THROW(picture.load_bmp(name), FileError) << name;
  }
  try {
    picture.load_bmp("./missing.bmp");
    ADD_FAILURE() << "no error for a missing file";
  } catch (const FileError& error) {
    EXPECT_STREQ(error.what(), "Cannot open file \"./missing.bmp\"");
  }
  EXPECT_EQ(picture.width(), 2) << "unchanged";
  EXPECT_THROW(Picture().save_bmp("./empty.bmp"), FileError);
  EXPECT_THROW(picture.save_bmp("./no/such/folder/x.bmp"), FileError);
}
