// The chain in memory against the chain through the work files: for every
// kind of setting a user varies, measure() gives the profile the file states
// and the maps "profile" leaves, bit for bit; it fails with the same words;
// and two threads measuring at once give what one gives after the other.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "analysis/height_text_file.h"
#include "common/errors.h"
#include "common/settings_file.h"
#include "common/work_files.h"
#include "settings/channel_settings.h"
#include "runs/measurement.h"
#include "settings/method_settings.h"
#include "runs/profile_run.h"
#include "settings/settings_check.h"
#include "settings/surface_settings.h"
#include "settings/system_settings.h"
#include "runs/simulation_run.h"
#include "temp_dir.h"

namespace {

// Small pictures keep the table quick; the default size is one row of it.
MeasurementSettings settings_of(const ChannelSettingsTexts& texts, int channel = 0) {
  MeasurementSettings s;
  s.channel = channel;
  s.scan = scan_settings_lines(texts);
  s.image = image_settings_lines(texts);
  return s;
}

ChannelSettingsTexts small(const char* side = "320") {
  ChannelSettingsTexts t;
  t.xpixels = side;
  t.ypixels = "256";
  return t;
}

// "apply" then "profile" of the settings through the channel's work files,
// in the current folder.
UnseenProfile through_files(const MeasurementSettings& s) {
  const ChannelFiles files = channel_files(s.channel);
  write_lines(files.scan, s.scan);
  write_lines(files.image, s.image);
  if (s.surface.empty()) {
    std::filesystem::remove(surface_file(s.channel));
  } else {
    write_lines(surface_file(s.channel), s.surface);
  }
  if (s.method.empty()) {
    std::filesystem::remove(method_file(s.channel));
  } else {
    write_lines(method_file(s.channel), s.method);
  }
  if (s.system.empty()) {
    std::filesystem::remove(system_file(s.channel));
  } else {
    write_lines(system_file(s.channel), s.system);
  }
  SimParams params = channel_sim_params(s.channel);
  params.surface = channel_settings_surface(s.channel, s.surface);
  SimulationInputs in;
  in.channel = s.channel;
  in.dynamic = s.contrast;
  in.noise = s.noise;
  in.seed = s.seed;
  in.max_noise_text = s.max_noise_text;
  in.passes_text = settings_value(s.scan, "NFilt");
  SilentObserver silent;
  run_simulation_unseen(in, params, silent);
  UnseenProfile out;
  run_profile_unseen(s.channel, settings_value(s.image, "Radius"), settings_value(s.scan, "MaskRadius"), out,
                     silent);
  return out;
}

bool same_bits(const HeightMatrix& a, const HeightMatrix& b) {
  if (a.nx() != b.nx() || a.ny() != b.ny()) return false;
  for (int x = 0; x < a.nx(); ++x)
    for (int y = 0; y < a.ny(); ++y)
      if (std::bit_cast<uint64_t>(a(x, y)) != std::bit_cast<uint64_t>(b(x, y))) return false;
  return true;
}

void expect_same_measurement(const Measurement& a, const Measurement& b) {
  EXPECT_TRUE(same_bits(a.maps.height_map, b.maps.height_map));
  EXPECT_TRUE(same_bits(a.maps.measured_map, b.maps.measured_map));
  EXPECT_TRUE(same_bits(a.maps.sphere_map, b.maps.sphere_map));
  EXPECT_TRUE(same_bits(a.profile.heights, b.profile.heights));
}

struct Case {
  const char* name;
  MeasurementSettings settings;
};

std::vector<Case> cases() {
  std::vector<Case> list;
  const auto add = [&list](const char* name, MeasurementSettings s) { list.push_back({name, std::move(s)}); };
  add("default size, no noise", settings_of(ChannelSettingsTexts{}));
  MeasurementSettings noisy = settings_of(small());
  noisy.noise = 0.6;
  noisy.seed = 77;
  add("noise and seed", noisy);
  MeasurementSettings faint = settings_of(small());
  faint.contrast = 0.35;
  faint.noise = 0.2;
  faint.max_noise_text = "17";
  add("contrast and maximum noise", faint);
  ChannelSettingsTexts geometry = small("288");
  geometry.xres = "0.013";
  geometry.lambda = "13.5";
  geometry.alpha = "22";
  geometry.radius = "6.9";
  geometry.maskradius = "1.7";
  geometry.filters = "1";
  add("pixel size, period, angle, radii, passes", settings_of(geometry));
  add("a high picture", settings_of([] {
        ChannelSettingsTexts t = small("200");
        t.ypixels = "300";
        return t;
      }()));
  MeasurementSettings second = settings_of(small(), 1);
  second.noise = 0.3;
  add("channel 1", second);
  MeasurementSettings offset = settings_of(small());
  set_settings_value(offset.scan, "MaskXOfs", "0.21");
  set_settings_value(offset.scan, "MaskYOfs", "-0.13");
  set_settings_value(offset.scan, "FlawThr", "9");
  add("apex offsets and flaw threshold", offset);
  MeasurementSettings biconic = settings_of(small());
  biconic.surface = {"Model=biconic", "Rx=7.6", "Ry=7.9", "Axis=30", "Q=-0.2"};
  biconic.noise = 0.1;
  add("a biconic surface", biconic);
  // The methods: their frames go through the work files (16-bit ones as PNG)
  // and come back the same.
  MeasurementSettings stepped = settings_of(small());
  stepped.method = {"Method=phase-shift", "Steps=4", "Periods=320,20,10"};
  stepped.noise = 0.3;
  stepped.seed = 9;
  add("phase shifting over three periods, noise", stepped);
  MeasurementSettings deep = settings_of(small(), 1);
  deep.method = {"Method=phase-shift", "Steps=5", "Bits=12", "Gamma=1.8", "Blur=0.7", "Ambient=6"};
  deep.noise = 0.2;
  add("12-bit frames with every error source, channel 1", deep);
  MeasurementSettings fourier = settings_of(small());
  fourier.method = {"Method=fourier"};
  fourier.noise = 0.1;
  add("Fourier analysis", fourier);
  MeasurementSettings gamma = settings_of(small());
  gamma.method = {"Method=quadrature", "Gamma=2.2", "Periods=12"};
  add("the engine's quadrature with gamma at a period of its own", gamma);
  // Through a camera and a projector with lenses: the rays' pictures and the
  // triangulated profile through the work files as in memory.
  MeasurementSettings pinhole = settings_of(small());
  pinhole.method = {"Method=phase-shift", "Steps=4", "Periods=320,20,10"};
  pinhole.system = {"Model=pinhole"};
  set_settings_value(pinhole.scan, "MaskXOfs", "0.21");
  pinhole.noise = 0.3;
  add("a pinhole system, phase shifting over three periods, apex offset, noise", pinhole);
  MeasurementSettings pinhole_fourier = settings_of(small(), 1);
  pinhole_fourier.method = {"Method=fourier", "Bits=12"};
  pinhole_fourier.system = {"Model=pinhole", "CameraK1=0.1", "Angle=25", "ProjectorP1=0.001"};
  add("a pinhole system, Fourier analysis, channel 1", pinhole_fourier);
  return list;
}

}  // namespace

