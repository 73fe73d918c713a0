// The run behind "apply", without a window.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/errors.h"
#include "runs/simulation_run.h"
#include "temp_dir.h"

namespace {

struct Recorder final : RunObserver {
  std::vector<std::string> steps;
  std::vector<int> positions;
  void status(const std::string& text) override { steps.push_back(text); }
  void progress(int position) override { positions.push_back(position); }
};

struct Channel {
  SimParams params;
  Picture image{kImageControlSide, kImageControlSide, PixelFormat::indexed8};
  Picture scan_plot{256, 42};
  HeightMatrix scratch_map;
  Recorder observer;
};

void run(Channel& c, const SimulationInputs& in) {
  run_simulation(in, c.params, c.image, c.scan_plot, c.scratch_map, c.observer);
}

TEST(SimulationRun, WritesBothFilesAndReportsItsSteps) {
  TempDir dir;
  Channel c;
  SimulationInputs in;
  in.dynamic = 0.75;
  in.noise = 0.25;
  in.seed = 7;
  run(c, in);
  EXPECT_EQ(c.params.dynamic, 0.75);
  EXPECT_EQ(c.params.noise, 0.25);
  EXPECT_EQ(c.observer.steps,
            (std::vector<std::string>{"calculating the image            ",
                                      "binomial filter                   ",
                                      "done                               "}));
  EXPECT_EQ(c.observer.positions, (std::vector<int>{50, 100}));

  // The picture holds the whole smoothed image, as the filtered file does.
  Picture filtered;
  filtered.load_bmp("sim00_filtered.bmp");
  ASSERT_EQ(c.image.width(), 1280);
  ASSERT_EQ(c.image.height(), 1024);
  EXPECT_EQ(filtered.format(), PixelFormat::indexed8);
  for (int y : {0, 128, 1023})
    for (int x : {0, 17, 640, 1279}) EXPECT_EQ(filtered.row(y)[x], c.image.row(y)[x]);

  // The line scan holds row 128 from the top, columns 0..255.
  for (int p = 0; p < 256; ++p)
    ASSERT_EQ(c.scratch_map(p, kScanRow), c.image.row(128)[p]) << p;
  EXPECT_EQ(c.scratch_map(5, kScanRow + 1), 0.0);
}

TEST(SimulationRun, SecondChannelUsesItsOwnFilesAndText) {
  TempDir dir;
  Channel c;
  SimulationInputs in;
  in.channel = 1;
  run(c, in);
  EXPECT_EQ(c.observer.steps[1], "binomial filter                     ");
  EXPECT_FALSE(read_file_bytes("sim01.bmp").empty());
  EXPECT_FALSE(read_file_bytes("sim01_filtered.bmp").empty());
  EXPECT_TRUE(read_file_bytes("sim00.bmp").empty());
}

TEST(SimulationRun, WithoutNoiseTheImageDoesNotDependOnTheSeed) {
  TempDir dir;
  Channel a, b;
  SimulationInputs in;
  in.seed = 1;
  run(a, in);
  const std::string first = read_file_bytes("sim00.bmp");
  const std::string filtered = read_file_bytes("sim00_filtered.bmp");
  in.seed = 12345;
  run(b, in);
  EXPECT_EQ(read_file_bytes("sim00.bmp"), first);
  EXPECT_EQ(read_file_bytes("sim00_filtered.bmp"), filtered);
}

TEST(SimulationRun, NoPassesKeepsTheSynthesisedPicture) {
  TempDir dir;
  Channel c;
  SimulationInputs in;
  in.passes_text = "0";
  run(c, in);
  Picture raw;
  raw.load_bmp("sim00.bmp");
  for (int y = 0; y < raw.height(); y += 97)
    for (int x = 0; x < raw.width(); x += 31) ASSERT_EQ(raw.row(y)[x], c.image.row(y)[x]);
}

TEST(SimulationRun, BadTextsStopTheRunWhereTheWindowWould) {
  TempDir dir;
  Channel c;
  SimulationInputs in;
  in.max_noise_text = "lots";
  EXPECT_THROW(run(c, in), ConversionError);
  EXPECT_TRUE(read_file_bytes("sim00.bmp").empty()) << "stops before the synthesis";

  in.max_noise_text = "64";
  in.passes_text = "three";
  EXPECT_THROW(run(c, in), ConversionError);
  EXPECT_FALSE(read_file_bytes("sim00.bmp").empty()) << "the synthesised file stays";
  EXPECT_TRUE(read_file_bytes("sim00_filtered.bmp").empty());
  EXPECT_EQ(c.image.width(), 1280) << "and is shown";
}

TEST(SimulationRun, ImageThatCannotBeCreatedFallsBackToTheFileOnDisk) {
  TempDir dir;
  Channel c;
  c.params.x_pixels = 5000;  // beyond any bitmap: nothing is written
  SimulationInputs in;
  EXPECT_THROW(run(c, in), FileError) << "no earlier file to show";

  // A small image settings file: the line scan must not read past the picture.
  c.params.x_pixels = 100;
  c.params.y_pixels = 60;
  run(c, in);
  EXPECT_EQ(c.image.width(), 100);
  EXPECT_EQ(c.scratch_map(150, kScanRow), 0.0);
  EXPECT_EQ(c.scratch_map(10, kScanRow), c.image.row(59)[10]);
}

}  // namespace

namespace {

TEST(SimulationRun, ImageThatCannotBeWrittenIsAFileError) {
  TempDir dir;
  Channel c;
  SimulationInputs in;
  run(c, in);
  const std::string earlier = read_file_bytes("sim00.bmp");
  // The fringe image's name is taken by a directory: it cannot be written.
  std::filesystem::remove("sim00.bmp");
  std::filesystem::create_directory("sim00.bmp");
  try {
    run(c, in);
    FAIL() << "no error";
  } catch (const FileError& e) {
    EXPECT_STREQ(e.what(), "Cannot create file \"sim00.bmp\"");
  }
  EXPECT_TRUE(std::filesystem::is_directory("sim00.bmp"));
  EXPECT_FALSE(earlier.empty());
}

}  // namespace
