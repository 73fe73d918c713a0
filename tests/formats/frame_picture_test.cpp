// Frames keep their depth: 16-bit PNG and TIFF pictures read back every
// sample, 8-bit pictures read as camera pictures do, colour is weighted at 16
// bits, and bad files give the readers' own errors.
#include "formats/frame_picture.h"

#include <gtest/gtest.h>

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

// A 16-bit frame whose high and low bytes both vary, no two rows alike, with
// 0 and 65535 in the corner: a byte swap, a reduction to 8 bits or a flip all show.
GreyImageOwner frame16(int width = 29, int height = 17) {
  GreyImageOwner image(img_create(2, width, height));
  for (int row = 0; row < height; ++row) {
    auto* line = reinterpret_cast<uint16_t*>(img_line(image.get(), row));
    for (int x = 0; x < width; ++x) line[x] = static_cast<uint16_t>((x * 2311 + row * 40503 + x * row * 7 + 1) % 65536);
  }
  reinterpret_cast<uint16_t*>(img_line(image.get(), 0))[0] = 0;
  reinterpret_cast<uint16_t*>(img_line(image.get(), 0))[1] = 65535;
  return image;
}

uint16_t sample(const GreyImage& image, int row, int x) {
  return image.type == 2 ? reinterpret_cast<const uint16_t*>(img_line(&image, row))[x] : img_line(&image, row)[x];
}

std::vector<uint16_t> values_of(const GreyImage& image) {
  std::vector<uint16_t> values;
  for (int row = 0; row < image.height; ++row)
    for (int x = 0; x < image.width; ++x) values.push_back(sample(image, row, x));
  return values;
}

// Every layout a writer may choose (strips of every compression, partial
// big-endian tiles) reads back whole; the camera reader still reduces the
// same file to 8 bits.
TEST(FramePicture, SixteenBitPngAndTiffKeepEverySample) {
  TempDir dir;
  const GreyImageOwner frame = frame16();
  save_frame_picture(*frame, "frame.png");
  std::vector<std::pair<std::string, std::string>> files = {{"save_frame_picture", read_file_bytes("frame.png")}};
  const SampleImage samples = frame_samples(*frame);
  ASSERT_EQ(samples.bits, 16);
  for (const TiffCompression compression :
       {TiffCompression::none, TiffCompression::lzw, TiffCompression::deflate, TiffCompression::packbits}) {
    const std::string name = std::to_string(static_cast<int>(compression));
    files.push_back({"TIFF strips " + name, tiff_bytes(samples, {.compression = compression, .rows_per_strip = 5})});
    files.push_back({"TIFF tiles big-endian " + name,
                     tiff_bytes(samples, {.compression = compression, .tile_side = 16, .big_endian = true})});
  }
  for (const auto& [name, bytes] : files) {
    SCOPED_TRACE(name);
    write_file_bytes("frame.pic", bytes);
    const GreyImageOwner read = read_frame_picture("frame.pic");
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->type, 2);
    EXPECT_EQ(read->width, frame->width);
    EXPECT_EQ(read->height, frame->height);
    EXPECT_EQ(values_of(*read), values_of(*frame));
    const GreyImageOwner eight = read_camera_picture("frame.pic");
    EXPECT_EQ(eight->type, 1);
    EXPECT_EQ(img_line(eight.get(), 0)[1], 255);
  }
}

TEST(FramePicture, SixteenBitColourAlphaAndOrientationAtFullDepth) {
  TempDir dir;
  // RGBA, the weights' sums over 1000 on either side of a half and on a half.
  const struct {
    uint16_t r, g, b, grey;
  } pixels[] = {{65535, 65535, 65535, 65535},
                {1000, 0, 0, 299},
                {1, 1, 0, 1},
                {0, 0, 3, 0},
                {0, 0, 5, 1},
                {1, 0, 1, 0},
                {0, 1, 2, 1}};
  SampleImage colour{
      .width = static_cast<int>(std::size(pixels)), .height = 1, .channels = 4, .bits = 16, .samples = {}};
  for (const auto& p : pixels) colour.samples.insert(colour.samples.end(), {p.r, p.g, p.b, 7});
  for (const bool tiff : {false, true}) {
    write_file_bytes("colour.pic", tiff ? tiff_bytes(colour) : png_bytes(colour));
    const GreyImageOwner read = read_frame_picture("colour.pic");
    ASSERT_EQ(read->type, 2);
    for (std::size_t x = 0; x < std::size(pixels); ++x)
      EXPECT_EQ(sample(*read, 0, static_cast<int>(x)), pixels[x].grey) << (tiff ? "TIFF " : "PNG ") << x;
  }
  // Mirrored, bottom-up and min-is-white 16-bit TIFF of 10 11 / 20 21.
  std::string grey;
  for (const uint16_t v : {10, 11, 20, 21}) picture_bytes::put_le16(grey, v * 257);
  const struct {
    uint32_t orientation, photometric;
    uint16_t top_left;
  } orientations[] = {{1, 1, 10 * 257}, {2, 1, 11 * 257}, {4, 1, 20 * 257}, {1, 0, 65535 - 10 * 257}};
  for (const auto& o : orientations) {
    picture_bytes::Tiff tiff = picture_bytes::plain_tiff(2, 2, 1, 16, grey);
    tiff.set(274, {o.orientation});
    tiff.set(262, {o.photometric});
    write_file_bytes("turned.tif", tiff.bytes());
    const GreyImageOwner read = read_frame_picture("turned.tif");
    ASSERT_EQ(read->type, 2);
    EXPECT_EQ(sample(*read, 1, 0), o.top_left) << o.orientation << " " << o.photometric;
  }
}

