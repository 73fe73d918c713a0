// "save data": the eight files of a channel's data set.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "exports/data_export.h"
#include "common/errors.h"
#include "temp_dir.h"

namespace {

struct DataSet {
  Picture raw{256, 256, PixelFormat::indexed8};
  Picture map_image{256, 256};
  HeightMatrix channel_map{256, 256, 0.0};
  HeightMatrix measured{256, 256, -0.5};
};

void write_image_settings(const char* extra = "Radius=7.5\r\n") {
  write_file_bytes("image.ini", std::string("XPixels=1280\r\nYPixels=1024\r\nXRes=0.01\r\nYRes=0.01\r\n"
                                            "LambdaF=10.0\r\nAlpha=30\r\n") +
                                    extra + "MAskXOfs=0.0\r\nMAskYOfs=0.0\r\n");
}

TEST(SaveDataSet, WritesEightFilesUnderTheBaseName) {
  TempDir dir;
  write_image_settings();
  DataSet d;
  d.raw.row(0)[0] = 77;
  d.channel_map(0, 128) = 0.0012345;
  d.channel_map(128, 255) = -2.5e-9;
  d.measured(255, 128) = 12.0;
  std::filesystem::create_directory("out");
  save_data_set("out/run1", d.raw, d.map_image, d.channel_map, d.measured, "image.ini", 10.24, 10.24);

  for (const char* suffix : {"_gray.bmp", "_col.bmp", "_heights.txt", "_hor_scan.txt",
                             "_hor_scan_profile.txt", "_vert_scan.txt", "_vert_scan_profile.txt",
                             "_parameter.txt"})
    EXPECT_TRUE(std::filesystem::exists(std::string("out/run1") + suffix)) << suffix;

  Picture gray, col;
  gray.load_bmp("out/run1_gray.bmp");
  col.load_bmp("out/run1_col.bmp");
  EXPECT_EQ(gray.format(), PixelFormat::indexed8);
  EXPECT_EQ(gray.row(0)[0], 77);
  EXPECT_EQ(col.format(), PixelFormat::bgr24);

  EXPECT_EQ(read_file_bytes("out/run1_heights.txt").substr(0, 28), "256 256 \n0.040000 0.040000 \n");
  const std::string hor = read_file_bytes("out/run1_hor_scan.txt");
  EXPECT_EQ(hor.substr(0, 13), "0.001234\r\n0\r\n");
  EXPECT_EQ(std::count(hor.begin(), hor.end(), '\n'), 256);
  const std::string vert = read_file_bytes("out/run1_vert_scan.txt");
  EXPECT_EQ(vert.substr(vert.size() - 12), "-2.5E-0009\r\n");
  const std::string profile = read_file_bytes("out/run1_hor_scan_profile.txt");
  EXPECT_EQ(profile.substr(profile.size() - 10), "-0.5\r\n12\r\n");

  EXPECT_EQ(read_file_bytes("out/run1_parameter.txt"),
            "x dimension in pixels      : 1280\r\n"
            "y dimension in pixels      : 1024\r\n"
            "resolution in mm/pixel     : 0.01\r\n"
            "wavelength in pixels       : 10.0\r\n"
            "triangulation angle in deg : 30\r\n"
            "radius in mm               : 7.5\r\n"
            "horizontal and vertival line scans: 256 data points, 0.04 mm/point\r\n");
}

TEST(SaveDataSet, ExtensionStaysAndMissingKeysGiveEmptyValues) {
  TempDir dir;
  write_image_settings("");
  DataSet d;
  save_data_set("run1.dat", d.raw, d.map_image, d.channel_map, d.measured, "image.ini", 10.24, 10.24);
  EXPECT_TRUE(std::filesystem::exists("run1.dat_gray.bmp"));
  const std::string text = read_file_bytes("run1.dat_parameter.txt");
  EXPECT_NE(text.find("\r\nradius in mm               : \r\n"), std::string::npos) << text;
}

TEST(SaveDataSet, MissingSettingsFileWritesNothing) {
  TempDir dir;
  DataSet d;
  EXPECT_THROW(save_data_set("r", d.raw, d.map_image, d.channel_map, d.measured, "image.ini", 10.24,
                             10.24),
               FileError);
  EXPECT_FALSE(std::filesystem::exists("r_gray.bmp"));
  EXPECT_FALSE(std::filesystem::exists("r_parameter.txt"));
}

TEST(SaveDataSet, TheSurfaceEndsTheParameterListWhereItIsNotTheSphere) {
  TempDir dir;
  write_image_settings();
  DataSet d;
  const auto list = [&](const Surface& surface) {
    save_data_set("run", d.raw, d.map_image, d.channel_map, d.measured, "image.ini", 10.24, 10.24, surface);
    return read_file_bytes("run_parameter.txt");
  };
  // The sphere's list (WritesEightFilesUnderTheBaseName above) stays byte for
  // byte, also where a sphere's file keeps numbers.
  const std::string sphere = list(Surface{});
  EXPECT_TRUE(sphere.ends_with("0.04 mm/point\r\n")) << sphere;
  EXPECT_EQ(list({.model = SurfaceModel::sphere, .rx = 7.6, .ry = 7.9, .axis_deg = 30, .q = -0.2}), sphere);
  EXPECT_EQ(list({.model = SurfaceModel::biconic, .rx = 7.6, .ry = 7.9, .axis_deg = 30, .q = -0.2}),
            sphere +
                "surface model              : biconic\r\n"
                "radius Rx in mm            : 7.6\r\n"
                "radius Ry in mm            : 7.9\r\n"
                "axis of Rx in deg          : 30\r\n"
                "conic constant Q           : -0.2\r\n");
  // Each number as the shortest text that reads back.
  EXPECT_EQ(list({.model = SurfaceModel::biconic, .rx = 1.0 / 3.0, .ry = 1e-1, .axis_deg = -412.5, .q = 1e-9}),
            sphere +
                "surface model              : biconic\r\n"
                "radius Rx in mm            : 0.3333333333333333\r\n"
                "radius Ry in mm            : 0.1\r\n"
                "axis of Rx in deg          : -412.5\r\n"
                "conic constant Q           : 1e-09\r\n");
}

}  // namespace