TEST(Measurement, EqualsTheChainThroughTheWorkFiles) {
  MeasurementContext context;  // one context for all: its planes are reused
  for (const Case& c : cases()) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const UnseenProfile files = through_files(c.settings);
    const Measurement m = measure(c.settings, context);
    const int channel = c.settings.channel;
    const ProfileHeights profile = read_profile_grid(profile_file(channel));
    EXPECT_TRUE(same_bits(m.profile.heights, profile.heights)) << "heights as the profile file states them";
    EXPECT_EQ(m.profile.step_x, profile.step_x);
    EXPECT_EQ(m.profile.step_y, profile.step_y);
    const ChannelMaps& maps = files.channels[static_cast<std::size_t>(channel)];
    EXPECT_TRUE(same_bits(m.maps.height_map, maps.height_map));
    EXPECT_TRUE(same_bits(m.maps.measured_map, maps.measured_map));
    EXPECT_TRUE(same_bits(m.maps.sphere_map, maps.sphere_map));
    EXPECT_EQ(m.maps.profile.cols, maps.profile.cols);
    EXPECT_EQ(m.maps.profile.field_x, maps.profile.field_x);
    EXPECT_EQ(m.maps.profile.step_y, maps.profile.step_y);
    EXPECT_EQ(m.mask_radius, files.mask_radius);
  }
}

