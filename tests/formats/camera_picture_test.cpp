// Camera pictures into the engine's grey image: the same picture in every
// kind and layout gives the same image bytes, the top row lands at the top,
// colour and 16-bit samples round as documented, and every kind of bad file
// is refused with the file's name and the reason.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "common/errors.h"
#include "error_of.h"
#include "formats/camera_picture.h"
#include "formats/grey_levels.h"
#include "formats/picture_writers.h"
#include "picture_bytes.h"
#include "temp_dir.h"

namespace {

using namespace picture_bytes;

// An asymmetric picture with every grey level: no flip, mirror or shift
// leaves it unchanged. Odd sides make the bitmap's rows padded.
GreyImageOwner test_pattern(int width = 37, int height = 23) {
  GreyImageOwner image(img_create(1, width, height));
  for (int row = 0; row < height; ++row)
    for (int x = 0; x < width; ++x)
      img_line(image.get(), row)[x] = static_cast<uint8_t>((x * 7 + row * 31 + x * row) % 256);
  return image;
}

// The pixel bytes of the rows, without padding, in the engine's order.
std::string pixels_of(const GreyImage& image) {
  std::string bytes;
  for (int row = 0; row < image.height; ++row)
    bytes.append(reinterpret_cast<const char*>(img_line(&image, row)), static_cast<std::size_t>(image.width));
  return bytes;
}

// A grey picture as three equal colour samples (and alpha when asked).
SampleImage as_colour(const SampleImage& grey, bool alpha) {
  SampleImage colour = grey;
  colour.channels = alpha ? 4 : 3;
  colour.samples.clear();
  for (const uint16_t v : grey.samples) {
    colour.samples.insert(colour.samples.end(), {v, v, v});
    if (alpha) colour.samples.push_back(static_cast<uint16_t>(v / 3));
  }
  return colour;
}

SampleImage with_alpha(const SampleImage& grey) {
  SampleImage out = grey;
  out.channels = 2;
  out.samples.clear();
  const uint16_t opaque = grey.bits == 8 ? 255 : 65535;
  for (const uint16_t v : grey.samples)
    out.samples.insert(out.samples.end(), {v, static_cast<uint16_t>(opaque - v)});
  return out;
}

std::string read_error(const std::string& file) {
  return error_of<FileError>([&] { read_camera_picture(file); });
}

TEST(CameraPicture, SamePictureInEveryKindAndLayoutGivesTheSameImageBytes) {
  TempDir dir;
  const GreyImageOwner pattern = test_pattern();
  const std::string expected = pixels_of(*pattern);
  const SampleImage grey8 = grey_samples(*pattern, 8);
  const SampleImage grey16 = grey_samples(*pattern, 16);

  struct Case {
    std::string name;
    std::string bytes;
  };
  std::vector<Case> cases;
  ASSERT_EQ(img_save_bmp(pattern.get(), "pattern.bmp"), BMP_OK);
  cases.push_back({"BMP 8-bit", read_file_bytes("pattern.bmp")});
  {
    // 24-bit bitmap of equal blue, green and red.
    GreyImageOwner rgb(img_create(3, pattern->width, pattern->height));
    for (int row = 0; row < pattern->height; ++row)
      for (int x = 0; x < pattern->width; ++x)
        std::memset(img_line(rgb.get(), row) + 3 * x, img_line(pattern.get(), row)[x], 3);
    ASSERT_EQ(img_save_bmp(rgb.get(), "rgb.bmp"), BMP_OK);
    cases.push_back({"BMP 24-bit", read_file_bytes("rgb.bmp")});
  }
  cases.push_back({"PNG grey 8", png_bytes(grey8)});
  cases.push_back({"PNG grey 16", png_bytes(grey16)});
  cases.push_back({"PNG grey + alpha 8", png_bytes(with_alpha(grey8))});
  cases.push_back({"PNG grey + alpha 16", png_bytes(with_alpha(grey16))});
  cases.push_back({"PNG RGB 8", png_bytes(as_colour(grey8, false))});
  cases.push_back({"PNG RGB 16", png_bytes(as_colour(grey16, false))});
  cases.push_back({"PNG RGBA 8", png_bytes(as_colour(grey8, true))});
  cases.push_back({"PNG RGBA 16", png_bytes(as_colour(grey16, true))});
  {
    // Palette of the grey ramp, indices = levels (built by hand: our writer
    // makes no palette pictures).
    Png png;
    png.width = static_cast<uint32_t>(pattern->width);
    png.height = static_cast<uint32_t>(pattern->height);
    png.colour_type = 3;
    for (int i = 0; i < 256; ++i) png.palette += std::string(3, static_cast<char>(i));
    for (int y = 0; y < pattern->height; ++y) {
      const uint8_t* row = img_line(pattern.get(), pattern->height - 1 - y);
      png.rows.emplace_back(row, row + pattern->width);
    }
    cases.push_back({"PNG palette", png.bytes()});
  }
  const std::pair<const char*, TiffCompression> compressions[] = {
      {"none", TiffCompression::none},
      {"LZW", TiffCompression::lzw},
      {"Deflate", TiffCompression::deflate},
      {"PackBits", TiffCompression::packbits}};
  for (const auto& [name, compression] : compressions) {
    for (const SampleImage* samples : {&grey8, &grey16}) {
      const std::string bits = samples->bits == 8 ? " 8" : " 16";
      TiffLayout strips;
      strips.compression = compression;
      strips.rows_per_strip = 5;  // the last strip short
      cases.push_back({std::string("TIFF strips ") + name + bits, tiff_bytes(*samples, strips)});
      TiffLayout tiles = strips;
      tiles.tile_side = 16;  // partial tiles at the right and bottom
      tiles.big_endian = true;
      tiles.predictor = compression == TiffCompression::lzw || compression == TiffCompression::deflate;
      cases.push_back({std::string("TIFF tiles big-endian ") + name + bits, tiff_bytes(*samples, tiles)});
    }
  }
  cases.push_back({"TIFF RGB 8", tiff_bytes(as_colour(grey8, false))});
  cases.push_back({"TIFF RGBA 16 LZW", tiff_bytes(as_colour(grey16, true), {TiffCompression::lzw})});
  cases.push_back({"TIFF grey + alpha 8", tiff_bytes(with_alpha(grey8))});

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // The kind comes from the bytes: every file has the same misleading name.
    write_file_bytes("picture.jpg", c.bytes);
    const GreyImageOwner image = read_camera_picture("picture.jpg");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->type, 1);
    EXPECT_EQ(image->width, pattern->width);
    EXPECT_EQ(image->height, pattern->height);
    EXPECT_EQ(pixels_of(*image), expected);
    EXPECT_TRUE(image->colours == grey_ramp());
  }
}

