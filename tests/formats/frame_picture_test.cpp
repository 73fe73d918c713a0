// Frames keep their depth: 16-bit PNG and TIFF pictures read back every
// sample, 8-bit pictures read as camera pictures do, colour is weighted at 16
// bits, and bad files give the readers' own errors.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "common/errors.h"
#include "formats/camera_picture.h"
#include "formats/frame_picture.h"
#include "formats/grey_levels.h"
#include "formats/picture_writers.h"
#include "picture_bytes.h"
#include "temp_dir.h"

namespace {

// A 16-bit frame whose high and low bytes both vary and no two rows are
// alike: a byte swap, a reduction to 8 bits or a flip all show.
GreyImageOwner frame16(int width = 29, int height = 17) {
  GreyImageOwner image(img_create(2, width, height));
  for (int row = 0; row < height; ++row) {
    auto* line = reinterpret_cast<uint16_t*>(img_line(image.get(), row));
    for (int x = 0; x < width; ++x)
      line[x] = static_cast<uint16_t>((x * 2311 + row * 40503 + x * row * 7 + 1) % 65536);
  }
  auto* corner = reinterpret_cast<uint16_t*>(img_line(image.get(), 0));
  corner[0] = 0;
  corner[1] = 65535;
  return image;
}

std::vector<uint16_t> values_of(const GreyImage& image) {
  std::vector<uint16_t> values;
  for (int row = 0; row < image.height; ++row) {
    if (image.type == 2) {
      const auto* line = reinterpret_cast<const uint16_t*>(img_line(&image, row));
      values.insert(values.end(), line, line + image.width);
    } else {
      const uint8_t* line = img_line(&image, row);
      values.insert(values.end(), line, line + image.width);
    }
  }
  return values;
}

std::string frame_error(const std::string& file) {
  try {
    read_frame_picture(file);
  } catch (const FileError& error) {
    return error.what();
  }
  return "no error";
}

std::string camera_error(const std::string& file) {
  try {
    read_camera_picture(file);
  } catch (const FileError& error) {
    return error.what();
  }
  return "no error";
}

TEST(FramePicture, SixteenBitPngAndTiffKeepEverySample) {
  TempDir dir;
  const GreyImageOwner frame = frame16();
  const std::vector<uint16_t> expected = values_of(*frame);

  save_frame_picture(*frame, "frame.png");
  struct Case {
    std::string name;
    std::string bytes;
  };
  std::vector<Case> cases = {{"save_frame_picture", read_file_bytes("frame.png")}};
  const SampleImage samples = frame_samples(*frame);
  ASSERT_EQ(samples.bits, 16);
  for (const TiffCompression compression :
       {TiffCompression::none, TiffCompression::lzw, TiffCompression::deflate, TiffCompression::packbits}) {
    TiffLayout strips;
    strips.compression = compression;
    strips.rows_per_strip = 5;
    cases.push_back({"TIFF strips " + std::to_string(static_cast<int>(compression)), tiff_bytes(samples, strips)});
    TiffLayout tiles = strips;
    tiles.tile_side = 16;  // partial tiles at the right and bottom
    tiles.big_endian = true;
    cases.push_back({"TIFF tiles big-endian " + std::to_string(static_cast<int>(compression)),
                     tiff_bytes(samples, tiles)});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    write_file_bytes("frame.pic", c.bytes);
    const GreyImageOwner read = read_frame_picture("frame.pic");
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->type, 2);
    EXPECT_EQ(read->width, frame->width);
    EXPECT_EQ(read->height, frame->height);
    EXPECT_EQ(values_of(*read), expected);
    // The camera reader still reduces the same file to 8 bits.
    const GreyImageOwner eight = read_camera_picture("frame.pic");
    EXPECT_EQ(eight->type, 1);
    EXPECT_EQ(img_line(eight.get(), 0)[1], 255);
  }
}

