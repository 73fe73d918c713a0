// fringe analyse and the surface options of simulate and measure, called as
// the argument parser calls them.
#include "cli/analyse_command.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <sstream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "common/errors.h"
#include "settings/surface_settings.h"
#include "temp_dir.h"

namespace {

// The keys of a flat JSON object and of the objects in its lists, in order.
std::vector<std::string> keys_of(const std::string& json) {
  std::vector<std::string> keys;
  // A key is the quoted text before each '": '.
  for (std::size_t end = json.find("\": "); end != std::string::npos; end = json.find("\": ", end + 1)) {
    const std::size_t start = json.rfind('"', end - 1);
    keys.push_back(json.substr(start + 1, end - start - 1));
  }
  return keys;
}

TEST(FringeAnalyse, JsonKeysOfAMeasuredBiconic) {
  TempDir dir;
  cmd_init(".");
  SimulateOptions sim;
  sim.seed = 1;
  sim.surface = "biconic:rx=7.6,ry=7.9,axis=30,q=-0.2";
  cmd_simulate(sim, nullptr);
  AnalyseOptions options;
  options.figures.zernike_order = 1;
  std::ostringstream steps;
  const SurfaceFigures f = cmd_analyse(options, &steps);
  EXPECT_EQ(steps.str(), "extracting height data\nextracting reference heights\ncalculating differences\ndone\n");
  const std::string json = analyse_report(0, f, true);
  EXPECT_EQ(keys_of(json),
            (std::vector<std::string>{"channel", "fit_radius_mm", "fit_power_D", "apex_x_mm", "apex_y_mm",
                                      "fit_rms_um", "apical_flat_mm", "apical_steep_mm", "apical_axis_deg",
                                      "conic_q", "conic_rms_um", "flat_radius_mm", "steep_radius_mm", "flat_k_D",
                                      "steep_k_D", "axis_deg", "zernike",
                                      "j", "n", "m", "name", "um",
                                      "j", "n", "m", "name", "um",
                                      "j", "n", "m", "name", "um", "zernike_rms_um", "pupil_mm", "osa_um",
                                      "hoa_rms_um", "spherical_um", "coma_um", "trefoil_um", "central_k_D",
                                      "central_k_category", "i_s_D", "i_s_category", "srax_deg", "srax_category",
                                      "ast_D", "kisa_percent", "kisa_category"}))
      << json;
  // A biconic without a cone screens normal on I-S, and 28 OSA terms follow.
  EXPECT_NE(json.find("\"i_s_category\": \"normal\""), std::string::npos) << json;
  ASSERT_TRUE(f.aberrations);
  EXPECT_EQ(f.aberrations->coefficients_um.size(), 28u);
  EXPECT_NE(json.find("{\"j\": 1, \"n\": 1, \"m\": -1, \"name\": \"vertical tilt\", \"um\": "), std::string::npos);
  EXPECT_EQ(json.find("null"), std::string::npos) << json;
  EXPECT_EQ(json.find("nan"), std::string::npos);
  ASSERT_TRUE(f.keratometry && f.keratometry->axis_deg);
  EXPECT_NEAR(*f.keratometry->axis_deg, 120.0, 0.5);
  // Every number reads back to the double it was made from.
  ASSERT_TRUE(f.sphere && f.conic && f.conic->axis_deg && f.zernike);
  const std::pair<const char*, double> numbers[] = {
      {"fit_radius_mm", f.sphere->radius_mm},     {"apex_x_mm", f.sphere->apex_x_mm},
      {"fit_rms_um", f.sphere->rms_um},           {"apical_flat_mm", f.conic->flat_radius_mm},
      {"apical_axis_deg", *f.conic->axis_deg},    {"conic_q", f.conic->q},
      {"conic_rms_um", f.conic->rms_um},          {"flat_k_D", f.keratometry->flat_power},
      {"steep_radius_mm", f.keratometry->steep_radius}, {"zernike_rms_um", f.zernike->rms_um}};
  for (const auto& [key, value] : numbers) {
    const std::size_t at = json.find("\"" + std::string(key) + "\": ");
    ASSERT_NE(at, std::string::npos) << key;
    EXPECT_EQ(std::strtod(json.c_str() + at + std::strlen(key) + 4, nullptr), value) << key;
  }

  const std::string text = analyse_report(0, f, false);
  // The words of the surface window's count.
  EXPECT_TRUE(text.starts_with("channel 0: 20081 cells with data inside the mask of radius 3.3 mm (counted in the "
                               "disc of radius 3.2 mm)\n"
                               "best-fit sphere: R 7.8")) << text;
  EXPECT_NE(text.find("\n   2   1   1 "), std::string::npos);
  EXPECT_NE(text.find("RMS left after the fit: "), std::string::npos);
}

TEST(FringeAnalyse, FiguresThatAreNotAvailableAreNullNeverNaN) {
  SurfaceFigures f;
  f.sphere_note = "the surface is flat: no finite radius";
  f.conic_note = "no best-fit sphere to start from: the surface is flat: no finite radius";
  f.keratometry_note = f.conic_note;
  f.zernike_note = "fewer cells (3) than terms (28)";
  f.aberrations_note = f.indices_note = "no best-fit sphere: the surface is flat: no finite radius";
  EXPECT_EQ(analyse_report(1, f, true),
            "{\"channel\": 1, \"fit_radius_mm\": null, \"fit_power_D\": null, \"apex_x_mm\": null, "
            "\"apex_y_mm\": null, \"fit_rms_um\": null, \"apical_flat_mm\": null, \"apical_steep_mm\": null, "
            "\"apical_axis_deg\": null, \"conic_q\": null, \"conic_rms_um\": null, "
            "\"flat_radius_mm\": null, \"steep_radius_mm\": null, "
            "\"flat_k_D\": null, \"steep_k_D\": null, \"axis_deg\": null, \"zernike\": null, "
            "\"zernike_rms_um\": null, \"pupil_mm\": null, \"osa_um\": null, \"hoa_rms_um\": null, "
            "\"spherical_um\": null, \"coma_um\": null, \"trefoil_um\": null, \"central_k_D\": null, "
            "\"central_k_category\": null, \"i_s_D\": null, \"i_s_category\": null, \"srax_deg\": null, "
            "\"srax_category\": null, \"ast_D\": null, \"kisa_percent\": null, \"kisa_category\": null}");
  EXPECT_EQ(analyse_report(1, f, false),
            "channel 1: 0 cells with data inside the mask of radius 0 mm\n"
            "best-fit sphere: not available (the surface is flat: no finite radius)\n"
            "best-fit conic: not available (no best-fit sphere to start from: the surface is flat: no finite "
            "radius)\n"
            "keratometry (3 mm zone): not available (no best-fit sphere to start from: the surface is flat: "
            "no finite radius)\n"
            "Zernike terms: not available (fewer cells (3) than terms (28))\n"
            "corneal aberrations: not available (no best-fit sphere: the surface is flat: no finite radius)\n"
            "keratoconus indices: not available (no best-fit sphere: the surface is flat: no finite radius)\n");
  // A sphere has no flat meridian: its axis alone is null; terms beyond
  // j = 14 have no name.
  f.keratometry = KeratometryResult{7.4, 7.4, 45.5, 45.5, std::nullopt};
  f.zernike = ZernikeFigure{5, ZernikeReference::set_sphere, std::vector<double>(21, 0.25), 0.01};
  const std::string json = analyse_report(1, f, true);
  EXPECT_NE(json.find("\"steep_k_D\": 45.5, \"axis_deg\": null, "), std::string::npos) << json;
  EXPECT_NE(json.find("{\"j\": 15, \"n\": 5, \"m\": -5, \"name\": null, \"um\": 0.25}"), std::string::npos);
  EXPECT_NE(analyse_report(1, f, false).find("axis not available (no astigmatism)"), std::string::npos);
}

TEST(FringeSurfaces, SurfaceFileOrTextAndTheSphereUnchanged) {
  TempDir dir;
  cmd_init(".");
  SimulateOptions sim;
  sim.seed = 1;
  cmd_simulate(sim, nullptr);
  const std::string sphere = read_file_bytes("sim00.bmp");

  // The surface file is what a plain simulate takes ...
  write_surface_file("surface.ini", parse_surface_text("biconic:rx=7.6,ry=7.9,axis=30,q=-0.2"));
  cmd_simulate(sim, nullptr);
  const std::string from_file = read_file_bytes("sim00.bmp");
  EXPECT_NE(from_file, sphere);
  // ... the text overrides it, for this run only ...
  sim.surface = "biconic:q=-0.2,axis=30,ry=7.9,rx=7.6";
  cmd_simulate(sim, nullptr);
  EXPECT_EQ(read_file_bytes("sim00.bmp"), from_file);
  sim.surface = "sphere";
  cmd_simulate(sim, nullptr);
  EXPECT_EQ(read_file_bytes("sim00.bmp"), sphere);
  // ... and channel 1 has its own file.
  sim.surface.clear();
  sim.channel = 1;
  cmd_simulate(sim, nullptr);
  EXPECT_EQ(read_file_bytes("sim01.bmp"), sphere);

  // A bad file or text stops before anything is written.
  std::filesystem::remove("sim00.bmp");
  write_file_bytes("surface.ini", "Model=biconic\r\nRx=7.6\r\nRy=0\r\nAxis=0\r\nQ=0\r\n");
  sim.channel = 0;
  EXPECT_THROW(cmd_simulate(sim, nullptr), SettingsError);
  sim.surface = "biconic:rx=7.6";
  EXPECT_THROW(cmd_simulate(sim, nullptr), std::invalid_argument);
  EXPECT_FALSE(std::filesystem::exists("sim00.bmp"));
}

}  // namespace