TEST(CameraPicture, TopRowOfThePictureIsTheEnginesLastRow) {
  TempDir dir;
  // Three rows 10, 20, 30 from the top, two columns.
  const std::vector<std::vector<uint8_t>> rows = {{10, 11}, {20, 21}, {30, 31}};
  write_file_bytes("top.png", grey_png(rows).bytes());
  write_file_bytes("top.tif", grey_tiff(rows).bytes());
  for (const char* file : {"top.png", "top.tif"}) {
    SCOPED_TRACE(file);
    const GreyImageOwner image = read_camera_picture(file);
    EXPECT_EQ(img_line(image.get(), 2)[0], 10);  // the bitmap's last row is its top
    EXPECT_EQ(img_line(image.get(), 2)[1], 11);
    EXPECT_EQ(img_line(image.get(), 0)[0], 30);
  }

  // TIFF orientations: where the first stored row and column belong.
  struct Orientation {
    uint32_t tag;
    uint8_t top_left;  // what the picture shows at its top left
  };
  for (const Orientation o : {Orientation{1, 10}, Orientation{2, 11}, Orientation{3, 31}, Orientation{4, 30}}) {
    SCOPED_TRACE(o.tag);
    Tiff tiff = grey_tiff(rows);
    tiff.set(274, {o.tag});
    write_file_bytes("turned.tif", tiff.bytes());
    EXPECT_EQ(img_line(read_camera_picture("turned.tif").get(), 2)[0], o.top_left);
  }
  // Min-is-white grey counts from white.
  Tiff white = grey_tiff(rows);
  white.set(262, {0});
  write_file_bytes("white.tif", white.bytes());
  EXPECT_EQ(img_line(read_camera_picture("white.tif").get(), 2)[0], 245);
}

