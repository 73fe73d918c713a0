// A channel's surface settings file, the surface as a short text, and the
// sphere's pictures, which must not change by a byte for either.
#include "settings/surface_settings.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "common/errors.h"
#include "common/settings_file.h"
#include "error_of.h"
#include "settings/channel_settings.h"
#include "runs/simulation_run.h"
#include "temp_dir.h"

namespace {

const Surface kCornea{.model = SurfaceModel::biconic, .rx = 7.6, .ry = 7.9, .axis_deg = 30.0, .q = -0.2};

TEST(SurfaceFile, WrittenWithCrLfAndReadBack) {
  TempDir dir;
  write_surface_file("surface.ini", kCornea);
  EXPECT_EQ(read_file_bytes("surface.ini"),
            "Model=biconic\r\nRx=7.6\r\nRy=7.9\r\nAxis=30\r\nQ=-0.2\r\n");
  EXPECT_EQ(read_surface_file("surface.ini"), kCornea);
  // Full precision survives the round trip; keys are read without regard to case.
  const Surface odd{.model = SurfaceModel::biconic, .rx = 1.0 / 3.0, .ry = 7.123456789012345,
                    .axis_deg = -412.5, .q = 1e-9};
  write_surface_file("surface_1.ini", odd);
  EXPECT_EQ(read_surface_file("surface_1.ini"), odd);
  write_lines("surface.ini", {"model=SPHERE"});
  EXPECT_EQ(read_surface_file("surface.ini"), Surface{});
}

TEST(SurfaceFile, AbsentMeansTheSphereOfTheSetRadius) {
  TempDir dir;
  EXPECT_EQ(channel_surface(0), Surface{});
  EXPECT_EQ(channel_surface(1).model, SurfaceModel::sphere);
  write_surface_file("surface_1.ini", kCornea);
  EXPECT_EQ(channel_surface(1), kCornea);
  EXPECT_EQ(channel_surface(0), Surface{});
}

TEST(SurfaceFile, BadValuesAreClearErrorsAndNothingIsWritten) {
  TempDir dir;
  const std::string file = "Cannot read file \"./surface.ini\": ";
  // Each case in the windows' words (channel_surface) and in the fringe
  // tool's and the studies' (read_surface_settings: file, key and text).
  struct Case {
    std::vector<std::string> lines;
    std::string message;
    std::string strict;
  } cases[] = {
      {{"Rx=7.6"}, file + "Model must be sphere or biconic (read '')", "surface.ini: Model is missing"},
      {{"Model=torus"}, file + "Model must be sphere or biconic (read 'torus')",
       "surface.ini: Model = \"torus\" is not sphere or biconic"},
      {{"Model=biconic", "Rx=7.6", "Ry=7.9", "Axis=30"}, file + "Q: '' is not a valid floating point value",
       "surface.ini: Q is missing"},
      {{"Model=biconic", "Rx=abc", "Ry=7.9", "Axis=0", "Q=0"},
       file + "Rx: 'abc' is not a valid floating point value", "surface.ini: Rx = \"abc\" is not a number"},
      {{"Model=biconic", "Rx=7.6", "Ry=nan", "Axis=0", "Q=0"},
       file + "Ry: 'nan' is not a valid floating point value", "surface.ini: Ry = \"nan\" is not a number"},
      {{"Model=biconic", "Rx=0", "Ry=7.9", "Axis=0", "Q=0"},
       file + "Rx must lie between 0.1 and 1000 mm (read 0)",
       "surface.ini: Rx must lie between 0.1 and 1000 mm (read 0)"},
      {{"Model=biconic", "Rx=7.6", "Ry=-7.9", "Axis=0", "Q=0"},
       file + "Ry must lie between 0.1 and 1000 mm (read -7.9)",
       "surface.ini: Ry must lie between 0.1 and 1000 mm (read -7.9)"},
      {{"Model=biconic", "Rx=7.6", "Ry=7.9", "Axis=0", "Q=1e30"},
       file + "Q must lie between -10 and 10 (read 1e+30)", "surface.ini: Q must lie between -10 and 10 (read 1e+30)"},
      {{"Model=sphere", "Rx=x"}, file + "Rx: 'x' is not a valid floating point value",
       "surface.ini: Rx = \"x\" is not a number"},
  };
  for (const Case& c : cases) {
    write_lines("surface.ini", c.lines);
    EXPECT_EQ(error_of([] { channel_surface(0); }), c.message);
    EXPECT_EQ(error_of([&] { read_surface_settings(c.lines, "./surface.ini"); }), c.strict);
  }
  EXPECT_EQ(read_surface_settings({"Model=biconic", "Rx=7.6", "Ry=7.9", "Axis=30", "Q=-0.2"}, "surface.ini"),
            kCornea);
  EXPECT_EQ(read_surface_settings({"model=SPHERE"}, "surface.ini"), Surface{});
  EXPECT_EQ(error_of([] { read_surface_file("./none.ini"); }), "Cannot open file \"./none.ini\"");

  write_lines("surface_1.ini", {"earlier"});
  Surface bad = kCornea;
  bad.rx = 0.0;
  EXPECT_EQ(error_of([&] { write_surface_file("surface_1.ini", bad); }),
            "The surface cannot be simulated: Rx must lie between 0.1 and 1000 mm (read 0)");
  EXPECT_EQ(read_file_bytes("surface_1.ini"), "earlier\r\n");
}

TEST(SurfaceSummary, SixDigitsOfEachNumber) {
  // The sphere and kCornea: tests/cli/commands_test.cpp (measure_summary).
  EXPECT_EQ(surface_summary(Surface{.model = SurfaceModel::biconic, .rx = 1.0 / 3.0, .ry = 8, .axis_deg = -412.5,
                                    .q = 1e-9}),
            "biconic rx=0.333333 ry=8 axis=-412.5 q=1e-09");
}

TEST(SurfaceText, BiconicWithItsNumbersOrTheSphere) {
  EXPECT_EQ(parse_surface_text("biconic:rx=7.6,ry=7.9,axis=30,q=-0.2"), kCornea);
  EXPECT_EQ(parse_surface_text("Biconic:Q=-0.2,RY=7.9,axis=30,rx=7.6"), kCornea);
  const Surface plain = parse_surface_text("biconic:rx=7,ry=8");
  EXPECT_EQ(plain.axis_deg, 0.0);
  EXPECT_EQ(plain.q, 0.0);
  EXPECT_EQ(parse_surface_text("sphere"), Surface{});

  const std::pair<const char*, const char*> bad[] = {
      {"cone", "surface 'cone': the model must be sphere or biconic"},
      {"", "surface '': the model must be sphere or biconic"},
      {"sphere:r=7", "surface 'sphere:r=7': the sphere takes no numbers (its radius is the set one)"},
      {"biconic", "surface 'biconic': rx and ry are needed, e.g. biconic:rx=7.6,ry=7.9"},
      {"biconic:rx=7.6", "surface 'biconic:rx=7.6': rx and ry are needed"},
      {"biconic:rx=7.6,ry=7.9,", "surface 'biconic:rx=7.6,ry=7.9,': '' is not one of rx=, ry=, axis=, q=, cone="},
      {"biconic:rx=7.6,ry=7.9,k=1", "surface 'biconic:rx=7.6,ry=7.9,k=1': 'k=1' is not one of rx=, ry=, axis=, q=, cone="},
      {"biconic:rx=7.6,rx=7.9", "surface 'biconic:rx=7.6,rx=7.9': rx is given twice"},
      {"biconic:rx=7.6,ry=seven", "surface 'biconic:rx=7.6,ry=seven': ry: 'seven' is not a valid floating point value"},
      {"biconic:rx=-7.6,ry=7.9", "surface 'biconic:rx=-7.6,ry=7.9': Rx must lie between 0.1 and 1000 mm (read -7.6)"},
      {"biconic:rx=7.6,ry=7.9,q=-1e6", "surface 'biconic:rx=7.6,ry=7.9,q=-1e6': Q must lie between -10 and 10 (read -1e+06)"},
  };
  for (auto [text, message] : bad)
    EXPECT_EQ(error_of([text] { parse_surface_text(text); }), message) << text;
}

// ---- The sphere's pictures, byte for byte -----------------------------------

// FNV-1a, 64 bits: a short fingerprint of a whole picture file.
uint64_t fingerprint(const std::string& bytes) {
  uint64_t h = 1469598103934665603ULL;
  for (unsigned char c : bytes) {
    h ^= c;
    h *= 1099511628211ULL;
  }
  return h;
}

struct Pictures {
  uint64_t image, filtered;
};

Pictures apply(int channel, double dynamic, double noise, uint32_t seed) {
  SimParams params = channel_sim_params(channel);
  params.surface = channel_surface(channel);
  Picture image(256, 256, PixelFormat::indexed8), plot(256, 42);
  HeightMatrix scratch;
  SilentObserver observer;
  SimulationInputs in;
  in.channel = channel;
  in.dynamic = dynamic;
  in.noise = noise;
  in.seed = seed;
  run_simulation(in, params, image, plot, scratch, observer);
  const std::string name = channel == 1 ? "sim01" : "sim00";
  return {fingerprint(read_file_bytes(name + ".bmp")), fingerprint(read_file_bytes(name + "_filtered.bmp"))};
}

TEST(SpherePictures, FullSizePicturesAreTheSameWithoutASurfaceFileOrWithASphereOne) {
  TempDir dir;
  write_default_settings(".");
  // Channel 1 with its apex off the centre (MaskXOfs, MaskYOfs) and the
  // smallest radius: the sphere's rows are then not mirrored.
  write_lines("scnmod_1.ini", {"[ScanParameter]", "LambdaF=10.0", "CamResX=0.01", "CamResY=0.01",
                               "Alpha=30", "NFilt=3", "FlawThr=15", "MaskRadius=3.3",
                               "MAskXOfs=0.13", "MAskYOfs=-0.07", "DepthLimit=-10.0"});
  write_lines("image_1.ini", {"XPixels=1280", "YPixels=1024", "XRes=0.01", "YRes=0.01", "LambdaF=10.0",
                              "Alpha=30", "Radius=6.7", "MAskXOfs=0.0", "MAskYOfs=0.0"});
  // The fingerprints of the pictures the workbench made before surfaces existed.
  struct Case {
    int channel;
    double dynamic, noise;
    uint32_t seed;
    Pictures expected;
  } cases[] = {
      {0, 1.0, 0.0, 1, {0xdd85fdc59dfd6114ULL, 0xd016198fefda37f4ULL}},
      {0, 0.6, 0.5, 1, {0x6ba76add8c34fed8ULL, 0x774568eb01af62a9ULL}},
      {1, 1.0, 0.3, 3, {0xf804e4bb470b6b62ULL, 0xf746fe7e1e1d70fcULL}},
  };
  for (const Case& c : cases) {
    std::filesystem::remove("surface.ini");
    std::filesystem::remove("surface_1.ini");
    const Pictures without = apply(c.channel, c.dynamic, c.noise, c.seed);
    EXPECT_EQ(without.image, c.expected.image) << c.channel << " " << c.noise;
    EXPECT_EQ(without.filtered, c.expected.filtered) << c.channel << " " << c.noise;
    // A sphere file keeps its numbers for the window but simulates the set radius.
    write_lines(c.channel == 1 ? "surface_1.ini" : "surface.ini",
                {"Model=sphere", "Rx=7.6", "Ry=7.9", "Axis=30", "Q=-0.2"});
    const Pictures with = apply(c.channel, c.dynamic, c.noise, c.seed);
    EXPECT_EQ(with.image, c.expected.image);
    EXPECT_EQ(with.filtered, c.expected.filtered);
  }
}

TEST(SpherePictures, ApplyRefusesASurfaceItCannotSimulateBeforeWriting) {
  TempDir dir;
  write_default_settings(".");
  SimParams params = channel_sim_params(0);
  params.surface = kCornea;
  params.surface.ry = -1.0;
  Picture image(256, 256, PixelFormat::indexed8), plot(256, 42);
  HeightMatrix scratch;
  SilentObserver observer;
  EXPECT_EQ(error_of([&] { run_simulation({}, params, image, plot, scratch, observer); }),
            "The surface cannot be simulated: Ry must lie between 0.1 and 1000 mm (read -1)");
  EXPECT_FALSE(std::filesystem::exists("sim00.bmp"));
}

}  // namespace
