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
#include "render/colour_map.h"
#include "temp_dir.h"

namespace {

std::string error_of(const std::function<void()>& action) {
  try {
    action();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "";
}

// Sets `key` of a settings file as a user edits it; an empty key removes
// nothing and sets nothing, `value` "-" removes the key's line.
void edit_settings(const std::string& file, const std::string& key, const std::string& value) {
  std::vector<std::string> lines = read_lines(file);
  if (value == "-") {
    std::erase_if(lines, [&](const std::string& line) { return line.rfind(key + "=", 0) == 0; });
  } else {
    set_settings_value(lines, key, value);
  }
  write_lines(file, lines);
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

// ---- Settings files: every fault names the file, the key and the text -----

TEST(FringeTool, SettingsFaultsNameTheFileTheKeyAndTheText) {
  // Each case: a file of `fringe init` as a user edited it, and what the
  // tool says; simulate writes no fringe image then.
  const struct {
    int channel;
    const char* file;
    const char* key;
    const char* value;  // "-": the key's line removed
    const char* message;
  } cases[] = {
      {0, "image.ini", "Radius", "abc", "image.ini: Radius = \"abc\" is not a number"},
      {0, "scnmod.ini", "LambdaF", "abc", "scnmod.ini: LambdaF = \"abc\" is not a number"},
      {0, "scnmod.ini", "LambdaF", "12.5 px", "scnmod.ini: LambdaF = \"12.5 px\" is not a number"},
      {0, "scnmod.ini", "NFilt", "2.5", "scnmod.ini: NFilt = \"2.5\" is not a whole number"},
      {0, "scnmod.ini", "NFilt", "", "scnmod.ini: NFilt = \"\" is not a number"},
      {0, "scnmod.ini", "FlawThr", "many", "scnmod.ini: FlawThr = \"many\" is not a number"},
      {0, "scnmod.ini", "DepthLimit", "deep", "scnmod.ini: DepthLimit = \"deep\" is not a number"},
      {0, "scnmod.ini", "MaskRadius", "3,3", "scnmod.ini: MaskRadius = \"3,3\" is not a number"},
      {0, "scnmod.ini", "[ScanParameter]", "-", "scnmod.ini: no section [ScanParameter]"},
      {0, "scnmod.ini", "CamResX", "-", "scnmod.ini: CamResX is missing"},
      {0, "image.ini", "Radius", "-", "image.ini: Radius is missing"},
      {0, "image.ini", "XPixels", "1e12", "image.ini: XPixels = \"1e12\" is out of range"},
      {1, "image_1.ini", "YPixels", "tall", "image_1.ini: YPixels = \"tall\" is not a number"},
      {1, "scnmod_1.ini", "Alpha", "thirty", "scnmod_1.ini: Alpha = \"thirty\" is not a number"},
  };
  for (const auto& c : cases) {
    TempDir dir;
    cmd_init(".");
    if (std::string(c.key).starts_with("[")) {
      std::vector<std::string> lines = read_lines(c.file);
      lines.erase(lines.begin());
      write_lines(c.file, lines);
    } else {
      edit_settings(c.file, c.key, c.value);
    }
    SimulateOptions options;
    options.channel = c.channel;
    options.seed = 1;
    EXPECT_EQ(error_of([&] { cmd_simulate(options, nullptr); }), c.message);
    EXPECT_FALSE(std::filesystem::exists(c.channel == 0 ? "sim00.bmp" : "sim01.bmp")) << c.message;
  }
}

TEST(FringeTool, SurfaceFileFaultsNameTheFileTheKeyAndTheText) {
  const struct {
    std::vector<std::string> lines;
    const char* message;
  } cases[] = {
      {{"Model=biconic", "Rx=abc", "Ry=7.9", "Axis=0", "Q=0"}, "surface.ini: Rx = \"abc\" is not a number"},
      {{"Model=torus"}, "surface.ini: Model = \"torus\" is not sphere or biconic"},
      {{"Rx=7.6"}, "surface.ini: Model is missing"},
      {{"Model=biconic", "Rx=7.6", "Ry=7.9", "Axis=30"}, "surface.ini: Q is missing"},
      {{"Model=biconic", "Rx=0", "Ry=7.9", "Axis=0", "Q=0"},
       "surface.ini: Rx must lie between 0.1 and 1000 mm (read 0)"},
  };
  for (const auto& c : cases) {
    TempDir dir;
    cmd_init(".");
    write_lines("surface.ini", c.lines);
    SimulateOptions options;
    options.seed = 1;
    EXPECT_EQ(error_of([&] { cmd_simulate(options, nullptr); }), c.message);
    EXPECT_FALSE(std::filesystem::exists("sim00.bmp"));
    // The data set names the surface: the export stops before writing.
    EXPECT_EQ(error_of([] { cmd_export(0, "set", nullptr); }), c.message);
    EXPECT_FALSE(std::filesystem::exists("set_parameter.txt"));
    // --surface stands in for the file: `measure --surface sphere` runs.
    options.surface = "sphere";
    cmd_simulate(options, nullptr);
    const ProfileResult r = cmd_profile(0, nullptr);
    EXPECT_FALSE(r.surface.has_value());
    EXPECT_EQ(measure_summary(0, 1, options, r, false).find('\n'), std::string::npos);
  }
}

TEST(FringeTool, ProfileRefusesAScanSettingsFileTheEngineWouldReadWithItsDefaults) {
  // The engine's C API takes its default for a value that is not a number;
  // the tool refuses before the engine runs, and no profile is written.
  TempDir dir;
  cmd_init(".");
  SimulateOptions options;
  options.seed = 1;
  cmd_simulate(options, nullptr);
  edit_settings("scnmod.ini", "FlawThr", "lots");
  EXPECT_EQ(error_of([] { cmd_profile(0, nullptr); }), "scnmod.ini: FlawThr = \"lots\" is not a number");
  EXPECT_FALSE(std::filesystem::exists("profile00.txt"));
  edit_settings("scnmod.ini", "FlawThr", "15");
  edit_settings("scnmod.ini", "MaskRadius", "wide");
  EXPECT_EQ(error_of([] { cmd_profile(0, nullptr); }), "scnmod.ini: MaskRadius = \"wide\" is not a number");
  EXPECT_FALSE(std::filesystem::exists("profile00.txt"));
}

TEST(FringeTool, ScanRefusesAParameterFileWithoutItsSectionOrWithAValueThatIsNoNumber) {
  TempDir dir;
  cmd_init(".");
  SimulateOptions options;
  options.seed = 1;
  cmd_simulate(options, nullptr);
  const struct {
    const char* text;
    const char* section;
    const char* message;  // empty: the profile is written
  } cases[] = {
      {"a text file\n", "ScanParameter", "t.ini: no section [ScanParameter]"},
      {"[Other]\r\nLambdaF=10\r\n", "ScanParameter", "t.ini: no section [ScanParameter]"},
      {"[ScanParameter]\r\nLambdaF=abc\r\n", "ScanParameter", "t.ini: LambdaF = \"abc\" is not a number"},
      {"[ScanParameter]\r\nNFilt=2.7\r\n", "ScanParameter", "t.ini: NFilt = \"2.7\" is not a whole number"},
      {"[ScanParameter]\r\nFlawThr=99999999999\r\n", "ScanParameter",
       "t.ini: FlawThr = \"99999999999\" is out of range"},
      {"[ScanParameter]\r\nCamResX=1e999\r\n", "ScanParameter", "t.ini: CamResX = \"1e999\" is not a number"},
      // Only the engine's own section counts: a bad value elsewhere is no fault.
      {"[Notes]\r\nLambdaF=abc\r\n[ScanParameter]\r\nLambdaF=10\r\n", "ScanParameter", ""},
      {"[Notes]\r\nLambdaF=10\r\n[ScanParameter]\r\nLambdaF=abc\r\n", "ScanParameter",
       "t.ini: LambdaF = \"abc\" is not a number"},
      // As the engine matches: case and blanks do not matter, the first key counts.
      {"\xEF\xBB\xBF[ scanparameter ]\r\n lambdaf = 10 \r\nLambdaF=abc\r\n", "ScanParameter", ""},
      // Keys left out keep the engine's defaults.
      {"[ScanParameter]\r\n", "ScanParameter", ""},
      {"[Custom]\r\nLambdaF=10\r\n", "Custom", ""},
      {"[ScanParameter]\r\nLambdaF=10\r\n", "Custom", "t.ini: no section [Custom]"},
  };
  for (const auto& c : cases) {
    std::filesystem::remove("p.txt");
    write_file_bytes("t.ini", c.text);
    EXPECT_EQ(error_of([&] { cmd_scan("sim00.bmp", "t.ini", c.section, {}, "p.txt"); }), c.message) << c.text;
    EXPECT_EQ(std::filesystem::exists("p.txt"), *c.message == '\0') << c.text;
  }
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
      {"--max-noise", domains::max_noise, "-3", "-3 is outside 0..255", ""},
      {"--max-noise", domains::max_noise, "2.5", "2.5 is not a whole number", ""},
      {"--max-noise", domains::max_noise, "+64", "", "64"},
      {"--noise", domains::unit, "abc", "\"abc\" is not a number", ""},
      {"--noise", domains::unit, "nan", "\"nan\" is not a number", ""},
      {"--noise", domains::unit, ".5", "", "0.5"},
      {"--passes", domains::passes, "-1", "-1 is outside 0..1024", ""},
      {"--passes", domains::passes, "1e3", "", "1000"},
      {"--seed", domains::seed, "-1", "-1 is outside 0..4294967295", ""},
      {"--seed", domains::seed, "4294967295", "", "4294967295"},
      {"--channel", domains::channel, "one", "\"one\" is not a number", ""},
      {"--repeats", domains::repeats, "1000000", "", "1000000"},
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

TEST(FringeTool, SimulateChecksItsOptionsBeforeAnythingIsWritten) {
  TempDir dir;
  cmd_init(".");
  const struct {
    std::function<void(SimulateOptions&)> change;
    const char* message;
  } cases[] = {
      {[](SimulateOptions& o) { o.max_noise = "-3"; }, "--max-noise: -3 is outside 0..255"},
      {[](SimulateOptions& o) { o.max_noise = "2.5"; }, "--max-noise: 2.5 is not a whole number"},
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
      {0, -0.5, 20, "m.png", "--max -0.5 lies below --min 0: the colour range runs from --min up to --max"},
      {-5, 5, 20, "map.jpg", "--out map.jpg: the picture is written as .bmp or .png, not as .jpg"},
      {-5, 5, 20, "map", "--out map: the picture is written as .bmp or .png, and the name ends in neither"},
      {-5, 5, 0, "m.bmp", "--levels: 0 is outside 1..256"},
      {-5, 5, 257, "m.bmp", "--levels: 257 is outside 1..256"},
      {std::nan(""), 5, 20, "m.bmp", "--min: nan is not a number"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(error_of([&] { cmd_render("h.txt", c.min, c.max, c.levels, c.out); }), c.message);
    EXPECT_FALSE(std::filesystem::exists(c.out)) << c.out;
  }
  EXPECT_EQ(error_of([] { cmd_render("none.txt", -5, 5, 20, "m.bmp"); }), "Cannot open file \"none.txt\"");
  EXPECT_FALSE(std::filesystem::exists("m.bmp"));
  // The same limits are a range of one height.
  cmd_render("h.txt", 0, 0, 20, "m.bmp");
  EXPECT_TRUE(std::filesystem::exists("m.bmp"));
}

TEST(FringeTool, RenderDrawsAGridOfAnySizeAtItsOwnSizeAsItsNameAsks) {
  TempDir dir;
  const struct {
    int nx, ny;
    const char* out;
  } cases[] = {
      {320, 256, "a.bmp"}, {256, 320, "b.png"}, {17, 5, "c.BMP"}, {1, 1, "d.PNG"}, {256, 256, "e.png"},
  };
  for (const auto& c : cases) {
    write_slope("h.txt", c.nx, c.ny);
    cmd_render("h.txt", -5, 1, 20, c.out);
    Picture picture;
    const std::string bytes = read_file_bytes(c.out);
    const bool png = std::string(c.out).find(".p") != std::string::npos ||
                     std::string(c.out).find(".P") != std::string::npos;
    if (png) {
      ASSERT_EQ(bytes.substr(0, 8), "\x89PNG\r\n\x1a\n") << c.out;
      // The width and height of the IHDR chunk, big-endian.
      const auto be32 = [&](std::size_t at) {
        return (static_cast<unsigned char>(bytes[at]) << 24) | (static_cast<unsigned char>(bytes[at + 1]) << 16) |
               (static_cast<unsigned char>(bytes[at + 2]) << 8) | static_cast<unsigned char>(bytes[at + 3]);
      };
      EXPECT_EQ(be32(16), c.nx) << c.out;
      EXPECT_EQ(be32(20), c.ny) << c.out;
    } else {
      picture.load_bmp(c.out);
      EXPECT_EQ(picture.width(), c.nx) << c.out;
      EXPECT_EQ(picture.height(), c.ny) << c.out;
      EXPECT_EQ(picture.format(), PixelFormat::bgr24);
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

ProfileResult a_result() {
  ProfileResult r;
  r.geometry.field_x = 10.24;
  r.mask_radius = 3.3;
  r.stats.count = 20081;
  // Binary fractions, so that the JSON's shortest texts are short too.
  r.stats.pv = 0.046875;
  r.stats.rms = 0.0107421875;
  r.stats.mean = 0.015625;
  return r;
}

TEST(FringeTool, MeasureSummarySaysWhichSurfaceWhereItIsNotTheSphere) {
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
    std::string text, json;
  } cases[] = {
      {Surface{}, "", sphere_line, sphere_json + "}"},
      // Numbers kept in a sphere's file do not make it another surface.
      {Surface{.model = SurfaceModel::sphere, .rx = 7.6, .ry = 7.9}, "", sphere_line, sphere_json + "}"},
      {cornea, "", sphere_line + "\nsurface: biconic rx=7.6 ry=7.9 axis=30 q=-0.2",
       sphere_json + ", \"surface\": {\"model\": \"biconic\", \"rx_mm\": 7.6, \"ry_mm\": 7.9, "
                     "\"axis_deg\": 30, \"q\": -0.2}}"},
      // --surface is what was simulated, whatever the file says.
      {cornea, "sphere", sphere_line, sphere_json + "}"},
      {Surface{}, "biconic:rx=7,ry=8", sphere_line + "\nsurface: biconic rx=7 ry=8 axis=0 q=0",
       sphere_json + ", \"surface\": {\"model\": \"biconic\", \"rx_mm\": 7, \"ry_mm\": 8, "
                     "\"axis_deg\": 0, \"q\": 0}}"},
  };
  for (const auto& c : cases) {
    ProfileResult r = a_result();
    r.surface = c.file;
    SimulateOptions options;
    options.surface = c.option;
    EXPECT_EQ(measure_summary(0, 1, options, r, false), c.text);
    EXPECT_EQ(measure_summary(0, 1, options, r, true), c.json);
  }
}

TEST(FringeTool, MeasureAndExportOfABiconicChannelSayWhichSurface) {
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
  const std::string text = measure_summary(0, 2, options, r, false);
  EXPECT_TRUE(text.ends_with("\nsurface: biconic rx=7.6 ry=7.9 axis=30 q=-0.2")) << text;
  cmd_export(0, "../set", nullptr);
  const std::string parameters = read_file_bytes("../set_parameter.txt");
  EXPECT_TRUE(parameters.ends_with("mm/point\r\n"
                                   "surface model              : biconic\r\n"
                                   "radius Rx in mm            : 7.6\r\n"
                                   "radius Ry in mm            : 7.9\r\n"
                                   "axis of Rx in deg          : 30\r\n"
                                   "conic constant Q           : -0.2\r\n"))
      << parameters;
  // The sphere's list, as it always was.
  std::filesystem::remove("surface.ini");
  cmd_export(0, "../sphere", nullptr);
  EXPECT_TRUE(read_file_bytes("../sphere_parameter.txt").ends_with("mm/point\r\n"));
  EXPECT_EQ(read_file_bytes("../sphere_parameter.txt"),
            parameters.substr(0, parameters.find("surface model")));
}

}  // namespace
