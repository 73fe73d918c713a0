// A study's base run as every front end assembles it: the channel's files,
// the method options over its method file, the controls.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "settings/channel_settings.h"
#include "settings/method_settings.h"
#include "studies/study_run.h"

namespace {

ChannelSettings files_of(int channel, std::vector<std::string> method) {
  ChannelSettings files;
  const ChannelSettingsTexts texts;
  files.channel = channel;
  files.scan = scan_settings_lines(texts);
  files.image = image_settings_lines(texts);
  files.surface = {"Model=biconic", "Rx=7.6", "Ry=7.9", "Axis=30", "Q=-0.2"};
  files.method = std::move(method);
  return files;
}

MethodOverrides steps(int n) {
  MethodOverrides o;
  o.steps = n;
  return o;
}

TEST(StudyBaseSettings, FilesMethodOptionsAndControls) {
  const struct {
    const char* name;
    int channel;
    std::vector<std::string> method;
    MethodOverrides overrides;
    std::vector<std::string> lines;  // the run's method lines
    const char* error;
  } cases[] = {
      // Without options the lines go through untouched, even ones a run
      // refuses later: the journal's fingerprint stays.
      {"no file", 0, {}, {}, {}, ""},
      {"file as it is", 1, {"method=Fourier", "Steps=5"}, {}, {"method=Fourier", "Steps=5"}, ""},
      {"file refused later", 0, {"Method=fft"}, {}, {"Method=fft"}, ""},
      {"options over no file", 0, {}, steps(6), method_settings_lines([] {
         MethodSettings m;
         m.steps = 6;
         return m;
       }()),
       ""},
      {"options over a file", 1, {"Method=phase-shift", "Steps=8", "Gamma=2.2"}, steps(5),
       method_settings_lines([] {
         MethodSettings m;
         m.method = FringeMethod::phase_shift;
         m.steps = 5;
         m.errors.gamma = 2.2;
         return m;
       }()),
       ""},
      {"option out of its domain", 0, {}, steps(2), {}, "--steps"},
      {"file refused under options", 1, {"Method=fft"}, steps(5), {}, "/ws/method_1.ini: Method = \"fft\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const ChannelSettings files = files_of(c.channel, c.method);
    const std::string file = c.channel == 1 ? "/ws/method_1.ini" : "/ws/method.ini";
    if (*c.error != '\0') {
      try {
        study_base_settings(files, file, c.overrides, 0.5, 0.25, "32");
        ADD_FAILURE() << "not refused";
      } catch (const std::exception& e) {
        EXPECT_EQ(std::string(e.what()).rfind(c.error, 0), 0u) << e.what();
      }
      continue;
    }
    const StudyRunSettings base = study_base_settings(files, file, c.overrides, 0.5, 0.25, "32");
    EXPECT_EQ(base.channel, c.channel);
    EXPECT_EQ(base.scan, files.scan);
    EXPECT_EQ(base.image, files.image);
    EXPECT_EQ(base.surface, files.surface);
    EXPECT_EQ(base.method, c.lines);
    EXPECT_EQ(base.contrast, 0.5);
    EXPECT_EQ(base.noise, 0.25);
    EXPECT_EQ(base.max_noise_text, "32");
    EXPECT_EQ(base.seed, 1u);
  }
}

}  // namespace
