// The engine on camera pictures of every kind: the same picture gives the
// same profile byte for byte, and a picture that cannot be read, or a profile
// that cannot be written, is an error with no profile passed off as new.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/errors.h"
#include "common/settings_file.h"
#include "error_of.h"
#include "formats/camera_picture.h"
#include "formats/picture_writers.h"
#include "fringe_image.h"
#include "runs/picture_scan.h"
#include "temp_dir.h"

namespace {

// A 640 x 512 camera of 0.02 mm pixels: a quarter of the work of the full
// picture, the whole sphere in view.
const SphereFringes kSphere{640, 512, 0.02, 10.0, 30.0, 7.5};

void write_scan_settings() {
  write_lines("scan.ini", {"[ScanParameter]", "LambdaF=10.0", "CamResX=0.02", "CamResY=0.02",
                           "Alpha=30", "NFilt=3", "FlawThr=15", "MaskRadius=3.3", "DepthLimit=-10.0"});
}

TEST(PictureScan, SamePictureAsBmpPngAndTiffGivesTheSameProfileBytes) {
  TempDir dir;
  write_scan_settings();
  ASSERT_TRUE(write_sphere_fringes(kSphere, "sphere.bmp"));
  SphereFringes flat = kSphere;
  flat.radius = 1e6;  // a plane as reference
  ASSERT_TRUE(write_sphere_fringes(flat, "plane.bmp"));
  const GreyImageOwner sphere = read_camera_picture("sphere.bmp");
  const GreyImageOwner plane = read_camera_picture("plane.bmp");

  scan_picture("sphere.bmp", std::nullopt, "scan.ini", "ScanParameter", "bmp.txt");
  scan_picture("sphere.bmp", "plane.bmp", "scan.ini", "ScanParameter", "bmp_reference.txt");
  const std::string expected = read_file_bytes("bmp.txt");
  ASSERT_GT(expected.size(), 1000u);
  ASSERT_NE(read_file_bytes("bmp_reference.txt"), expected);

  SampleImage colour = grey_samples(*sphere, 16);
  colour.channels = 3;
  colour.samples.clear();
  for (const uint16_t v : grey_samples(*sphere, 16).samples) colour.samples.insert(colour.samples.end(), {v, v, v});
  const std::vector<std::pair<std::string, std::string>> files = {
      {"png8.png", png_bytes(grey_samples(*sphere, 8))},
      {"png16.png", png_bytes(grey_samples(*sphere, 16))},
      {"tiff8.tif", tiff_bytes(grey_samples(*sphere, 8), {TiffCompression::deflate})},
      {"tiff16.tif", tiff_bytes(grey_samples(*sphere, 16), {TiffCompression::lzw, true, 64})},
      {"rgb16.png", png_bytes(colour)},
  };
  for (const auto& [name, bytes] : files) {
    SCOPED_TRACE(name);
    write_file_bytes(name, bytes);
    scan_picture(name, std::nullopt, "scan.ini", "ScanParameter", "profile.txt");
    EXPECT_EQ(read_file_bytes("profile.txt"), expected);
  }
  write_file_bytes("plane.tif", tiff_bytes(grey_samples(*plane, 16)));
  scan_picture("png16.png", "plane.tif", "scan.ini", "ScanParameter", "profile.txt");
  EXPECT_EQ(read_file_bytes("profile.txt"), read_file_bytes("bmp_reference.txt"));
}

TEST(PictureScan, NoProfileFromAPictureThatCannotBeRead) {
  TempDir dir;
  write_scan_settings();
  ASSERT_TRUE(write_sphere_fringes(kSphere, "sphere.bmp"));
  const std::string bmp = read_file_bytes("sphere.bmp");
  write_file_bytes("cut.bmp", bmp.substr(0, bmp.size() / 2));
  write_file_bytes("cut.png", png_bytes(grey_samples(*read_camera_picture("sphere.bmp"))).substr(0, 5000));
  ASSERT_TRUE(write_sphere_fringes({640, 511, 0.02, 10.0, 30.0, 7.5}, "lower.bmp"));
  ASSERT_TRUE(write_sphere_fringes({64, 512, 0.02, 10.0, 30.0, 7.5}, "narrow.bmp"));

  struct Case {
    const char* picture;
    std::optional<std::string> reference;
    const char* message;
  };
  const Case cases[] = {
      {"cut.bmp", std::nullopt,
       "Cannot read file \"cut.bmp\": the file ends before the last pixel row (cut short)"},
      {"cut.png", std::nullopt, "Cannot read file \"cut.png\": damaged or cut short (Read Error)"},
      {"sphere.bmp", "cut.bmp",
       "Cannot read file \"cut.bmp\": the file ends before the last pixel row (cut short)"},
      {"missing.png", std::nullopt, "Cannot open file \"missing.png\""},
      // A reference the engine would drop for its size, without a word.
      {"sphere.bmp", "lower.bmp",
       "Cannot read file \"lower.bmp\": the reference is 640 x 511 pixels of 8 bits, the picture (sphere.bmp) "
       "640 x 512 pixels of 8 bits"},
      {"narrow.bmp", "sphere.bmp",
       "Cannot read file \"sphere.bmp\": the reference is 640 x 512 pixels of 8 bits, the picture (narrow.bmp) "
       "64 x 512 pixels of 8 bits"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(error_of<FileError>([&] { scan_picture(c.picture, c.reference, "scan.ini", "ScanParameter", "new.txt"); }),
              c.message);
    EXPECT_FALSE(std::filesystem::exists("new.txt")) << c.picture;
  }

  // An earlier profile of that name stays as it was.
  write_file_bytes("old.txt", "earlier profile\n");
  EXPECT_NE(error_of<FileError>([] { scan_picture("cut.bmp", std::nullopt, "scan.ini", "ScanParameter", "old.txt"); }),
            "");
  EXPECT_EQ(read_file_bytes("old.txt"), "earlier profile\n");
}

TEST(PictureScan, NoProfileOfAPictureTooSmallForTheEngine) {
  TempDir dir;
  write_scan_settings();
  struct Case {
    SphereFringes picture;
    const char* message;
  };
  const Case cases[] = {
      {{2, 256, 0.02, 10.0, 30.0, 7.5}, "Cannot read file \"old.txt\": grid size 0 x 64 out of range"},
      {{1, 1, 0.02, 10.0, 30.0, 7.5}, "Cannot read file \"old.txt\": grid size 0 x 0 out of range"},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(write_sphere_fringes(c.picture, "small.bmp"));
    write_file_bytes("old.txt", "earlier profile\n");
    EXPECT_EQ(error_of<FileError>([] { scan_picture("small.bmp", std::nullopt, "scan.ini", "ScanParameter", "old.txt"); }),
              c.message);
    EXPECT_EQ(read_file_bytes("old.txt"), "earlier profile\n");
  }
}

TEST(PictureScan, ProfileThatCannotBeWrittenIsAnError) {
  TempDir dir;
  write_scan_settings();
  ASSERT_TRUE(write_sphere_fringes(kSphere, "sphere.bmp"));
  std::filesystem::create_directory("profile.txt");
  EXPECT_EQ(error_of<FileError>([] { scan_picture("sphere.bmp", std::nullopt, "scan.ini", "ScanParameter", "profile.txt"); }),
            "Cannot create file \"profile.txt\"");
  // A device is written in place and cannot be told from before: it counts
  // as written.
  EXPECT_EQ(error_of<FileError>([] { scan_picture("sphere.bmp", std::nullopt, "scan.ini", "ScanParameter", "/dev/null"); }),
            "");
}

}  // namespace
