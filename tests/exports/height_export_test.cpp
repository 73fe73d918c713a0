// The height export: the profile as the engine wrote it, no data by the
// channel's depth limit; the residual inside the mask; each format written
// whole or not at all.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>

#include "common/errors.h"
#include "common/settings_file.h"
#include "file_size_limit.h"
#include "exports/height_export.h"
#include "temp_dir.h"

namespace {

TEST(HeightExport, ProfileTakesTheEnginesGridAndTheChannelsDepthLimit) {
  TempDir dir;
  // 3 x 2 points, 0.04 mm apart; channel 1's scan settings put the limit at -5.
  write_file_bytes("profile01.txt",
                   "3 2\n0.040000 0.050000\n-5.000000\n0.001000\n-4.999000\n0.5\n-10.000000\n0.25\n");
  write_lines("scnmod_1.ini", {"[ScanParameter]", "DepthLimit=-5"});
  const HeightExport profile = profile_export(1);
  EXPECT_EQ(profile.field.title, "measured profile, channel 1");
  write_height_export(profile, HeightFormat::csv, "p.csv");
  EXPECT_EQ(read_file_bytes("p.csv"), "nan,0.001,-4.999\n0.5,nan,0.25\n");
  write_height_export(profile, HeightFormat::gsf, "p.gsf");
  EXPECT_EQ(read_file_bytes("p.gsf").substr(26, 18), "XRes = 3\nYRes = 2\n");
  // The colour map of the grid, one pixel per point, white where no data.
  EXPECT_EQ(profile.picture.width(), 3);
  EXPECT_EQ(profile.picture.height(), 2);
  EXPECT_EQ(profile.picture.pixel(0, 0), kWhite);
  EXPECT_NE(profile.picture.pixel(1, 0), kWhite);
  EXPECT_NE(profile.picture.pixel(0, 1), kWhite) << "the highest point has a colour";

  // Without settings the engine's default limit, -10, holds.
  std::filesystem::remove("scnmod_1.ini");
  write_height_export(profile_export(1), HeightFormat::csv, "p.csv");
  EXPECT_EQ(read_file_bytes("p.csv"), "-5,0.001,-4.999\n0.5,nan,0.25\n");

  try {
    profile_export(0);
    FAIL() << "no error";
  } catch (const FileError& e) {
    EXPECT_STREQ(e.what(), "Cannot open file \"./profile00.txt\"");
  }
}

TEST(HeightExport, EachFormatIsWrittenWholeOrNotAtAll) {
  TempDir dir;
  HeightMatrix residual(kMapSide, kMapSide, 0.001);
  HeightMatrix measured(kMapSide, kMapSide, -0.5);
  ProfileGeometry geometry;
  Picture map(kMapSide, kMapSide);
  const HeightExport heights = residual_export(0, residual, measured, geometry, 3.3, map);
  EXPECT_EQ(heights.field.title, "residual to the sphere, channel 0");

  for (const HeightFormat format :
       {HeightFormat::gsf, HeightFormat::csv, HeightFormat::xyz, HeightFormat::ply, HeightFormat::png}) {
    const std::string file = std::string("out") + height_format_extension(format);
    write_file_bytes(file, "earlier");
    {
      FileSizeLimit full(64);
      EXPECT_THROW(write_height_export(heights, format, file), FileError) << file;
    }
    EXPECT_EQ(read_file_bytes(file), "earlier") << file;
    write_height_export(heights, format, file);
    EXPECT_GT(read_file_bytes(file).size(), 64u) << file;
  }
}

}  // namespace