TEST(Measurement, ClassicMethodLinesChangeNothing) {
  MeasurementContext context;
  MeasurementSettings plain = settings_of(small());
  plain.noise = 0.4;
  MeasurementSettings classic = plain;
  classic.method = {"Method=quadrature", "Steps=8", "Gamma=1", "Blur=0", "Bits=8", "Ambient=0"};
  expect_same_measurement(measure(plain, context), measure(classic, context));
}

TEST(Measurement, KeepsThePictureTheFileHolds) {
  TempDir dir;
  MeasurementSettings s = settings_of(small());
  s.noise = 0.4;
  s.seed = 5;
  through_files(s);
  MeasurementContext context;
  const Measurement m = measure(s, context, true);
  ASSERT_NE(m.picture, nullptr);
  GreyImage* read = nullptr;
  ASSERT_EQ(img_load_bmp(&read, fringe_image_file(0)), 0);
  const GreyImageOwner owner(read);
  ASSERT_EQ(read->size, m.picture->size);
  EXPECT_EQ(std::memcmp(read->pixels, m.picture->pixels, static_cast<std::size_t>(read->size)), 0);
}

TEST(Measurement, FailsWithTheWordsOfTheFilePath) {
  struct Bad {
    const char* name;
    void (*spoil)(MeasurementSettings&);
  };
  const Bad bad[] = {
      {"radius", [](MeasurementSettings& s) { set_settings_value(s.image, "Radius", "7,5mm"); }},
      {"mask radius", [](MeasurementSettings& s) { set_settings_value(s.scan, "MaskRadius", "big"); }},
      {"maximum noise", [](MeasurementSettings& s) { s.max_noise_text = "6.5"; }},
      {"passes", [](MeasurementSettings& s) { set_settings_value(s.scan, "NFilt", "two"); }},
      {"image side", [](MeasurementSettings& s) { set_settings_value(s.image, "XPixels", "wide"); }},
      {"surface", [](MeasurementSettings& s) { s.surface = {"Model=biconic", "Rx=7.6", "Ry=x", "Axis=0", "Q=0"}; }},
      {"method", [](MeasurementSettings& s) { s.method = {"Method=phase-shift", "Steps=2"}; }},
      {"periods", [](MeasurementSettings& s) { s.method = {"Method=phase-shift", "Periods=10,80"}; }},
  };
  MeasurementContext context;
  for (const Bad& b : bad) {
    SCOPED_TRACE(b.name);
    MeasurementSettings s = settings_of(small());
    b.spoil(s);
    std::string in_files = "no error";
    std::string in_memory = "no error";
    {
      TempDir dir;
      try {
        through_files(s);
      } catch (const std::exception& e) {
        in_files = e.what();
      }
    }
    try {
      measure(s, context);
    } catch (const std::exception& e) {
      in_memory = e.what();
    }
    EXPECT_NE(in_memory, "no error");
    EXPECT_EQ(in_memory, in_files);
  }
}

TEST(Measurement, TwoThreadsGiveWhatOneGivesAfterTheOther) {
  MeasurementSettings a = settings_of(small());
  a.noise = 0.5;
  a.seed = 3;
  MeasurementSettings b = settings_of(small("352"), 1);
  b.noise = 0.8;
  b.seed = 4;
  MeasurementContext one;
  const Measurement first = measure(a, one);
  const Measurement second = measure(b, one);
  for (int round = 0; round < 3; ++round) {
    Measurement x, y;
    std::thread tx([&] {
      MeasurementContext own;
      for (int k = 0; k < 2; ++k) x = measure(a, own);
    });
    std::thread ty([&] {
      MeasurementContext own;
      for (int k = 0; k < 2; ++k) y = measure(b, own);
    });
    tx.join();
    ty.join();
    expect_same_measurement(x, first);
    expect_same_measurement(y, second);
  }
}

