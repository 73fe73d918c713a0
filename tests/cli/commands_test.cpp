// The fringe tool's subcommands, called as the argument parser calls them.
#include <CLI/CLI.hpp>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <sstream>

#include "analysis/height_text_file.h"
#include "cli/commands.h"
#include "cli/option_checks.h"
#include "common/errors.h"
#include "common/settings_file.h"
#include "error_of.h"
#include "render/colour_map.h"
#include "temp_dir.h"

namespace {

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

// ---- Checked before anything is written -------------------------------------
// The words of every settings fault are tested on the checks themselves
// (tests/settings/channel_settings_test.cpp, surface_settings_test.cpp), those
// through the parser in fringe_tool_test.sh.

TEST(FringeTool, SimulateChecksItsOptionsBeforeAnythingIsWritten) {
  TempDir dir;
  cmd_init(".");
  const struct {
    std::function<void(SimulateOptions&)> change;
    const char* message;
  } cases[] = {
      {[](SimulateOptions& o) { o.max_noise = "-3"; }, "--max-noise: -3 is outside 0..255"},
      {[](SimulateOptions& o) { o.passes = "-1"; }, "--passes: -1 is outside 0..1024"},
      {[](SimulateOptions& o) { o.noise = 2.0; }, "--noise: 2 is outside 0..1"},
  };
  for (const auto& c : cases) {
    SimulateOptions options;
    options.seed = 1;
    c.change(options);
    EXPECT_EQ(error_of([&] { cmd_simulate(options, nullptr); }), c.message);
    EXPECT_FALSE(std::filesystem::exists("sim00.bmp")) << c.message;
  }
}

TEST(FringeTool, ProfileRefusesAScanSettingsFileTheEngineWouldReadWithItsDefaults) {
  // The engine's C API takes its default for a value that is not a number.
  TempDir dir;
  cmd_init(".");
  SimulateOptions options;
  options.seed = 1;
  cmd_simulate(options, nullptr);
  std::vector<std::string> lines = read_lines("scnmod.ini");
  set_settings_value(lines, "FlawThr", "lots");
  write_lines("scnmod.ini", lines);
  EXPECT_EQ(error_of([] { cmd_profile(0, nullptr); }), "scnmod.ini: FlawThr = \"lots\" is not a number");
  EXPECT_FALSE(std::filesystem::exists("profile00.txt"));
}

// ---- Options: each checked against its domain, named in the message --------

TEST(FringeTool, OptionsOutsideTheirDomainAreNamed) {
  // Each case as the parser meets it (option_domain) and as a caller of the
  // subcommand's function meets it (require_in_domain): the same words.
  const struct {
    const char* option;
    NumberDomain domain;
    const char* text;
    const char* problem;  // empty: accepted
    const char* passed;   // what the option then holds
  } cases[] = {
      {"--max-noise", domains::max_noise, "2.5", "2.5 is not a whole number", ""},
      {"--max-noise", domains::max_noise, "+64", "", "64"},
      {"--noise", domains::unit, ".5", "", "0.5"},
      {"--passes", domains::passes, "1e3", "", "1000"},
      {"--seed", domains::seed, "4294967295", "", "4294967295"},
      {"--min", domains::any, "inf", "\"inf\" is not a number", ""},
      {"--min", domains::any, "-1e300", "", "-1e+300"},
  };
  for (const auto& c : cases) {
    CLI::App app;
    std::string value;
    app.add_option(c.option, value)->transform(option_domain(c.domain));
    std::string parsed;
    try {
      app.parse(std::vector<std::string>{c.text, c.option});  // parse() takes them last first
      parsed = value;
    } catch (const CLI::ParseError& e) {
      parsed = e.what();
    }
    const std::string expected =
        *c.problem == '\0' ? std::string(c.passed) : std::string(c.option) + ": " + c.problem;
    EXPECT_EQ(parsed, expected) << c.option << " " << c.text;
    EXPECT_EQ(error_of([&] { require_in_domain(c.option, c.text, c.domain); }),
              *c.problem == '\0' ? "" : expected);
  }
}

// ---- render -------------------------------------------------------------------

// A grid of nx x ny heights (mm): a slope from 0 at the top left cell down to
// -4 um at the bottom right one.
void write_slope(const std::string& file, int nx, int ny) {
  HeightMatrix map(nx, ny);
  for (int x = 0; x < nx; ++x)
    for (int y = 0; y < ny; ++y) map(x, y) = -0.002 * x / std::max(nx - 1, 1) - 0.002 * y / std::max(ny - 1, 1);
  write_heights(file, map, nx, ny, 0.04, 0.04);
}

TEST(FringeTool, RenderRefusesARangeTurnedRoundAndOtherPictureKinds) {
  TempDir dir;
  write_slope("h.txt", 40, 30);
  const struct {
    double min, max;
    int levels;
    const char* out;
    const char* message;
  } cases[] = {
      {5, -5, 20, "m.bmp", "--max -5 lies below --min 5: the colour range runs from --min up to --max"},
      {-5, 5, 20, "map.jpg", "--out map.jpg: the picture is written as .bmp or .png, not as .jpg"},
      {-5, 5, 20, "map", "--out map: the picture is written as .bmp or .png, and the name ends in neither"},
      {-5, 5, 257, "m.bmp", "--levels: 257 is outside 1..256"},
      {std::nan(""), 5, 20, "m.bmp", "--min: nan is not a number"},
      {-5, 5, 20, "m.bmp", ""},  // none.txt: each check comes before the heights are read
  };
  for (const auto& c : cases) {
    EXPECT_EQ(error_of([&] { cmd_render("none.txt", c.min, c.max, c.levels, c.out); }),
              *c.message ? c.message : "Cannot open file \"none.txt\"");
    EXPECT_FALSE(std::filesystem::exists(c.out)) << c.out;
  }
  // The same limits are a range of one height.
  cmd_render("h.txt", 0, 0, 20, "m.bmp");
  EXPECT_TRUE(std::filesystem::exists("m.bmp"));
}

TEST(FringeTool, RenderDrawsAGridOfAnySizeAtItsOwnSizeAsItsNameAsks) {
  TempDir dir;
  const struct {
    int nx, ny;
    const char* out;
    bool png;
  } cases[] = {{320, 256, "a.bmp", false}, {256, 320, "b.png", true}, {17, 5, "c.BMP", false}, {1, 1, "d.PNG", true}};
  const auto be32 = [](int v) {
    return std::string{'\0', '\0', static_cast<char>(v >> 8), static_cast<char>(v & 0xff)};
  };
  for (const auto& c : cases) {
    write_slope("h.txt", c.nx, c.ny);
    cmd_render("h.txt", -5, 1, 20, c.out);
    if (c.png) {
      // The signature, then the width and height of the IHDR chunk, big-endian.
      const std::string bytes = read_file_bytes(c.out);
      EXPECT_EQ(bytes.substr(0, 8), "\x89PNG\r\n\x1a\n") << c.out;
      EXPECT_EQ(bytes.substr(16, 8), be32(c.nx) + be32(c.ny)) << c.out;
    } else {
      Picture picture;
      picture.load_bmp(c.out);
      EXPECT_EQ(picture.width(), c.nx) << c.out;
      EXPECT_EQ(picture.height(), c.ny) << c.out;
      // Cell (0, 0) at the top left, the deepest cell at the bottom right.
      EXPECT_NE(picture.pixel(0, 0), kWhite) << c.out;
      EXPECT_NE(picture.pixel(0, 0), picture.pixel(c.nx - 1, c.ny - 1)) << c.out;
    }
  }
  // A 256 x 256 grid gives the picture it always gave, byte for byte.
  write_slope("h.txt", 256, 256);
  cmd_render("h.txt", -5, 1, 20, "new.bmp");
  HeightMatrix map;
  read_profile("h.txt", map, kMapSide, kMapSide);
  Picture before(kMapSide, kMapSide);
  render_full_map(map, before, -5 / kMicronsPerMm, 1 / kMicronsPerMm, 20);
  before.save_bmp("before.bmp");
  EXPECT_EQ(read_file_bytes("new.bmp"), read_file_bytes("before.bmp"));
}

// ---- The surface a measurement simulated ---------------------------------------

TEST(FringeTool, MeasureSummarySaysWhichSurfaceWhereItIsNotTheSphere) {
  ProfileResult r;
  r.geometry.field_x = 10.24;
  r.mask_radius = 3.3;
  r.stats.count = 20081;
  // Binary fractions, so that the JSON's shortest texts are short too.
  r.stats.pv = 0.046875;
  r.stats.rms = 0.0107421875;
  r.stats.mean = 0.015625;
  const std::string sphere_line =
      "channel 0: seed 1, contrast 1, noise 0, PV 46.875 um, RMS 10.7422 um, mean 15.625 um inside the mask "
      "(20081 cells, radius 3.3 mm)";
  const std::string sphere_json =
      "{\"channel\": 0, \"seed\": 1, \"contrast\": 1, \"noise\": 0, \"field_mm\": 10.24, "
      "\"mask_radius_mm\": 3.3, \"mask_cells\": 20081, \"pv_um\": 46.875, \"rms_um\": 10.7421875, "
      "\"mean_um\": 15.625";
  const Surface cornea{.model = SurfaceModel::biconic, .rx = 7.6, .ry = 7.9, .axis_deg = 30.0, .q = -0.2};
  const struct {
    Surface file;         // the channel's surface file
    const char* option;   // --surface
    const char* text;     // what follows the sphere's line
    const char* json;     // what follows the sphere's JSON keys
  } cases[] = {
      {Surface{}, "", "", ""},
      // Numbers kept in a sphere's file do not make it another surface.
      {Surface{.model = SurfaceModel::sphere, .rx = 7.6, .ry = 7.9}, "", "", ""},
      {cornea, "", "\nsurface: biconic rx=7.6 ry=7.9 axis=30 q=-0.2",
       ", \"surface\": {\"model\": \"biconic\", \"rx_mm\": 7.6, \"ry_mm\": 7.9, \"axis_deg\": 30, \"q\": -0.2}"},
      // --surface is what was simulated, whatever the file says.
      {cornea, "sphere", "", ""},
  };
  for (const auto& c : cases) {
    r.surface = c.file;
    SimulateOptions options;
    options.surface = c.option;
    EXPECT_EQ(measure_summary(0, 1, options, r, false), sphere_line + c.text);
    EXPECT_EQ(measure_summary(0, 1, options, r, true), sphere_json + c.json + "}");
  }
}

TEST(FringeTool, TheChannelsSurfaceFileInSimulateProfileAndExport) {
  TempDir dir;
  cmd_init("w");
  std::filesystem::current_path("w");
  write_lines("surface.ini", {"Model=biconic", "Rx=7.6", "Ry=7.9", "Axis=30", "Q=-0.2"});
  SimulateOptions options;
  options.seed = 2;
  cmd_simulate(options, nullptr);
  const ProfileResult r = cmd_profile(0, nullptr);
  ASSERT_TRUE(r.surface.has_value());
  EXPECT_EQ(r.surface->model, SurfaceModel::biconic);
  cmd_export(0, "../set", nullptr);
  // A file that cannot be read stops simulate and export before they write;
  // profile does not need it, and `measure --surface sphere` stands in for it.
  write_lines("surface.ini", {"Model=biconic", "Rx=abc", "Ry=7.9", "Axis=0", "Q=0"});
  const std::string message = "surface.ini: Rx = \"abc\" is not a number";
  std::filesystem::remove("sim00.bmp");
  EXPECT_EQ(error_of([&] { cmd_simulate(options, nullptr); }), message);
  EXPECT_FALSE(std::filesystem::exists("sim00.bmp"));
  EXPECT_EQ(error_of([] { cmd_export(0, "../bad", nullptr); }), message);
  EXPECT_FALSE(std::filesystem::exists("../bad_parameter.txt"));
  options.surface = "sphere";
  cmd_simulate(options, nullptr);
  EXPECT_FALSE(cmd_profile(0, nullptr).surface.has_value());
  // The sphere's parameter list, as it always was; the biconic's goes on with
  // its surface (the lines: data_export_test).
  std::filesystem::remove("surface.ini");
  cmd_export(0, "../sphere", nullptr);
  const std::string sphere = read_file_bytes("../sphere_parameter.txt");
  EXPECT_TRUE(sphere.ends_with("mm/point\r\n")) << sphere;
  const std::string set = read_file_bytes("../set_parameter.txt");
  EXPECT_TRUE(set.starts_with(sphere) && set.ends_with("conic constant Q           : -0.2\r\n")) << set;
}

}  // namespace
