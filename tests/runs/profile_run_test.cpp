// The run behind "profile", without a window: scan, read back, compare with
// the perfect sphere, render.
#include <gtest/gtest.h>

#include <array>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "runs/profile_run.h"
#include "common/errors.h"
#include "common/settings_file.h"
#include "simulation/fringe_synthesis.h"
#include "simulation/random_generator.h"
#include "file_size_limit.h"
#include "temp_dir.h"

namespace {

struct Recorder final : RunObserver {
  std::vector<std::string> steps;
  std::vector<int> positions;
  void status(const std::string& text) override { steps.push_back(text); }
  void progress(int position) override { positions.push_back(position); }
};

// Channel 0's maps under short names: most runs here are channel 0's.
struct Workbench {
  std::array<ChannelMaps, 2> channels;
  HeightMatrix& height_map_0 = channels[0].height_map;
  HeightMatrix& height_map_1 = channels[1].height_map;
  HeightMatrix& measured_map = channels[0].measured_map;
  ProfileGeometry& geometry = channels[0].profile;
  HeightMatrix difference_map;
  Picture map_image{256, 256}, diff_image{256, 256};
  Recorder observer;

  ProfileRun run(int channel, std::string radius = "7.5", std::string mask = "3.3") {
    return ProfileRun{.channel = channel,
                      .channels = {&channels[0], &channels[1]},
                      .difference_map = difference_map,
                      .radius_text = radius,
                      .mask_radius_text = mask,
                      .map_image = map_image,
                      .diff_image = diff_image};
  }
};

void write_scan_settings(const char* file) {
  write_lines(file, {"[ScanParameter]", "LambdaF=10.0", "CamResX=0.01", "CamResY=0.01", "Alpha=30",
                     "NFilt=3", "FlawThr=15", "MaskRadius=3.3", "MAskXOfs=0.0", "MAskYOfs=0.0",
                     "DepthLimit=-10.0"});
}

void write_sphere_image(const char* file) {
  seed_random(1);
  ASSERT_EQ(synthesize_fringe_image(SimParams{}, file, 64, 5), 0);
}

TEST(FillSingleGaps, OnlyIsolatedGapsBetweenHeightsAreFilled) {
  HeightMatrix map(256, 256, 0.0);
  map(9, 20) = 0.001;
  map(10, 20) = kNoHeight;
  map(11, 20) = 0.003;
  map(50, 5) = kNoHeight;  // two in a row stay
  map(51, 5) = kNoHeight;
  map(0, 7) = kNoHeight;   // the border columns stay
  map(255, 7) = kNoHeight;
  map(100, 100) = kNoHeight;
  map(101, 100) = kNoHeight;
  map(102, 100) = 0.5;
  fill_single_gaps(map);
  EXPECT_DOUBLE_EQ(map(10, 20), 0.002);
  EXPECT_EQ(map(50, 5), kNoHeight);
  EXPECT_EQ(map(51, 5), kNoHeight);
  EXPECT_EQ(map(0, 7), kNoHeight);
  EXPECT_EQ(map(255, 7), kNoHeight);
  EXPECT_EQ(map(101, 100), kNoHeight);
}

TEST(ProfileRun, PerfectSphereLeavesOnlyASmallResidualInsideTheMask) {
  TempDir dir;
  write_scan_settings("scnmod.ini");
  write_sphere_image("sim00.bmp");
  Workbench w;
  w.height_map_1(3, 3) = 0.25;
  ProfileRun run = w.run(0);
  run_profile_comparison(run, w.observer);

  EXPECT_EQ(w.observer.steps, (std::vector<std::string>{"extracting height data             ",
                                                        "extracting reference heights               ",
                                                        "calculating differences             ",
                                                        "done                               "}));
  EXPECT_EQ(w.observer.positions, (std::vector<int>{90, 100}));
  EXPECT_EQ(w.geometry.cols, 256);
  EXPECT_EQ(w.geometry.rows, 256);
  EXPECT_DOUBLE_EQ(w.geometry.step_x, static_cast<double>(0.04f));
  EXPECT_NEAR(w.geometry.field_x, 10.24, 1e-6);

  // Outside the mask (radius 3.2 mm around the centre) the map is 0.0.
  EXPECT_EQ(w.height_map_0(0, 0), 0.0);
  EXPECT_EQ(w.height_map_0(128, 5), 0.0);
  // Inside, the measured sphere matches the perfect one to a few microns.
  double worst = 0.0;
  for (int x = 100; x <= 156; ++x)
    for (int y = 100; y <= 156; ++y) worst = std::max(worst, std::fabs(w.height_map_0(x, y)));
  EXPECT_LT(worst, 0.005);
  // The measured heights are kept: the apex near 0 (the fringe phase is
  // counted from the start pixel half a pixel off the apex), the rim far below.
  EXPECT_NEAR(w.measured_map(128, 128), 0.0, 0.02);
  EXPECT_LT(w.measured_map(128, 60), -0.4);
  EXPECT_EQ(w.difference_map(3, 3), w.height_map_0(3, 3) - 0.25);
  EXPECT_FALSE(read_file_bytes("profile00.txt").empty());
  EXPECT_EQ(read_file_bytes("perfect_sphere00.txt").substr(0, 28),
            "256 256 \n0.040000 0.040000 \n");
}

TEST(ProfileRun, SecondChannelSkipsTheNinetyAndRefreshesTheDifference) {
  TempDir dir;
  write_scan_settings("scnmod_1.ini");
  write_sphere_image("sim01.bmp");
  Workbench w;
  w.height_map_0(7, 9) = 0.125;
  ProfileRun run = w.run(1);
  run_profile_comparison(run, w.observer);
  EXPECT_EQ(w.observer.positions, (std::vector<int>{100}));
  EXPECT_EQ(w.difference_map(7, 9), 0.125 - w.height_map_1(7, 9));
  EXPECT_FALSE(read_file_bytes("perfect_sphere01.txt").empty());
}

TEST(ProfileRun, MissingImageChangesNothing) {
  TempDir dir;
  write_scan_settings("scnmod.ini");
  Workbench w;
  w.height_map_0(1, 1) = 0.5;
  ProfileRun run = w.run(0);
  try {
    run_profile_comparison(run, w.observer);
    FAIL() << "no error";
  } catch (const FileError& e) {
    EXPECT_STREQ(e.what(), "Cannot open file \"./sim00.bmp\"");
  }
  EXPECT_TRUE(w.observer.steps.empty());
  EXPECT_EQ(w.height_map_0(1, 1), 0.5);
  EXPECT_TRUE(read_file_bytes("profile00.txt").empty());
}

TEST(ProfileRun, RadiusThatIsNotANumberStopsAfterTheMeasuredHeights) {
  TempDir dir;
  write_scan_settings("scnmod.ini");
  write_sphere_image("sim00.bmp");
  Workbench w;
  const Picture before = w.map_image;
  ProfileRun run = w.run(0, "seven");
  EXPECT_THROW(run_profile_comparison(run, w.observer), ConversionError);
  EXPECT_EQ(w.height_map_0, w.measured_map);
  EXPECT_NEAR(w.height_map_0(128, 128), 0.0, 0.02);
  EXPECT_EQ(w.map_image.row(10)[10], before.row(10)[10]);
  EXPECT_TRUE(read_file_bytes("perfect_sphere00.txt").empty());
}

TEST(ProfileRun, TinyMaskGivesAnAllZeroMap) {
  TempDir dir;
  write_scan_settings("scnmod.ini");
  write_sphere_image("sim00.bmp");
  Workbench w;
  ProfileRun run = w.run(0, "7.5", "0.1");
  run_profile_comparison(run, w.observer);
  EXPECT_EQ(w.height_map_0, HeightMatrix(256, 256, 0.0));
}

}  // namespace

