// The quality the tool asks of a measurement: its line and keys in the
// summaries, the refusals and the quality file written all the same.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <limits>
#include <string>

#include "cli/commands.h"
#include "cli/quality_options.h"
#include "common/errors.h"
#include "common/settings_file.h"
#include "error_of.h"
#include "scan/grey_image.h"
#include "temp_dir.h"

namespace {

// The channel's fringe image replaced by a picture of one level.
void write_uniform_picture(const char* file, uint8_t level) {
  GreyImageOwner picture(img_create(1, 1280, 1024));
  for (int32_t y = 0; y < 1024; ++y) std::fill(img_line(picture.get(), y), img_line(picture.get(), y) + 1280, level);
  ASSERT_EQ(img_save_bmp(picture.get(), file), BMP_OK);
}

TEST(QualityOptions, TheSummariesEndWithTheQuality) {
  ProfileResult r;
  r.geometry.field_x = 10.24;
  r.mask_radius = 3.3;
  r.stats.count = 20081;
  r.stats.pv = 0.046875;
  r.stats.rms = 0.0107421875;
  r.stats.mean = 0.015625;
  r.method = "phase-shift 8 steps, period 10 px";
  QualitySummary q;
  q.mask_cells = 21404;
  q.valid_cells = 21364;
  q.valid_fraction = 0.75;
  q.median_modulation = 126.5;
  q.median_fit_residual = 0.0015625;
  r.quality = q;
  const SimulateOptions options;
  EXPECT_EQ(measure_summary(0, 1, options, r, false),
            "channel 0: seed 1, contrast 1, noise 0, PV 46.875 um, RMS 10.7422 um, mean 15.625 um inside the mask "
            "(20081 cells, radius 3.3 mm)\nmethod: phase-shift 8 steps, period 10 px\n"
            "quality: 75 % of the mask's 21404 cells valid, median modulation 126.5 grey levels, median fit "
            "residual 0.0015625");
  EXPECT_TRUE(measure_summary(0, 1, options, r, true)
                  .ends_with(", \"method\": \"phase-shift 8 steps, period 10 px\", \"valid_fraction\": 0.75, "
                             "\"median_modulation\": 126.5, \"median_fit_residual\": 0.0015625}"));
  q.median_fit_residual = std::numeric_limits<double>::quiet_NaN();
  EXPECT_TRUE(quality_json_keys(q).ends_with("\"median_fit_residual\": null"));
  // Without the quality asked for, the summaries are what they were.
  r.quality.reset();
  EXPECT_EQ(measure_summary(0, 1, options, r, false).find("quality"), std::string::npos);
}

TEST(QualityOptions, AMeasurementNotToBeBelievedIsRefusedAndItsQualityWritten) {
  TempDir dir;
  cmd_init(".");
  SimulateOptions options;
  options.seed = 1;
  cmd_simulate(options, nullptr);
  QualityOptions asked{.file = "quality.csv", .min_valid = std::nullopt};

  // A good measurement: its quality in the result and the file.
  QualityCheck check = quality_check(asked);
  const ProfileResult good = cmd_profile(0, nullptr, nullptr, std::nullopt, &check);
  ASSERT_TRUE(good.quality.has_value());
  EXPECT_GT(good.quality->valid_fraction, 0.99);
  EXPECT_GT(good.quality->median_modulation, 120.0);
  write_asked_quality(asked, check);
  const std::string table = read_file_bytes("quality.csv");
  EXPECT_TRUE(table.starts_with("col,row,x_mm,y_mm,modulation,fit_residual,state\n")) << table.substr(0, 80);
  EXPECT_EQ(std::count(table.begin(), table.end(), '\n'), good.quality->mask_cells + 1);

  // More than it measured asked of it: refused, the profile not replaced,
  // the quality all the same.
  std::filesystem::remove("profile00.txt");
  std::filesystem::remove("quality.csv");
  asked.min_valid = 1.0;
  check = quality_check(asked);
  EXPECT_EQ(error_of([&] { cmd_profile(0, nullptr, nullptr, std::nullopt, &check); }).rfind(
                "./sim00.bmp: too little measured: ", 0),
            0u);
  EXPECT_FALSE(std::filesystem::exists("profile00.txt"));
  write_asked_quality(asked, check);
  EXPECT_TRUE(std::filesystem::exists("quality.csv"));
  // MinValid of the method file, when no option asks.
  write_lines("method.ini", {"MinValid=1"});
  check = quality_check(QualityOptions{});
  EXPECT_THROW(cmd_profile(0, nullptr, nullptr, std::nullopt, &check), MeasurementRefused);
  std::filesystem::remove("method.ini");

  // Pictures without fringes: refused before the engine runs, by profile
  // and by scan.
  for (const uint8_t level : {uint8_t{0}, uint8_t{128}}) {
    SCOPED_TRACE(static_cast<int>(level));
    write_uniform_picture("sim00.bmp", level);
    check = quality_check(QualityOptions{});
    const std::string why = error_of([&] { cmd_profile(0, nullptr, nullptr, std::nullopt, &check); });
    EXPECT_EQ(why.rfind("./sim00.bmp: no fringes: the cells' modulation stays within what noise of ", 0), 0u) << why;
    EXPECT_FALSE(std::filesystem::exists("profile00.txt"));
    check = quality_check(QualityOptions{});
    EXPECT_THROW(cmd_scan("sim00.bmp", "scnmod.ini", "ScanParameter", {}, "p.txt", &check), MeasurementRefused);
    EXPECT_FALSE(std::filesystem::exists("p.txt"));
    // Without a check (the functions' callers of before) the engine measures as it did.
    cmd_scan("sim00.bmp", "scnmod.ini", "ScanParameter", {}, "p.txt");
    EXPECT_TRUE(std::filesystem::exists("p.txt"));
    std::filesystem::remove("p.txt");
  }
}

}  // namespace
