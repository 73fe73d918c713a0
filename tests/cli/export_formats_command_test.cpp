// `fringe scan` on pictures of every kind and `fringe export --format`, called
// as the argument parser calls them.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>

#include "cli/commands.h"
#include "cli/export_formats_command.h"
#include "common/errors.h"
#include "formats/camera_picture.h"
#include "formats/picture_writers.h"
#include "temp_dir.h"

namespace {

TEST(FringeTool, ScanTakesPngAndTiffAndFailsOnACutPicture) {
  TempDir dir;
  cmd_init(".");
  SimulateOptions options;
  options.seed = 1;
  cmd_simulate(options, nullptr);
  const GreyImageOwner image = read_camera_picture("sim00.bmp");
  write_file_bytes("camera.png", png_bytes(grey_samples(*image, 16)));
  write_file_bytes("camera.tif", tiff_bytes(grey_samples(*image, 8), {TiffCompression::lzw}));
  cmd_scan("sim00.bmp", "scnmod.ini", "ScanParameter", {}, "bmp.txt");
  cmd_scan("camera.png", "scnmod.ini", "ScanParameter", {}, "png.txt");
  cmd_scan("camera.tif", "scnmod.ini", "ScanParameter", {}, "tif.txt");
  EXPECT_EQ(read_file_bytes("png.txt"), read_file_bytes("bmp.txt"));
  EXPECT_EQ(read_file_bytes("tif.txt"), read_file_bytes("bmp.txt"));

  // Once a profile without data was written and the tool exited 0.
  const std::string bmp = read_file_bytes("sim00.bmp");
  write_file_bytes("cut.bmp", bmp.substr(0, bmp.size() / 2));
  try {
    cmd_scan("cut.bmp", "scnmod.ini", "ScanParameter", {}, "cut.txt");
    FAIL() << "no error";
  } catch (const FileError& e) {
    EXPECT_STREQ(e.what(), "Cannot read file \"cut.bmp\": the file ends before the last pixel row (cut short)");
  }
  EXPECT_FALSE(std::filesystem::exists("cut.txt"));
}

TEST(FringeTool, ExportFormatsWritesOneFileEachBesideTheDataSet) {
  TempDir dir;
  cmd_init("work");
  std::filesystem::current_path("work");
  SimulateOptions options;
  options.seed = 3;
  cmd_simulate(options, nullptr);
  cmd_export_with(0, "../set", {{"gsf", "ply", "gsf", "png"}, "residual"}, nullptr);
  cmd_export_with(0, "../grid", {{"csv", "xyz"}, "profile"}, nullptr);
  std::filesystem::current_path("..");
  for (const char* file : {"set.gsf", "set.ply", "set.png", "grid.csv", "grid.xyz"})
    EXPECT_TRUE(std::filesystem::exists(file)) << file;
  for (const char* file : {"set.csv", "set_gray.bmp", "grid.gsf"})
    EXPECT_FALSE(std::filesystem::exists(file)) << file;
  // The residual: the 256 x 256 map. The profile: the engine's whole grid.
  EXPECT_EQ(read_file_bytes("set.gsf").substr(26, 22), "XRes = 256\nYRes = 256\n");
  const std::string csv = read_file_bytes("grid.csv");
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 256);
  EXPECT_EQ(std::count(csv.begin(), csv.begin() + static_cast<long>(csv.find('\n')), ','), 319);

  // Without formats, the eight files as before.
  std::filesystem::current_path("work");
  cmd_export_with(0, "../plain", {}, nullptr);
  std::filesystem::current_path("..");
  EXPECT_TRUE(std::filesystem::exists("plain_heights.txt"));
  EXPECT_FALSE(std::filesystem::exists("plain.gsf"));
}

TEST(FringeTool, ExportWritesTheClinicalMapsAndRefusesAPowerMapAsAHeightField) {
  TempDir dir;
  cmd_init(".");
  SimulateOptions options;
  options.seed = 3;
  options.surface = "sphere:cone=10/0/-1/0.8";
  cmd_simulate(options, nullptr);
  cmd_export_with(0, "power", {{"csv"}, "refractive"}, nullptr);
  cmd_export_with(0, "lift", {{"gsf", "csv"}, "elevation-toric"}, nullptr);
  // 256 rows of 256 values, NaN outside the mask; the refractive power of a
  // 7.5 mm cornea lies near 337 / 7.5 = 44.9 D, the elevation within microns.
  const std::string csv = read_file_bytes("power.csv");
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 256);
  const std::string lift = read_file_bytes("lift.csv");
  EXPECT_EQ(std::count(lift.begin(), lift.end(), '\n'), 256);
  EXPECT_TRUE(std::filesystem::exists("lift.gsf"));
  try {
    cmd_export_with(0, "bad", {{"gsf"}, "axial"}, nullptr);
    FAIL() << "no error";
  } catch (const std::invalid_argument& e) {
    EXPECT_STREQ(e.what(), "a power map is no height field: export it as csv, xyz or png");
  }
  EXPECT_FALSE(std::filesystem::exists("bad.gsf"));
}

TEST(FringeTool, FormatNamesAreCheckedAndTakenOnce) {
  EXPECT_EQ(parse_height_formats({"png", "gsf", "png"}),
            (std::vector<HeightFormat>{HeightFormat::png, HeightFormat::gsf}));
  EXPECT_THROW(parse_height_formats({"gsf", "tiff"}), std::invalid_argument);
}

}  // namespace
