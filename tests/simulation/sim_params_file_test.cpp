// Filling a simulation record from the settings files at start-up.
#include <gtest/gtest.h>

#include "common/errors.h"
#include "simulation/sim_params_file.h"
#include "temp_dir.h"

namespace {

TEST(LoadSimParams, ReadsBothFilesAndTruncatesTheSides) {
  TempDir dir;
  write_file_bytes("scan.ini",
                   "[ScanParameter]\r\nlambdaf=12.5\r\nCamResX=0.02\r\nAlpha=45\r\n"
                   "MAskXOfs=0.25\r\nMAskYOfs=-0.5\r\n");
  write_file_bytes("image.ini", "XPixels=1280.9\nYPixels=1000\nRadius=8.0\n");
  SimParams p;
  p.dynamic = 0.5;
  load_sim_params(p, "scan.ini", "image.ini");
  EXPECT_EQ(p.pixel_size, 0.02);
  EXPECT_EQ(p.fringe_period, 12.5);
  EXPECT_EQ(p.alpha_deg, 45.0);
  EXPECT_EQ(p.offset_x, 0.25);
  EXPECT_EQ(p.offset_y, -0.5);
  EXPECT_EQ(p.x_pixels, 1280);
  EXPECT_EQ(p.y_pixels, 1000);
  EXPECT_EQ(p.radius, 8.0);
  EXPECT_EQ(p.dynamic, 0.5) << "contrast is the track bar's, not the files'";
}

TEST(LoadSimParams, FailuresKeepWhatWasReadBefore) {
  TempDir dir;
  SimParams p;
  EXPECT_THROW(load_sim_params(p, "missing.ini", "image.ini"), FileError);
  EXPECT_EQ(p.pixel_size, 0.01);

  // "Alpha" is not a number: CamResX and LambdaF were read, the rest stays.
  write_file_bytes("scan.ini", "CamResX=0.03\r\nLambdaF=9\r\nAlpha=thirty\r\nMaskXOfs=1\r\n");
  EXPECT_THROW(load_sim_params(p, "scan.ini", "image.ini"), ConversionError);
  EXPECT_EQ(p.pixel_size, 0.03);
  EXPECT_EQ(p.fringe_period, 9.0);
  EXPECT_EQ(p.alpha_deg, 30.0);
  EXPECT_EQ(p.offset_x, 0.0);

  // A missing key is the empty text, which is not a number either.
  write_file_bytes("scan.ini", "CamResX=0.01\r\nLambdaF=10\r\nAlpha=30\r\nMaskXOfs=0\r\nMaskYOfs=0\r\n");
  write_file_bytes("image.ini", "XPixels=99999999999\r\n");
  EXPECT_THROW(load_sim_params(p, "scan.ini", "image.ini"), ConversionError);
  EXPECT_EQ(p.x_pixels, 1280);
}

}  // namespace