TEST(FramePicture, SixteenBitColourAlphaAndOrientationAtFullDepth) {
  TempDir dir;
  // One row, three pixels of colour; the weights' sums over 1000 fall on
  // either side of a half and on a half itself.
  struct Pixel {
    uint16_t r, g, b;
    uint16_t grey;
  };
  const Pixel pixels[] = {
      {65535, 65535, 65535, 65535},
      {1000, 0, 0, 299},   // 299 000 / 1000
      {1, 1, 0, 1},        // 0.886 up
      {0, 0, 3, 0},        // 0.342 down
      {0, 0, 5, 1},        // 0.570 up
      {1, 0, 1, 0},        // 0.413 down
      {0, 1, 2, 1},        // 0.815 up
  };
  SampleImage colour;
  colour.width = static_cast<int>(std::size(pixels));
  colour.height = 1;
  colour.channels = 4;
  colour.bits = 16;
  for (const Pixel& p : pixels) colour.samples.insert(colour.samples.end(), {p.r, p.g, p.b, 7});
  for (const bool tiff : {false, true}) {
    SCOPED_TRACE(tiff ? "TIFF" : "PNG");
    write_file_bytes("colour.pic", tiff ? tiff_bytes(colour) : png_bytes(colour));
    const GreyImageOwner read = read_frame_picture("colour.pic");
    ASSERT_EQ(read->type, 2);
    for (std::size_t x = 0; x < std::size(pixels); ++x)
      EXPECT_EQ(reinterpret_cast<const uint16_t*>(img_line(read.get(), 0))[x], pixels[x].grey) << x;
  }
  // Grey + alpha, mirrored, bottom-up and min-is-white TIFF at 16 bits.
  const std::vector<std::vector<uint8_t>> rows = {{10, 11}, {20, 21}};
  struct Orientation {
    uint32_t tag;
    uint32_t photometric;
    uint16_t top_left;
  };
  for (const Orientation o : {Orientation{1, 1, 10 * 257}, Orientation{2, 1, 11 * 257},
                              Orientation{4, 1, 20 * 257}, Orientation{1, 0, 65535 - 10 * 257}}) {
    SCOPED_TRACE(o.tag * 10 + o.photometric);
    SampleImage grey;
    grey.width = 2;
    grey.height = 2;
    grey.bits = 16;
    for (const auto& row : rows)
      for (const uint8_t v : row) grey.samples.push_back(static_cast<uint16_t>(v * 257));
    picture_bytes::Tiff tiff = picture_bytes::plain_tiff(2, 2, 1, 16, [&] {
      std::string pixels;
      for (const uint16_t v : grey.samples) picture_bytes::put_le16(pixels, v);
      return pixels;
    }());
    tiff.set(274, {o.tag});
    tiff.set(262, {o.photometric});
    write_file_bytes("turned.tif", tiff.bytes());
    const GreyImageOwner read = read_frame_picture("turned.tif");
    ASSERT_EQ(read->type, 2);
    EXPECT_EQ(reinterpret_cast<const uint16_t*>(img_line(read.get(), 1))[0], o.top_left);
  }
}

TEST(FramePicture, EightBitPicturesReadAsCameraPictures) {
  TempDir dir;
  GreyImageOwner pattern(img_create(1, 13, 7));
  for (int row = 0; row < 7; ++row)
    for (int x = 0; x < 13; ++x) img_line(pattern.get(), row)[x] = static_cast<uint8_t>(x * 19 + row * 3);
  ASSERT_EQ(img_save_bmp(pattern.get(), "p.bmp"), BMP_OK);
  const SampleImage grey8 = grey_samples(*pattern, 8);
  write_file_bytes("p.png", png_bytes(grey8));
  write_file_bytes("p.tif", tiff_bytes(grey8, {TiffCompression::lzw}));
  for (const char* file : {"p.bmp", "p.png", "p.tif"}) {
    SCOPED_TRACE(file);
    const GreyImageOwner frame = read_frame_picture(file);
    const GreyImageOwner camera = read_camera_picture(file);
    ASSERT_EQ(frame->type, 1);
    EXPECT_EQ(values_of(*frame), values_of(*camera));
    EXPECT_EQ(values_of(*frame), values_of(*pattern));
    EXPECT_TRUE(frame->colours == grey_ramp());
  }
}

