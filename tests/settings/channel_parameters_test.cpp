// The one conversion of a channel's settings into the chain's numbers: the
// values are those the work-file path reads, and a bad text stops it with the
// words of the first error the work-file path gives.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/errors.h"
#include "common/settings_file.h"
#include "common/text_to_number.h"
#include "common/work_files.h"
#include "runs/measurement.h"
#include "runs/profile_run.h"
#include "runs/simulation_run.h"
#include "scan.h"
#include "scan/default_par.h"
#include "settings/channel_parameters.h"
#include "settings/channel_settings.h"
#include "settings/method_settings.h"
#include "settings/settings_check.h"
#include "settings/surface_settings.h"
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

MeasurementSettings small_settings(int channel = 0) {
  ChannelSettingsTexts texts;
  texts.xpixels = "320";
  texts.ypixels = "256";
  MeasurementSettings s;
  s.channel = channel;
  s.scan = scan_settings_lines(texts);
  s.image = image_settings_lines(texts);
  return s;
}

// The settings as the channel's files in the current folder.
void write_channel(const MeasurementSettings& s) {
  const ChannelFiles files = channel_files(s.channel);
  write_lines(files.scan, s.scan);
  write_lines(files.image, s.image);
  std::filesystem::remove(surface_file(s.channel));
  std::filesystem::remove(method_file(s.channel));
  if (!s.surface.empty()) write_lines(surface_file(s.channel), s.surface);
  if (!s.method.empty()) write_lines(method_file(s.channel), s.method);
}

// "apply" then "profile" through the work files, as the tool runs them.
void through_files(const MeasurementSettings& s) {
  write_channel(s);
  SimParams params = channel_sim_params(s.channel);
  params.surface = channel_settings_surface(s.channel, s.surface);
  SimulationInputs in;
  in.channel = s.channel;
  in.seed = s.seed;
  in.max_noise_text = s.max_noise_text;
  const ChannelSettingsTexts texts = settings_texts_of(s);
  in.passes_text = texts.filters;
  SilentObserver silent;
  run_simulation_unseen(in, params, silent);
  UnseenProfile out;
  run_profile_unseen(s.channel, texts.radius, texts.maskradius, out, silent);
}