TEST(GreyLevels, SixteenBitsAndColourRoundAtTheBoundaries) {
  struct Wide {
    uint32_t v;
    uint8_t grey;
  };
  // 128 / 257 lies just below a half, 129 / 257 just above.
  for (const Wide w : {Wide{0, 0}, Wide{128, 0}, Wide{129, 1}, Wide{385, 1}, Wide{386, 2},
                       Wide{65406, 254}, Wide{65407, 255}, Wide{65535, 255}}) {
    EXPECT_EQ(grey_from_16(w.v), w.grey) << w.v;
  }
  for (uint32_t level = 0; level < 256; ++level) ASSERT_EQ(grey_from_16(257 * level), level);

  struct Colour {
    uint32_t r, g, b;
    uint8_t grey;
    const char* why;
  };
  const Colour colours[] = {
      {255, 255, 255, 255, "white stays white"},
      {1, 0, 0, 0, "0.299 rounds down"},
      {2, 0, 0, 1, "0.598 rounds up"},
      {0, 0, 250, 28, "28.5: a half, to even"},
      {0, 12, 4, 8, "7.5: a half, to even"},
      {0, 80, 110, 60, "59.5 exactly; in binary fractions the sum falls just below"},
      {0, 204, 68, 128, "127.5 exactly, the same"},
  };
  for (const Colour& c : colours) {
    EXPECT_EQ(grey_from_rgb8(c.r, c.g, c.b), c.grey) << c.why;
    EXPECT_EQ(grey_from_rgb16(257 * c.r, 257 * c.g, 257 * c.b), c.grey) << c.why << " (16 bits)";
  }
  // Halves of 16-bit colour sums (over 257000), to even.
  EXPECT_EQ(grey_from_rgb16(26, 0, 1059), 0);
  EXPECT_EQ(grey_from_rgb16(0, 24, 3258), 2);

  // Through the readers: a 16-bit grey PNG and an RGB TIFF of these values.
  TempDir dir;
  Png png;
  png.width = 3;
  png.bit_depth = 16;
  png.rows = {std::string("\x00\x80\x00\x81\xFF\x7F", 6)};  // 128, 129, 65407
  write_file_bytes("wide.png", png.bytes());
  const GreyImageOwner wide = read_camera_picture("wide.png");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(img_line(wide.get(), 0)), 3),
            std::string("\x00\x01\xFF", 3));
  const std::string rgb = std::string("\x00\x50\x6E", 3) + std::string("\x00\x00\xFA", 3);
  write_file_bytes("colour.tif", plain_tiff(2, 1, 3, 8, rgb).bytes());
  const GreyImageOwner colour = read_camera_picture("colour.tif");
  EXPECT_EQ(img_line(colour.get(), 0)[0], 60);
  EXPECT_EQ(img_line(colour.get(), 0)[1], 28);
}

