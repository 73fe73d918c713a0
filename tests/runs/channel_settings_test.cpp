// The settings files as "default" followed by "OK" writes them, and how the
// engine and the start-up read them back.
#include <gtest/gtest.h>

#include "common/errors.h"
#include "runs/channel_settings.h"
#include "scan.h"
#include "temp_dir.h"

namespace {

TEST(DefaultSettings, FilesHoldTheDialogsLinesWithCrLf) {
  TempDir dir;
  write_default_settings(".");
  EXPECT_EQ(read_file_bytes("scnmod.ini"),
            "[ScanParameter]\r\nLambdaF=10.0\r\nCamResX=0.01\r\nCamResY=0.01\r\nAlpha=30\r\n"
            "NFilt=3\r\nFlawThr=15\r\nMaskRadius=3.3\r\nMAskXOfs=0.0\r\nMAskYOfs=0.0\r\n"
            "DepthLimit=-10.0\r\n");
  EXPECT_EQ(read_file_bytes("image.ini"),
            "XPixels=1280\r\nYPixels=1024\r\nXRes=0.01\r\nYRes=0.01\r\nLambdaF=10.0\r\n"
            "Alpha=30\r\nRadius=7.5\r\nMAskXOfs=0.0\r\nMAskYOfs=0.0\r\n");
  EXPECT_EQ(read_file_bytes("scnmod_1.ini"), read_file_bytes("scnmod.ini"));
  EXPECT_EQ(read_file_bytes("image_1.ini"), read_file_bytes("image.ini"));
}

TEST(DefaultSettings, BoxTextsAreCopiedUnchanged) {
  ChannelSettingsTexts texts;
  texts.xres = "1e-2";
  texts.lambda = "12.5 px";
  texts.filters = "";
  const auto scan = scan_settings_lines(texts);
  ASSERT_EQ(scan.size(), 11u);
  EXPECT_EQ(scan[2], "CamResX=1e-2");
  EXPECT_EQ(scan[3], "CamResY=1e-2");
  EXPECT_EQ(scan[1], "LambdaF=12.5 px");
  EXPECT_EQ(scan[5], "NFilt=");
  const auto image = image_settings_lines(texts);
  ASSERT_EQ(image.size(), 9u);
  EXPECT_EQ(image[3], "YRes=1e-2");
}

TEST(DefaultSettings, EngineAndStartUpReadThemBack) {
  TempDir dir;
  write_default_settings(".");
  ScnPar par{};
  scn_LoadPar(&par, "./scnmod.ini", "ScanParameter");
  EXPECT_EQ(par.NFilt, 3);
  EXPECT_EQ(par.FlawThr, 15);
  EXPECT_EQ(par.LambdaF, 10.0);
  EXPECT_EQ(par.CamResX, 0.01);
  EXPECT_EQ(par.MaskRadius, 3.3);
  EXPECT_EQ(par.MaskXOfs, 0.0);
  EXPECT_EQ(par.DepthLimit, -10.0);

  SimParams params;
  params.radius = 1.0;
  load_sim_params(params, "./scnmod_1.ini", "./image_1.ini");
  EXPECT_EQ(params.x_pixels, 1280);
  EXPECT_EQ(params.y_pixels, 1024);
  EXPECT_EQ(params.pixel_size, 0.01);
  EXPECT_EQ(params.fringe_period, 10.0);
  EXPECT_EQ(params.alpha_deg, 30.0);
  EXPECT_EQ(params.radius, 7.5);
}

TEST(DefaultSettings, UnwritableDirectoryIsAFileError) {
  TempDir dir;
  write_file_bytes("plain_file", "x");
  EXPECT_THROW(write_default_settings("plain_file"), FileError);
}

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