TEST(ChannelParameters, FirstErrorIsTheOneTheFilePathGives) {
  const struct {
    const char* name;
    std::function<void(MeasurementSettings&)> spoil;
  } cases[] = {
      {"CamResX", [](MeasurementSettings& s) { set_settings_value(s.scan, "CamResX", "0,01"); }},
      {"LambdaF", [](MeasurementSettings& s) { set_settings_value(s.scan, "LambdaF", "ten"); }},
      {"Alpha", [](MeasurementSettings& s) { set_settings_value(s.scan, "Alpha", "30 deg"); }},
      {"MaskXOfs", [](MeasurementSettings& s) { set_settings_value(s.scan, "MaskXOfs", "left"); }},
      {"MaskYOfs", [](MeasurementSettings& s) { set_settings_value(s.scan, "MaskYOfs", ""); }},
      {"XPixels", [](MeasurementSettings& s) { set_settings_value(s.image, "XPixels", "wide"); }},
      {"YPixels", [](MeasurementSettings& s) { set_settings_value(s.image, "YPixels", "3e9"); }},
      {"Radius", [](MeasurementSettings& s) { set_settings_value(s.image, "Radius", "7,5mm"); }},
      {"NFilt", [](MeasurementSettings& s) { set_settings_value(s.scan, "NFilt", "2.5"); }},
      {"MaskRadius", [](MeasurementSettings& s) { set_settings_value(s.scan, "MaskRadius", "big"); }},
      {"maximum noise", [](MeasurementSettings& s) { s.max_noise_text = "6.5"; }},
      {"surface Ry", [](MeasurementSettings& s) { s.surface = {"Model=biconic", "Rx=7.6", "Ry=x", "Axis=0", "Q=0"}; }},
      {"surface model", [](MeasurementSettings& s) { s.surface = {"Model=torus"}; }},
      {"method steps", [](MeasurementSettings& s) { s.method = {"Method=phase-shift", "Steps=2"}; }},
      {"method bits", [](MeasurementSettings& s) { s.method = {"Method=fourier", "Bits=17"}; }},
      // Earlier reads win: the scan settings before the image settings,
      // both before the pass count.
      {"Alpha and Radius",
       [](MeasurementSettings& s) {
         set_settings_value(s.image, "Radius", "r");
         set_settings_value(s.scan, "Alpha", "a");
       }},
      {"XPixels and NFilt",
       [](MeasurementSettings& s) {
         set_settings_value(s.scan, "NFilt", "n");
         set_settings_value(s.image, "XPixels", "x");
       }},
      {"NFilt and MaskRadius",
       [](MeasurementSettings& s) {
         set_settings_value(s.scan, "MaskRadius", "m");
         set_settings_value(s.scan, "NFilt", "n");
       }},
      {"max noise and NFilt",
       [](MeasurementSettings& s) {
         set_settings_value(s.scan, "NFilt", "n");
         s.max_noise_text = "lots";
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MeasurementSettings s = small_settings();
    c.spoil(s);
    std::string in_files;
    {
      TempDir dir;
      in_files = error_of([&] { through_files(s); });
    }
    ASSERT_NE(in_files, "");
    // A mask radius is refused where "profile" reads it: after the scan.
    const std::string converted = error_of([&] { channel_parameters(s, s.max_noise_text).comparison_mask_radius(); });
    EXPECT_EQ(converted, in_files);
    EXPECT_EQ(error_of([&] { measure(s, *std::make_unique<MeasurementContext>()); }), in_files);
  }
}

TEST(ChannelParameters, PictureSidesNoPictureCanHaveAreRefusedBeforeThePassCount) {
  for (const char* side : {"0", "-3", "4097"}) {
    MeasurementSettings s = small_settings(1);
    set_settings_value(s.image, "YPixels", side);
    set_settings_value(s.scan, "NFilt", "n");
    EXPECT_EQ(error_of([&] { channel_parameters(s, "64"); }), "Cannot open file \"./sim01.bmp\"") << side;
  }
  MeasurementSettings largest = small_settings();
  set_settings_value(largest.image, "XPixels", "4096.7");
  EXPECT_EQ(channel_parameters(largest, "64").sim.x_pixels, 4096);
}

TEST(ChannelParameters, ValuesAreThoseTheFilePathReads) {
  const struct {
    const char* name;
    int channel;
    std::function<void(MeasurementSettings&)> change;
  } cases[] = {
      {"defaults", 0, [](MeasurementSettings&) {}},
      {"second channel, other texts", 1,
       [](MeasurementSettings& s) {
         set_settings_value(s.scan, "CamResX", "1.25e-2");
         set_settings_value(s.scan, "LambdaF", "12.5");
         set_settings_value(s.scan, "Alpha", "22.5");
         set_settings_value(s.scan, "MaskXOfs", "0.21");
         set_settings_value(s.scan, "MaskYOfs", "-0.13");
         set_settings_value(s.scan, "FlawThr", "9");
         set_settings_value(s.scan, "NFilt", "+5");
         set_settings_value(s.scan, "MaskRadius", "2.75");
         set_settings_value(s.scan, "DepthLimit", "-4");
         set_settings_value(s.image, "XPixels", "352.9");
         set_settings_value(s.image, "Radius", "8.1");
       }},
      {"engine keys it cannot read keep their defaults", 0,
       [](MeasurementSettings& s) {
         set_settings_value(s.scan, "CamResY", "fine");
         set_settings_value(s.scan, "DepthLimit", "deep");
       }},
      {"biconic and a method with error sources", 0,
       [](MeasurementSettings& s) {
         s.surface = {"Model=biconic", "Rx=7.6", "Ry=7.9", "Axis=30", "Q=-0.2"};
         s.method = {"Method=phase-shift", "Steps=6", "Periods=320,40,10", "Gamma=2.2", "Blur=1.5", "Bits=12",
                     "Ambient=20"};
       }},
      {"quadrature with a period of its own", 1,
       [](MeasurementSettings& s) { s.method = {"Method=quadrature", "Periods=12"}; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MeasurementSettings s = small_settings(c.channel);
    c.change(s);
    const ChannelParameters p = channel_parameters(s, "17");
    TempDir dir;
    write_channel(s);
    const SimParams sim = channel_sim_params(c.channel);
    EXPECT_EQ(p.channel, c.channel);
    EXPECT_EQ(p.sim.x_pixels, sim.x_pixels);
    EXPECT_EQ(p.sim.y_pixels, sim.y_pixels);
    EXPECT_EQ(p.sim.pixel_size, sim.pixel_size);
    EXPECT_EQ(p.sim.fringe_period, sim.fringe_period);
    EXPECT_EQ(p.sim.alpha_deg, sim.alpha_deg);
    EXPECT_EQ(p.sim.offset_x, sim.offset_x);
    EXPECT_EQ(p.sim.offset_y, sim.offset_y);
    EXPECT_EQ(p.sim.radius, sim.radius);
    const Surface surface = channel_surface(c.channel);
    EXPECT_EQ(p.sim.surface.model, surface.model);
    EXPECT_EQ(p.sim.surface.rx, surface.rx);
    EXPECT_EQ(p.sim.surface.ry, surface.ry);
    EXPECT_EQ(p.sim.surface.axis_deg, surface.axis_deg);
    EXPECT_EQ(p.sim.surface.q, surface.q);

    // The engine's own reader of the file, as "profile" runs it.
    ScnPar engine = kDefaultScnPar;  // as scan_picture pre-fills it
    scn_LoadPar(&engine, channel_files(c.channel).scan, "ScanParameter");
    EXPECT_EQ(p.scan.NFilt, engine.NFilt);
    EXPECT_EQ(p.scan.FlawThr, engine.FlawThr);
    EXPECT_EQ(p.scan.LambdaF, engine.LambdaF);
    EXPECT_EQ(p.scan.CamResX, engine.CamResX);
    EXPECT_EQ(p.scan.CamResY, engine.CamResY);
    EXPECT_EQ(p.scan.Alpha, engine.Alpha);
    EXPECT_EQ(p.scan.MaskRadius, engine.MaskRadius);
    EXPECT_EQ(p.scan.MaskXOfs, engine.MaskXOfs);
    EXPECT_EQ(p.scan.MaskYOfs, engine.MaskYOfs);
    EXPECT_EQ(p.scan.DepthLimit, engine.DepthLimit);

    const MethodSettings method = channel_method_settings(c.channel);
    EXPECT_EQ(p.method.method, method.method);
    EXPECT_EQ(p.method.steps, method.steps);
    EXPECT_EQ(p.method.periods, method.periods);
    EXPECT_EQ(p.method.errors.gamma, method.errors.gamma);
    EXPECT_EQ(p.method.errors.blur, method.errors.blur);
    EXPECT_EQ(p.method.errors.bits, method.errors.bits);
    EXPECT_EQ(p.method.errors.ambient, method.errors.ambient);
    // "apply" draws with the method's error sources.
    EXPECT_EQ(p.sim.errors.bits, method.classic() ? 8 : method.errors.bits);
    EXPECT_EQ(p.sim.errors.gamma, method.classic() ? 1.0 : method.errors.gamma);

    // The texts "apply" and "profile" take from the dialog's reading.
    const ChannelSettingsTexts texts = read_settings_texts(c.channel);
    EXPECT_EQ(p.smoothing_passes, text_to_int(texts.filters));
    EXPECT_EQ(p.comparison_mask_radius(), text_to_double(texts.maskradius));
    EXPECT_EQ(p.max_noise, 17);
  }
}

}  // namespace
