// A channel's method settings file: what it reads, what it refuses and with
// which words, and the frame files and plan it leads to.
#include "settings/method_settings.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>

#include "common/errors.h"
#include "common/settings_file.h"
#include "error_of.h"
#include "runs/channel_frames.h"
#include "temp_dir.h"

namespace {

TEST(MethodSettings, DefaultsAreTheClassicEngine) {
  const MethodSettings none = read_method_settings({}, "./method.ini");
  EXPECT_TRUE(none.classic());
  EXPECT_EQ(none.method, FringeMethod::quadrature);
  // Any error source, or a period of its own, leaves the classic path.
  for (const char* line : {"Gamma=2.2", "Blur=0.5", "Ambient=3", "Periods=10"})
    EXPECT_FALSE(read_method_settings({line}, "./method.ini").classic()) << line;
  EXPECT_TRUE(read_method_settings({"Method=quadrature", "Gamma=1", "Blur=0", "Bits=8"}, "./method.ini").classic());
}

TEST(MethodSettings, LinesRoundTripWithCrLf) {
  TempDir dir;
  MethodSettings s;
  s.method = FringeMethod::phase_shift;
  s.steps = 8;
  s.periods = {1280, 80, 10.5};
  s.errors = {.gamma = 2.2, .blur = 1.25, .bits = 12, .ambient = 20};
  write_method_file("method_1.ini", s);
  EXPECT_EQ(read_file_bytes("method_1.ini"),
            "Method=phase-shift\r\nSteps=8\r\nPeriods=1280,80,10.5\r\nGamma=2.2\r\nBlur=1.25\r\nBits=12\r\n"
            "Ambient=20\r\n");
  const MethodSettings back = read_method_settings(read_lines("method_1.ini"), "method_1.ini");
  EXPECT_EQ(back.method, s.method);
  EXPECT_EQ(back.steps, 8);
  EXPECT_EQ(back.periods, s.periods);
  EXPECT_EQ(back.errors.gamma, 2.2);
  EXPECT_EQ(back.errors.bits, 12);
  // Keys without regard to case, blanks around values, the method's case.
  const MethodSettings loose = read_method_settings({"METHOD= Fourier ", "periods = 12"}, "m.ini");
  EXPECT_EQ(loose.method, FringeMethod::fourier);
}

TEST(MethodSettings, BadValuesNameFileKeyAndText) {
  const struct {
    const char* line;
    const char* message;
  } cases[] = {
      {"Method=fft", "method.ini: Method = \"fft\" is not quadrature, phase-shift or fourier"},
      {"Steps=2", "method.ini: Steps = \"2\" must lie between 3 and 64"},
      {"Steps=4.5", "method.ini: Steps = \"4.5\" is not a whole number"},
      {"Steps=many", "method.ini: Steps = \"many\" is not a number"},
      {"Periods=80,1280", "method.ini: Periods = \"80,1280\" is not coarse to fine (each period shorter than the one before)"},
      {"Periods=80,80", "method.ini: Periods = \"80,80\" is not coarse to fine (each period shorter than the one before)"},
      {"Periods=80,-10", "method.ini: Periods = \"80,-10\" holds -10: periods must be positive"},
      {"Periods=80,,10", "method.ini: Periods = \"80,,10\" holds \"\", which is not a number"},
      {"Gamma=0", "method.ini: Gamma = \"0\" must be greater than 0"},
      {"Blur=-0.5", "method.ini: Blur = \"-0.5\" must lie between 0 and 4096 px"},
      {"Bits=17", "method.ini: Bits = \"17\" must lie between 8 and 16"},
      {"Ambient=-1", "method.ini: Ambient = \"-1\" must lie between 0 and 254 grey levels"},
      {"Bits=12", "method.ini: Bits = \"12\" does not suit Method = quadrature, which scans 8-bit pictures"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(error_of([&] { read_method_settings({c.line}, "./method.ini"); }), c.message) << c.line;
  }
}

TEST(MethodSettings, OverridesCheckedAndNamed) {
  MethodOverrides o;
  o.method = "phase-shift";
  o.steps = 16;
  o.periods = "1280,80,10";
  o.bits = 12;
  const MethodSettings s = apply_method_overrides({}, o);
  EXPECT_EQ(s.method, FringeMethod::phase_shift);
  EXPECT_EQ(s.steps, 16);
  EXPECT_EQ(s.periods, (std::vector<double>{1280, 80, 10}));
  EXPECT_EQ(s.errors.bits, 12);

  const struct {
    std::function<void(MethodOverrides&)> set;
    const char* message;
  } cases[] = {
      {[](MethodOverrides& m) { m.method = "fft"; }, "--method: \"fft\" is not quadrature, phase-shift or fourier"},
      {[](MethodOverrides& m) { m.periods = "10,80"; },
       "--periods: \"10,80\" is not coarse to fine (each period shorter than the one before)"},
      {[](MethodOverrides& m) { m.method = "fourier", m.bits = 20; }, "--bits: 20 must lie between 8 and 16"},
      {[](MethodOverrides& m) { m.bits = 10; },
       "--bits: 10 does not suit the quadrature method, which scans 8-bit pictures"},
  };
  for (const auto& c : cases) {
    MethodOverrides overrides;
    c.set(overrides);
    EXPECT_EQ(error_of([&] { apply_method_overrides({}, overrides); }), c.message);
  }
}

TEST(MethodSettings, PlansFramesAndFiles) {
  MethodSettings s;
  s.method = FringeMethod::phase_shift;
  s.steps = 4;
  s.periods = {1280, 80, 10};
  const MethodPlan plan = method_plan(s, 12.0);
  EXPECT_EQ(plan_frame_count(plan), 12);
  EXPECT_EQ(method_frame_set(s, 12.0).periods, s.periods);
  // The single-frame methods take the finest period; without periods the scan settings' one.
  s.method = FringeMethod::fourier;
  EXPECT_EQ(method_periods(s, 12.0), std::vector<double>{10});
  EXPECT_EQ(plan_frame_count(method_plan(s, 12.0)), 1);
  s.periods.clear();
  EXPECT_EQ(method_periods(s, 12.0), std::vector<double>{12});

  // One scheme whatever the depth: frame 0 too has the set's name.
  EXPECT_EQ(frame_files(0, 3, 8), (std::vector<std::string>{"./sim00_f00.bmp", "./sim00_f01.bmp", "./sim00_f02.bmp"}));
  EXPECT_EQ(frame_files(1, 2, 12), (std::vector<std::string>{"./sim01_f00.png", "./sim01_f01.png"}));
  EXPECT_EQ(std::string(method_file(1)), "./method_1.ini");
  EXPECT_EQ(std::string(method_file(7)), "./method.ini");
}

TEST(MethodSettings, SummaryAndCoarsePeriodWarning) {
  MethodSettings s;
  EXPECT_EQ(method_summary(s, 10), "quadrature");
  s.method = FringeMethod::phase_shift;
  s.steps = 8;
  s.periods = {1280, 80, 10};
  s.errors = {.gamma = 2.2, .blur = 1.5, .bits = 12, .ambient = 20};
  EXPECT_EQ(method_summary(s, 10), "phase-shift 8 steps, periods 1280/80/10 px, gamma 2.2, blur 1.5 px, 12 bits, ambient 20");
  EXPECT_EQ(coarse_period_warning(s, 10, 1280), "");
  s.periods = {80, 10};
  EXPECT_EQ(coarse_period_warning(s, 10, 1280),
            "coarsest period 80 px does not cover the field of 1280 px: its first order is ambiguous");
  // One period is unwrapped in space: no first order to be ambiguous.
  s.periods = {10};
  EXPECT_EQ(coarse_period_warning(s, 10, 1280), "");
  MethodSettings fourier;
  fourier.method = FringeMethod::fourier;
  EXPECT_EQ(method_summary(fourier, 10), "fourier, period 10 px");
}

}  // namespace