TEST(FramePicture, SavesEachDepthAsItsFileAndRefusesColour) {
  TempDir dir;
  GreyImageOwner eight(img_create(1, 5, 3));
  for (int row = 0; row < 3; ++row) img_line(eight.get(), row)[row] = static_cast<uint8_t>(100 + row);

  // 8 bits: the engine's bitmap, byte for byte; a ".PNG" name gives a PNG.
  save_frame_picture(*eight, "f.bmp");
  ASSERT_EQ(img_save_bmp(eight.get(), "engine.bmp"), BMP_OK);
  EXPECT_EQ(read_file_bytes("f.bmp"), read_file_bytes("engine.bmp"));
  save_frame_picture(*eight, "f.PNG", Durability::atomic_only);
  EXPECT_EQ(read_file_bytes("f.PNG").substr(1, 3), "PNG");
  EXPECT_EQ(values_of(*read_frame_picture("f.PNG")), values_of(*eight));

  // 16 bits: PNG whatever the name, read back whole.
  const GreyImageOwner sixteen = frame16(4, 3);
  save_frame_picture(*sixteen, "deep.bmp");
  EXPECT_EQ(read_file_bytes("deep.bmp").substr(1, 3), "PNG");
  EXPECT_EQ(values_of(*read_frame_picture("deep.bmp")), values_of(*sixteen));

  // A colour image is refused before the file is touched.
  write_file_bytes("keep.png", "earlier");
  GreyImageOwner colour(img_create(3, 2, 2));
  EXPECT_THROW(save_frame_picture(*colour, "keep.png"), std::invalid_argument);
  EXPECT_EQ(read_file_bytes("keep.png"), "earlier");

  // A file that cannot be made: the common error, nothing left behind.
  for (const GreyImage* frame : {eight.get(), sixteen.get()}) {
    try {
      save_frame_picture(*frame, "no_such_dir/f.png");
      ADD_FAILURE() << "saved into a missing folder";
    } catch (const FileError& error) {
      EXPECT_STREQ(error.what(), "Cannot create file \"no_such_dir/f.png\"");
    }
  }
  try {
    save_frame_picture(*eight, "no_such_dir/f.bmp");
    ADD_FAILURE() << "saved into a missing folder";
  } catch (const FileError& error) {
    EXPECT_STREQ(error.what(), "Cannot create file \"no_such_dir/f.bmp\"");
  }
}

TEST(FramePicture, BadFilesGiveTheReadersErrors) {
  TempDir dir;
  const GreyImageOwner frame = frame16();
  save_frame_picture(*frame, "whole.png");
  const std::string png = read_file_bytes("whole.png");
  write_file_bytes("cut.png", png.substr(0, png.size() / 2));
  write_file_bytes("empty.png", "");
  write_file_bytes("text.tif", "not a picture at all");
  const std::string tiff = tiff_bytes(frame_samples(*frame));
  write_file_bytes("cut.tif", tiff.substr(0, tiff.size() / 3));
  std::filesystem::create_directory("folder.png");

  for (const char* file : {"missing.png", "cut.png", "empty.png", "text.tif", "cut.tif", "folder.png"}) {
    SCOPED_TRACE(file);
    const std::string error = frame_error(file);
    EXPECT_NE(error, "no error");
    EXPECT_NE(error.find(std::string("\"") + file + "\""), std::string::npos) << error;
    EXPECT_EQ(error, camera_error(file));
  }
  EXPECT_EQ(frame_error("missing.png"), "Cannot open file \"missing.png\"");
  EXPECT_EQ(frame_error("text.tif"), "Cannot read file \"text.tif\": neither a BMP, a PNG nor a TIFF picture");
}

}  // namespace
