// The tool's system options: pictures taken through a pinhole system and
// measured through it, through another, or through the channel's file; the
// measured points written as PLY or XYZ; a bad system or points file refused
// with its name.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>

#include "cli/commands.h"
#include "common/errors.h"
#include "common/settings_file.h"
#include "error_of.h"
#include "settings/system_settings.h"
#include "temp_dir.h"

namespace {

// A small picture keeps the runs quick: 320 x 256 pixels of the default field.
void small_workspace() {
  cmd_init(".");
  std::vector<std::string> image = read_lines("./image.ini");
  set_settings_value(image, "XPixels", "320");
  set_settings_value(image, "YPixels", "256");
  write_lines("./image.ini", image);
  write_lines("./method.ini", {"Method=phase-shift", "Steps=8", "Periods=320,20,10", "Bits=16"});
  write_system_file("pinhole.ini", default_pinhole_system(320, 256));
  write_lines("telecentric.ini", {"Model=telecentric"});
}

std::size_t lines_of_file(const std::string& file) {
  const std::string text = read_file_bytes(file);
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

TEST(FringeToolSystem, PinholePicturesMeasureThroughTheirSystemAndNotThroughAnother) {
  TempDir dir;
  small_workspace();
  SimulateOptions options;
  options.seed = 1;
  options.system = "pinhole.ini";
  cmd_simulate(options, nullptr);
  const ProfileResult exact = cmd_profile(0, nullptr, nullptr, std::nullopt, nullptr, {"pinhole.ini", "points.xyz"});
  const ProfileResult telecentric = cmd_profile(0, nullptr, nullptr, std::nullopt, nullptr, {"telecentric.ini", "flat.ply"});
  // The channel's own system file stands in for --system.
  std::filesystem::copy_file("pinhole.ini", "system.ini");
  const ProfileResult channel = cmd_profile(0, nullptr, nullptr, std::nullopt, nullptr, {});
  // A picture this small lays its profile onto the map's cells in steps,
  // which holds every chain to about a micron; the wrong model costs more.
  EXPECT_LT(exact.stats.rms, 2e-3);
  EXPECT_GT(telecentric.stats.rms, 3.0 * exact.stats.rms);
  EXPECT_EQ(channel.stats.rms, exact.stats.rms);
  // A point per measured pixel, in each format.
  const std::size_t points = lines_of_file("points.xyz");
  EXPECT_GT(points, 30000u);
  const std::string ply = read_file_bytes("flat.ply");
  EXPECT_TRUE(ply.starts_with("ply\nformat binary_little_endian 1.0\n")) << ply.substr(0, 40);
  EXPECT_NE(ply.find("element vertex " + std::to_string(points) + "\n"), std::string::npos);
  EXPECT_EQ(ply.size() - ply.find("end_header\n") - 11, points * 24);
}

TEST(FringeToolSystem, BadSystemAndPointsFilesAreRefusedByName) {
  TempDir dir;
  small_workspace();
  write_lines("bad.ini", {"Model=pinhole", "Angle=0"});
  SimulateOptions options;
  options.seed = 1;
  options.system = "bad.ini";
  EXPECT_TRUE(error_of([&] { cmd_simulate(options, nullptr); }).starts_with("bad.ini: Angle must lie between 0 and 90"));
  options.system = "pinhole.ini";
  cmd_simulate(options, nullptr);
  EXPECT_EQ(error_of([] { cmd_profile(0, nullptr, nullptr, std::nullopt, nullptr, {"", "points.txt"}); }),
            "--points: \"points.txt\" is not a .ply or .xyz file");
  // The engine's quadrature measures no phase to triangulate.
  std::filesystem::remove("method.ini");
  cmd_simulate(options, nullptr);
  EXPECT_NE(error_of([] { cmd_profile(0, nullptr, nullptr, std::nullopt, nullptr, {"pinhole.ini", ""}); }).find("quadrature"),
            std::string::npos);
}

}  // namespace