TEST(FramePicture, EightBitPicturesReadAsCameraPictures) {
  TempDir dir;
  GreyImageOwner pattern(img_create(1, 13, 7));
  for (int row = 0; row < 7; ++row)
    for (int x = 0; x < 13; ++x) img_line(pattern.get(), row)[x] = static_cast<uint8_t>(x * 19 + row * 3);
  ASSERT_EQ(img_save_bmp(pattern.get(), "p.bmp"), BMP_OK);
  write_file_bytes("p.png", png_bytes(grey_samples(*pattern, 8)));
  write_file_bytes("p.tif", tiff_bytes(grey_samples(*pattern, 8), {TiffCompression::lzw}));
  for (const char* file : {"p.bmp", "p.png", "p.tif"}) {
    SCOPED_TRACE(file);
    const GreyImageOwner frame = read_frame_picture(file);
    ASSERT_EQ(frame->type, 1);
    EXPECT_EQ(values_of(*frame), values_of(*read_camera_picture(file)));
    EXPECT_EQ(values_of(*frame), values_of(*pattern));
    EXPECT_TRUE(frame->colours == grey_ramp());
  }
}

TEST(FramePicture, SavesEachDepthAsItsFileAndRefusesColour) {
  TempDir dir;
  GreyImageOwner eight(img_create(1, 5, 3));
  for (int row = 0; row < 3; ++row) img_line(eight.get(), row)[row] = static_cast<uint8_t>(100 + row);
  const GreyImageOwner sixteen = frame16(4, 3);

  // 8 bits: the engine's bitmap, byte for byte; a ".PNG" name gives a PNG.
  // 16 bits: PNG whatever the name. Both read back whole.
  save_frame_picture(*eight, "f.bmp");
  ASSERT_EQ(img_save_bmp(eight.get(), "engine.bmp"), BMP_OK);
  EXPECT_EQ(read_file_bytes("f.bmp"), read_file_bytes("engine.bmp"));
  save_frame_picture(*eight, "f.PNG", Durability::atomic_only);
  save_frame_picture(*sixteen, "deep.bmp");
  for (const auto& [file, frame] : {std::pair{"f.PNG", eight.get()}, {"deep.bmp", sixteen.get()}}) {
    EXPECT_EQ(read_file_bytes(file).substr(1, 3), "PNG") << file;
    EXPECT_EQ(values_of(*read_frame_picture(file)), values_of(*frame)) << file;
  }

  // A colour image is refused before the file is touched.
  write_file_bytes("keep.png", "earlier");
  GreyImageOwner colour(img_create(3, 2, 2));
  EXPECT_THROW(save_frame_picture(*colour, "keep.png"), std::invalid_argument);
  EXPECT_EQ(read_file_bytes("keep.png"), "earlier");

  // A file that cannot be made: the common error.
  for (const auto& [file, frame] : {std::pair{"no_such_dir/f.png", eight.get()},
                                    {"no_such_dir/f.png", sixteen.get()},
                                    {"no_such_dir/f.bmp", eight.get()}})
    EXPECT_EQ(error_of<FileError>([&] { save_frame_picture(*frame, file); }), "Cannot create file \"" + std::string(file) + "\"");
}

TEST(FramePicture, BadFilesGiveTheReadersErrors) {
  TempDir dir;
  const GreyImageOwner frame = frame16();
  save_frame_picture(*frame, "whole.png");
  const std::string png = read_file_bytes("whole.png");
  const std::string tiff = tiff_bytes(frame_samples(*frame));
  write_file_bytes("cut.png", png.substr(0, png.size() / 2));
  write_file_bytes("empty.png", "");
  write_file_bytes("text.tif", "not a picture at all");
  write_file_bytes("cut.tif", tiff.substr(0, tiff.size() / 3));
  std::filesystem::create_directory("folder.png");
  for (const std::string file : {"missing.png", "cut.png", "empty.png", "text.tif", "cut.tif", "folder.png"}) {
    const std::string error = error_of<FileError>([&] { read_frame_picture(file); });
    EXPECT_NE(error.find("\"" + file + "\""), std::string::npos) << error;
    EXPECT_EQ(error, error_of<FileError>([&] { read_camera_picture(file); }));
  }
  EXPECT_EQ(error_of<FileError>([] { read_frame_picture("missing.png"); }), "Cannot open file \"missing.png\"");
  EXPECT_EQ(error_of<FileError>([] { read_frame_picture("text.tif"); }),
            "Cannot read file \"text.tif\": neither a BMP, a PNG nor a TIFF picture");
}

}  // namespace