namespace {

TEST(ProfileRun, ProfileThatCannotBeWrittenIsNotTakenFromTheLastRun) {
  TempDir dir;
  write_scan_settings("scnmod.ini");
  write_sphere_image("sim00.bmp");
  Workbench w;
  ProfileRun first = w.run(0);
  run_profile_comparison(first, w.observer);
  const HeightMatrix before = w.height_map_0;
  // The engine cannot write the new profile: the disk is full.
  ProfileRun second = w.run(0);
  {
    FileSizeLimit full(4096);
    EXPECT_THROW(run_profile_comparison(second, w.observer), FileError);
  }
  EXPECT_TRUE(w.height_map_0 == before) << "the maps keep their contents";
}

}  // namespace

namespace {

TEST(ProfileRun, FringeImageCutShortStopsTheRunWithTheReason) {
  TempDir dir;
  write_scan_settings("scnmod.ini");
  write_sphere_image("sim00.bmp");
  Workbench w;
  ProfileRun first = w.run(0);
  run_profile_comparison(first, w.observer);
  const HeightMatrix before = w.height_map_0;
  const std::string profile = read_file_bytes("profile00.txt");

  // Once the engine measured whatever rows it had read; now the run stops.
  const std::string image = read_file_bytes("sim00.bmp");
  write_file_bytes("sim00.bmp", image.substr(0, image.size() / 2));
  ProfileRun second = w.run(0);
  try {
    run_profile_comparison(second, w.observer);
    FAIL() << "no error";
  } catch (const FileError& e) {
    EXPECT_STREQ(e.what(), "Cannot read file \"./sim00.bmp\": the file ends before the last pixel row "
                           "(cut short)");
  }
  EXPECT_TRUE(w.height_map_0 == before) << "the maps keep their contents";
  EXPECT_EQ(read_file_bytes("profile00.txt"), profile);
}

}  // namespace
