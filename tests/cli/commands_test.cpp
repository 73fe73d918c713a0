// The fringe tool's subcommands, called as the argument parser calls them.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "cli/commands.h"
#include "common/errors.h"
#include "temp_dir.h"

namespace {

std::string error_of(void (*action)()) {
  try {
    action();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "";
}

TEST(FringeTool, InitThenMeasureWritesTheWorkFiles) {
  TempDir dir;
  cmd_init(".");
  SimulateOptions options;
  options.seed = 1;
  std::ostringstream steps;
  EXPECT_EQ(cmd_simulate(options, &steps), 1u);
  const ProfileResult r = cmd_profile(0, &steps);
  for (const char* file : {"sim00.bmp", "sim00_filtered.bmp", "profile00.txt", "perfect_sphere00.txt"})
    EXPECT_TRUE(std::filesystem::exists(file)) << file;
  EXPECT_EQ(steps.str(),
            "calculating the image\nbinomial filter\ndone\nextracting height data\n"
            "extracting reference heights\ncalculating differences\ndone\n");
  EXPECT_EQ(r.mask_radius, 3.3);
  EXPECT_GT(r.stats.count, 15000);
  EXPECT_LT(r.stats.pv, 0.005) << "a noise-free sphere is measured to a few microns";
  const std::string json = measure_summary(0, 1, options, r, true);
  EXPECT_TRUE(json.starts_with("{\"channel\": 0, \"seed\": 1, \"contrast\": 1, \"noise\": 0, ")) << json;
  EXPECT_NE(json.find("\"pv_um\": "), std::string::npos);
}

TEST(FringeTool, WithoutNoiseTheImageDoesNotDependOnTheSeed) {
  TempDir dir;
  cmd_init(".");
  SimulateOptions options;
  options.seed = 1;
  cmd_simulate(options, nullptr);
  const std::string first = read_file_bytes("sim00.bmp");
  options.seed = 99;
  cmd_simulate(options, nullptr);
  EXPECT_EQ(read_file_bytes("sim00.bmp"), first);
  options.noise = 0.5;
  cmd_simulate(options, nullptr);
  EXPECT_NE(read_file_bytes("sim00.bmp"), first);
}

TEST(FringeTool, MissingFilesAreNamedWithAHint) {
  TempDir dir;
  EXPECT_EQ(error_of([] { cmd_profile(0, nullptr); }),
            "Cannot open file \"./scnmod.ini\" (run 'fringe init DIR' to create the default "
            "settings files)");
  cmd_init(".");
  EXPECT_EQ(error_of([] { cmd_profile(1, nullptr); }),
            "Cannot open file \"./sim01.bmp\" (run 'fringe simulate' first to write the fringe "
            "image)");
  EXPECT_EQ(error_of([] { cmd_scan("none.bmp", "scnmod.ini", "ScanParameter", {}, "p.txt"); }),
            "Cannot open file \"none.bmp\"");
  EXPECT_FALSE(std::filesystem::exists("p.txt"));
}

TEST(FringeTool, ExportAndRender) {
  TempDir dir;
  cmd_init("work");
  std::filesystem::current_path("work");
  SimulateOptions options;
  options.seed = 3;
  cmd_simulate(options, nullptr);
  cmd_export(0, "../set", nullptr);
  std::filesystem::current_path("..");
  EXPECT_TRUE(std::filesystem::exists("set_gray.bmp"));
  EXPECT_TRUE(std::filesystem::exists("set_parameter.txt"));
  cmd_render("set_heights.txt", -5, 5, 20, "map.bmp");
  EXPECT_EQ(read_file_bytes("map.bmp").size(), 54u + 256u * 256u * 3u);
}

}  // namespace