// The comparison measure, the file path and the Python module share: the
// maps from a profile and the radii alone, the radii asked for once the
// measured heights are placed, the sphere seen before the subtraction.
TEST(CompareWithSphere, OneComparisonForEveryCaller) {
  MeasurementSettings s = settings_of(small());
  s.noise = 0.3;
  set_settings_value(s.scan, "MaskRadius", "1.1");
  MeasurementContext context;
  const Measurement m = measure(s, context);

  ChannelMaps again;
  bool sphere_seen = false;
  compare_with_sphere(
      m.profile, again, [&] { return SphereRadii{m.params.radius, m.mask_radius}; },
      [&](const ChannelMaps& made) {
        sphere_seen = true;
        EXPECT_TRUE(same_bits(made.height_map, made.measured_map));
        EXPECT_TRUE(same_bits(made.sphere_map, m.maps.sphere_map));
      });
  EXPECT_TRUE(sphere_seen);
  EXPECT_EQ(m.mask_radius, 1.1);
  EXPECT_TRUE(same_bits(again.height_map, m.maps.height_map));
  EXPECT_TRUE(same_bits(again.measured_map, m.maps.measured_map));
  EXPECT_TRUE(same_bits(again.sphere_map, m.maps.sphere_map));
  EXPECT_EQ(again.profile.field_x, m.maps.profile.field_x);
  EXPECT_EQ(again.profile.step_y, m.maps.profile.step_y);

  // A radius text that is not a number: the maps hold the measured heights.
  ChannelMaps refused;
  refused.sphere_map(0, 0) = 42.0;
  EXPECT_THROW(compare_with_sphere(
                   m.profile, refused, []() -> SphereRadii { throw ConversionError("'r' is not a valid floating point value"); },
                   [](const ChannelMaps&) { ADD_FAILURE() << "no sphere without its radius"; }),
               ConversionError);
  EXPECT_TRUE(same_bits(refused.height_map, m.maps.measured_map));
  EXPECT_TRUE(same_bits(refused.measured_map, m.maps.measured_map));
  EXPECT_EQ(refused.sphere_map(0, 0), 42.0);
}

// A measurement's settings from the files as read: a surface given stands in
// for the surface file (a bad file then stops nothing), the method file goes
// through untouched without options, the controls come along.
TEST(MeasurementSettingsOfFiles, SurfaceStandsInForTheFile) {
  ChannelSettings files = settings_of(small(), 1);
  files.surface = {"Model=biconic", "Rx=bad"};
  files.method = {"Method=quadrature"};
  Surface biconic;
  biconic.model = SurfaceModel::biconic;
  biconic.rx = 7.6;
  biconic.ry = 7.9;
  const MeasurementSettings given = measurement_settings(files, "m.ini", {}, biconic, 0.75, 0.5, "12", 9);
  EXPECT_EQ(given.channel, 1);
  EXPECT_EQ(given.surface, surface_settings_lines(biconic));
  EXPECT_EQ(given.method, files.method);
  EXPECT_EQ(given.scan, files.scan);
  EXPECT_EQ(given.image, files.image);
  EXPECT_EQ(given.contrast, 0.75);
  EXPECT_EQ(given.noise, 0.5);
  EXPECT_EQ(given.max_noise_text, "12");
  EXPECT_EQ(given.seed, 9u);
  EXPECT_EQ(measurement_parameters(given).channel.sim.surface, biconic);

  const MeasurementSettings from_file = measurement_settings(files, "m.ini", {}, std::nullopt, 1.0, 0.0, "64");
  EXPECT_EQ(from_file.surface, files.surface);
  EXPECT_THROW(measurement_parameters(from_file), SettingsError);
}