TEST(CameraPicture, EveryKindOfBadFileIsRefusedWithItsNameAndTheReason) {
  TempDir dir;
  const std::vector<std::vector<uint8_t>> rows = {{1, 2, 3, 4}, {5, 6, 7, 8}};
  const std::string good_png = grey_png(rows).bytes();
  const std::string good_tiff = grey_tiff(rows).bytes();

  struct Case {
    const char* name;
    std::string bytes;
    const char* reason;  // a part of the message
  };
  std::vector<Case> cases;
  cases.push_back({"empty", "", "the file is empty"});
  cases.push_back({"neither kind", "GIF89a and more", "neither a BMP, a PNG nor a TIFF picture"});
  cases.push_back({"PNG signature only", kPngSignature, "not a readable PNG picture"});
  cases.push_back({"PNG cut in its image data", good_png.substr(0, good_png.size() - 20), "cut short"});
  cases.push_back({"PNG without its end chunk", good_png.substr(0, good_png.size() - 12), "cut short"});
  {
    std::string bad = good_png;
    bad[8 + 8 + 13] ^= 0x01;  // the IHDR's CRC
    cases.push_back({"PNG header CRC", bad, "CRC error"});
    Png png = grey_png(rows);
    std::string idat = png_chunk("IDAT", png.idat());
    idat.back() ^= 0x01;
    cases.push_back({"PNG image data CRC",
                     kPngSignature + png_chunk("IHDR", png.ihdr()) + idat + png_chunk("IEND", ""),
                     "CRC error"});
  }
  {
    Png one_bit;
    one_bit.width = 8;
    one_bit.bit_depth = 1;
    one_bit.rows = {std::string(1, '\x55')};
    cases.push_back({"PNG 1-bit grey", one_bit.bytes(), "1-bit grey samples are not supported"});
    Png wide = grey_png(rows);
    wide.width = 4097;
    cases.push_back({"PNG 4097 wide", wide.bytes(), "larger than the engine takes"});
    Png tall = grey_png(rows);
    tall.height = 100000;
    cases.push_back({"PNG 100000 high", tall.bytes(), "larger than the engine takes"});
    Png zero = grey_png(rows);
    zero.width = 0;
    cases.push_back({"PNG 0 wide", zero.bytes(), "Image width is zero"});
  }
  {
    Tiff bad_ifd = grey_tiff(rows);
    bad_ifd.ifd_offset = 1 << 20;
    cases.push_back({"TIFF IFD offset past the end", bad_ifd.bytes(), "not a readable TIFF picture"});
    Tiff strip = grey_tiff(rows);
    strip.strip_offset = 1 << 20;
    cases.push_back({"TIFF strip past the end", strip.bytes(), "damaged or cut short"});
    cases.push_back({"TIFF cut in its strip", good_tiff.substr(0, good_tiff.size() - 3), "damaged or cut short"});
    // Refused from the header, before 23 MB of image are made for 64 bytes.
    cases.push_back({"TIFF uncompressed, more samples than the file", plain_tiff(4096, 2816, 1, 16, std::string(64, '\0')).bytes(),
                     "damaged or cut short (23068672 bytes of samples in a file of "});
    cases.push_back({"TIFF header only", good_tiff.substr(0, 8), "not a readable TIFF picture"});
    cases.push_back({"TIFF 1-bit", plain_tiff(8, 1, 1, 1, "\x55").bytes(),
                     "1-bit samples are not supported (8 or 16 bits)"});
    Tiff floats = plain_tiff(1, 1, 1, 32, std::string(4, '\0'));
    floats.set(339, {3});
    cases.push_back({"TIFF float", floats.bytes(), "floating-point samples are not supported"});
    cases.push_back({"TIFF 32-bit integers", plain_tiff(1, 1, 1, 32, std::string(4, '\0')).bytes(),
                     "32-bit samples are not supported"});
    Tiff signed_ints = plain_tiff(1, 1, 1, 16, std::string(2, '\0'));
    signed_ints.set(339, {2});
    cases.push_back({"TIFF signed 16-bit", signed_ints.bytes(), "signed integer samples are not supported"});
    cases.push_back({"TIFF 5 samples", plain_tiff(1, 1, 5, 8, std::string(5, '\0')).bytes(),
                     "5 samples per pixel are not supported (1 to 4)"});
    cases.push_back({"TIFF 4097 wide", plain_tiff(4097, 1, 1, 8, std::string(4097, '\0')).bytes(),
                     "the picture is 4097 x 1 pixels; the engine takes 1 to 4096 on either side"});
    Tiff palette = grey_tiff(rows);
    palette.set(262, {3});
    palette.set(320, std::vector<uint32_t>(3 * 256, 0));  // without its map libtiff takes it for grey
    cases.push_back({"TIFF palette", palette.bytes(), "colour-mapped (palette)"});
    Tiff jpeg = grey_tiff(rows);
    jpeg.set(259, {7});
    cases.push_back({"TIFF JPEG", jpeg.bytes(), "compression 7 is not supported"});
    Tiff planes = plain_tiff(1, 1, 3, 8, std::string(3, '\0'));
    planes.set(284, {2});
    cases.push_back({"TIFF separate planes", planes.bytes(), "separate planes are not supported"});
    Tiff turned = grey_tiff(rows);
    turned.set(274, {6});
    cases.push_back({"TIFF turned a quarter", turned.bytes(), "orientation 6"});
  }
  {
    GreyImageOwner pattern = test_pattern(9, 9);
    ASSERT_EQ(img_save_bmp(pattern.get(), "good.bmp"), BMP_OK);
    const std::string bmp = read_file_bytes("good.bmp");
    cases.push_back({"BMP cut in its rows", bmp.substr(0, bmp.size() - 50), "cut short"});
    GreyImageOwner words(img_create(2, 3, 3));
    ASSERT_EQ(img_save_bmp(words.get(), "words.bmp"), BMP_OK);
    cases.push_back({"BMP 16-bit", read_file_bytes("words.bmp"), "16-bit bitmaps are not supported"});
    std::string rle = bmp;
    rle[30] = 1;
    cases.push_back({"BMP run-length", rle, "not a bitmap the engine reads"});
    std::string wide = bmp;
    wide[18] = 0x01;
    wide[19] = 0x10;  // 4097
    cases.push_back({"BMP 4097 wide", wide, "outside 1 to 4096 pixels"});
  }

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    write_file_bytes("bad.pic", c.bytes);
    const std::string message = read_error("bad.pic");
    EXPECT_EQ(message.rfind("Cannot read file \"bad.pic\": ", 0), 0u) << message;
    EXPECT_NE(message.find(c.reason), std::string::npos) << message;
  }

  EXPECT_EQ(read_error("missing.png"), "Cannot open file \"missing.png\"");
  std::filesystem::create_directory("folder.png");
  EXPECT_EQ(read_error("folder.png"), "Cannot read file \"folder.png\"");
}

TEST(CameraPicture, KindComesFromTheSignature) {
  struct Case {
    std::string head;
    PictureKind kind;
  };
  const Case cases[] = {
      {"BM", PictureKind::bmp},
      {kPngSignature, PictureKind::png},
      {kPngSignature.substr(0, 7), PictureKind::unknown},  // one byte short
      {std::string("II*\0", 4), PictureKind::tiff},
      {std::string("MM\0*", 4), PictureKind::tiff},
      {std::string("II+\0", 4), PictureKind::tiff},  // BigTIFF
      {std::string("II\0*", 4), PictureKind::unknown},
      {"B", PictureKind::unknown},
      {"", PictureKind::unknown},
  };
  for (const Case& c : cases)
    EXPECT_EQ(picture_kind(reinterpret_cast<const uint8_t*>(c.head.data()), c.head.size()), c.kind)
        << c.head;
}

}  // namespace
