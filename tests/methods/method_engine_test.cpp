#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "method_frames.h"
#include "methods/method_engine.h"
#include "scan/profile_calculation.h"

namespace {

// Mm of height per pixel of fringe shift with the default angle and pixel size.
const double kFactor = 0.01 / std::tan(30.0 * std::numbers::pi / 180.0);
constexpr FringeMethod kShift = FringeMethod::phase_shift, kFourier = FringeMethod::fourier;

struct Grid {
  ScnMatrix m{};
  ~Grid() { mat_free(&m); }
  float at(int32_t col, int32_t row) const { return m.values[row][col]; }
};

// Checks every pixel of the grid whose height is data against k * shift
// within `tolerance` mm (stopping at the first miss); returns how many had data.
int64_t expect_heights(const Grid& full, const ShiftFunction& shift, double tolerance) {
  int64_t with_data = 0;
  for (int32_t y = 0; y < full.m.rows; ++y)
    for (int32_t x = 0; x < full.m.cols; ++x) {
      if (full.at(x, y) == -10.0f) continue;
      ++with_data;
      const double miss = std::fabs(full.at(x, y) - kFactor * shift(x, y));
      if (!(miss <= tolerance)) {
        ADD_FAILURE() << "misses by " << miss << " mm at x " << x << " y " << y;
        return -1;
      }
    }
  return with_data;
}

// The height of a phase error of `radians` at a period of 16 pixels.
double phase_mm(double radians) { return kFactor * 16.0 * radians / (2.0 * std::numbers::pi); }

// Known shifts through every method: the heights inside the ellipse, how many
// have data, and the profile equal to the engine's block fits of those
// heights bit for bit. A tilted plane; ramps over many orders of the fine
// period, which temporal unwrapping recovers without any path through the
// field; a pure carrier (flat) at a whole and a fractional period.
TEST(MethodEngine, KnownShiftsThroughEveryMethod) {
  struct Case {
    const char* name;
    MethodPlan plan;
    int bits;
    int32_t width, height;
    double radius;  // mm
    ShiftFunction shift;
    double tolerance;  // mm
    std::pair<int64_t, int64_t> data;  // the least and most pixels with data
  };
  const ShiftFunction plane = [](int32_t x, int32_t y) { return 0.02 * (x - 256) + 0.05 * (y - 128); };
  const auto ramp = [](double slope) { return [slope](int32_t x, int32_t) { return slope * (x - 256); }; };
  const ShiftFunction flat = [](int32_t, int32_t) { return 0.0; };
  // The ellipse of radius 100 pixels holds about pi 100^2 pixels, all with data.
  const std::pair<int64_t, int64_t> disc{31016, 31816}, all{512 * 16, 512 * 16}, some{4001, 1280 * 64};
  const Case cases[] = {
      {"3 steps, 8-bit", {kShift, 3, {16.0}}, 8, 512, 256, 1.0, plane, phase_mm(0.012), disc},
      {"4 steps, 12-bit", {kShift, 4, {16.0}}, 12, 512, 256, 1.0, plane, phase_mm(6e-4), disc},
      {"two periods", {kShift, 4, {512.0, 16.0}}, 16, 512, 256, 1.0, plane, phase_mm(4e-5), disc},
      {"three periods", {kShift, 5, {512.0, 64.0, 16.0}}, 16, 512, 256, 1.0, plane, phase_mm(4e-5), disc},
      {"fourier, 16-bit", {kFourier, 1, {16.0}}, 16, 512, 256, 1.0, plane, phase_mm(0.02), disc},
      {"ramp, 2 periods", {kShift, 4, {1024.0, 10.0}}, 16, 512, 16, 1e6, ramp(0.8), 1e-5, all},
      {"ramp, 3 periods", {kShift, 4, {1024.0, 96.0, 10.0}}, 16, 512, 16, 1e6, ramp(0.9), 1e-5, all},
      {"falling ramp", {kShift, 4, {600.0, 60.0, 7.0}}, 16, 512, 16, 1e6, ramp(-0.5), 1e-5, all},
      {"carrier 10", {kFourier, 1, {10.0}}, 8, 1280, 64, 2.5, flat, 1e-4, some},
      {"carrier 12.8", {kFourier, 1, {12.8}}, 8, 1280, 64, 2.5, flat, 1e-4, some},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto frames = make_method_frames({.width = c.width, .height = c.height, .bits = c.bits,
                                            .steps = c.plan.method == kFourier ? 1 : c.plan.steps,
                                            .periods = c.plan.periods, .shift = c.shift});
    const auto pointers = frame_pointers(frames);
    const ScnPar par = par_with_radius(c.radius);
    MethodEngine engine;
    Grid full;
    engine.heights(pointers, c.plan, par, full.m);
    ASSERT_EQ(full.m.cols, c.width);
    ASSERT_EQ(full.m.rows, c.height);
    const int64_t with_data = expect_heights(full, c.shift, c.tolerance);
    EXPECT_GE(with_data, c.data.first);
    EXPECT_LE(with_data, c.data.second);

    Grid profile, fitted;
    engine.profile(pointers, c.plan, par, profile.m);
    ASSERT_EQ(profile.m.cols, c.width / 4);
    ASSERT_EQ(profile.m.rows, c.height / 4);
    EXPECT_EQ(profile.m.xStep, 0.04);
    ASSERT_EQ(mat_create(&fitted.m, c.width / 4, c.height / 4, 0.04, 0.04), 0);
    ASSERT_EQ(block_fit(full.m, fitted.m, 4, par.DepthLimit), 0);
    for (int32_t r = 0; r < c.height / 4; ++r)
      ASSERT_EQ(std::memcmp(profile.m.values[r], fitted.m.values[r], c.width / 4 * sizeof(float)), 0) << "row " << r;
  }
}

TEST(MethodEngine, FloodFillStopsAtFlawsAndStartsBesideADeadCentre) {
  // A step of a third of a period along column 300: the flaw threshold of
  // 16/256 period keeps the fill on the left; 128 crosses it.
  auto frames = make_method_frames(
      {.width = 512, .height = 32, .shift = [](int32_t x, int32_t) { return x < 300 ? 0.0 : 16.0 / 3.0; }});
  ScnPar par = par_with_radius(1e6);
  const MethodPlan plan{kShift, 4, {16.0}};
  const auto count_data = [](const Grid& g, int32_t from, int32_t to) {
    int64_t n = 0;
    for (int32_t y = 0; y < g.m.rows; ++y)
      for (int32_t x = from; x < to; ++x) n += g.at(x, y) != -10.0f ? 1 : 0;
    return n;
  };
  MethodEngine engine;
  for (const int32_t flaw : {16, -16, 128, 1000}) {
    SCOPED_TRACE(flaw);
    par.FlawThr = flaw;
    Grid full;
    engine.heights(frame_pointers(frames), plan, par, full.m);
    EXPECT_EQ(count_data(full, 0, 300), 300 * 32);
    EXPECT_EQ(count_data(full, 300, 512), flaw >= 128 ? 212 * 32 : 0);
  }
  // The centre pixel (256, 16) and its neighbours dark: the fill starts at
  // the nearest fringe pixel and still reaches every pixel with fringes.
  par.FlawThr = 16;
  for (auto& frame : frames)
    for (int32_t y = 14; y <= 18; ++y) std::memset(img_line(frame.get(), y) + 2 * 254, 0, 2 * 5);
  Grid full;
  engine.heights(frame_pointers(frames), plan, par, full.m);
  EXPECT_EQ(count_data(full, 0, 300), 300 * 32 - 25);
  EXPECT_EQ(full.at(256, 16), -10.0f);
  EXPECT_NEAR(full.at(256, 13), 0.0, 1e-5);
}

TEST(MethodEngine, BadPlansAndFramesAreRefusedByName) {
  const auto frames = make_method_frames({.width = 64, .height = 32});
  const auto narrow = make_method_frames({.width = 48, .height = 32, .steps = 1});
  const auto bytes = make_method_frames({.width = 64, .height = 32, .bits = 8, .steps = 1});
  const GreyImageOwner colour(img_create(3, 64, 32));
  const auto four = frame_pointers(frames);
  const auto with = [&](int index, const GreyImage* frame) {
    auto f = four;
    f[static_cast<std::size_t>(index)] = frame;
    return f;
  };
  const MethodPlan good{kShift, 4, {16.0}};
  const struct {
    const char* name;
    MethodPlan plan;
    std::vector<const GreyImage*> frames;
    const char* words;
  } cases[] = {
      {"quadrature", {FringeMethod::quadrature, 1, {16.0}}, {four[0]}, "quadrature method is the engine's own"},
      {"2 steps", {kShift, 2, {16.0}}, {four[0], four[1]}, "3 to 64 phase steps"},
      {"65 steps", {kShift, 65, {16.0}}, four, "not 65"},
      {"no period", {kShift, 4, {}}, four, "no fringe period"},
      {"zero period", {kShift, 4, {0.0}}, four, "period 1 (0) is not a positive finite"},
      {"negative period", {kFourier, 1, {-3.0}}, {four[0]}, "(-3) is not a positive"},
      {"infinite period", {kShift, 4, {HUGE_VAL}}, four, "(inf) is not a positive"},
      {"NaN period", {kFourier, 1, {NAN}}, {four[0]}, "is not a positive finite"},
      {"fine to coarse", {kShift, 4, {16.0, 64.0}}, four, "coarse to fine: period 2"},
      {"equal periods", {kFourier, 1, {16.0, 16.0}}, {four[0]}, "is not below period 1"},
      {"too few frames", good, {four[0], four[1], four[2]}, "takes 4 frame(s), not 3"},
      {"too many frames", {kFourier, 1, {16.0}}, four, "takes 1 frame(s), not 4"},
      {"null frame", good, with(2, nullptr), "frame 2 is missing"},
      {"other size", good, with(1, narrow[0].get()), "frame 1 is 48 x 32 16-bit, frame 0 64 x 32 16-bit"},
      {"other kind", good, with(3, bytes[0].get()), "frame 3 is 64 x 32 8-bit"},
      {"colour frame", good, with(0, colour.get()), "frame 0 is 64 x 32 24-bit: the methods take 8-bit or 16-bit"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Grid profile;
    ASSERT_EQ(mat_create(&profile.m, 2, 2, 1.0, 1.0), 0);
    try {
      MethodEngine().profile(c.frames, c.plan, kDefaultScnPar, profile.m);
      ADD_FAILURE() << "accepted";
    } catch (const std::invalid_argument& e) {
      EXPECT_NE(std::string(e.what()).find(c.words), std::string::npos) << e.what();
    }
    EXPECT_EQ(profile.m.cols, 2) << "a refused call changes nothing";
  }
}

// One engine measures picture after picture: sizes, ellipses, methods and
// periods, then pictures of a pixel or a few with parameters the engine's own
// chain would not measure with (no ellipse, a zero pixel size, an angle of 0
// or 90 degrees). Nothing of an earlier field or Fourier band leaks into the
// next, so each answer is a fresh engine's bit for bit; every grid has its
// size, no height is not a number, and a flat surface has data exactly
// inside its ellipse.
TEST(MethodEngine, OneEngineAcrossSizesEllipsesPeriodsAndOddParameters) {
  struct Run {
    FringeMethod method;
    int32_t width, height;
    double lambda;
    ScnPar par;
    int bits;     // 8: a tilted surface, else a flat one
    bool counted;  // data expected exactly inside the ellipse
  };
  const auto ellipse = [](double radius, double x_offset) {
    ScnPar par = par_with_radius(radius);
    par.MaskXOfs = x_offset;
    return par;
  };
  std::vector<Run> runs{{kShift, 256, 128, 16.0, ellipse(1e6, 0.0), 16, true},
                        {kShift, 256, 128, 16.0, ellipse(0.3, 0.5), 16, true},
                        {kShift, 130, 70, 16.0, ellipse(1e6, 0.0), 16, true},
                        {kShift, 256, 128, 16.0, ellipse(0.0, 0.0), 16, true}};
  for (const auto& [width, lambda] : {std::pair{512, 16.0}, {512, 10.0}, {512, 16.0}, {300, 10.0}, {512, 10.0}})
    runs.push_back({kFourier, width, 40, lambda, par_with_radius(1.0), 8, false});
  ScnPar odd[5] = {par_with_radius(1e6), par_with_radius(NAN), par_with_radius(1e6), par_with_radius(1e6),
                   par_with_radius(1e6)};
  odd[2].CamResX = 0.0;
  odd[3].Alpha = 0.0;
  odd[4].Alpha = 90.0;
  for (const auto& [width, height] : {std::pair{1, 1}, {2, 3}, {5, 1}, {4, 4}, {9, 8}})
    for (const FringeMethod method : {kShift, kFourier})
      for (const ScnPar& par : odd) runs.push_back({method, width, height, 4.0, par, 16, false});
  MethodEngine kept;
  for (const Run& c : runs) {
    SCOPED_TRACE(testing::Message() << fringe_method_name(c.method) << " " << c.width << " x " << c.height << " period "
                                    << c.lambda << " radius " << c.par.MaskRadius << " CamResX " << c.par.CamResX
                                    << " Alpha " << c.par.Alpha);
    const ShiftFunction shift = [&c](int32_t x, int32_t y) { return c.bits == 8 ? 0.01 * x + 0.03 * y : 0.0; };
    const auto frames = make_method_frames({.width = c.width, .height = c.height, .bits = c.bits,
                                            .steps = c.method == kFourier ? 1 : 3, .periods = {c.lambda},
                                            .shift = shift});
    const MethodPlan plan{c.method, 3, {c.lambda}};
    Grid again, fresh, profile;
    kept.heights(frame_pointers(frames), plan, c.par, again.m);
    MethodEngine().heights(frame_pointers(frames), plan, c.par, fresh.m);
    ASSERT_EQ(again.m.cols, c.width);
    ASSERT_EQ(again.m.rows, c.height);
    for (int32_t y = 0; y < c.height; ++y) {
      ASSERT_EQ(std::memcmp(again.m.values[y], fresh.m.values[y], c.width * sizeof(float)), 0) << "row " << y;
      for (int32_t x = 0; x < c.width; ++x) ASSERT_FALSE(std::isnan(again.at(x, y))) << "x " << x << " y " << y;
    }
    kept.profile(frame_pointers(frames), plan, c.par, profile.m);
    EXPECT_EQ(profile.m.cols, c.width / 4);
    EXPECT_EQ(profile.m.rows, c.height / 4);
    if (!c.counted) continue;
    int64_t inside = 0;
    const double cx = c.par.MaskXOfs / 0.01 + c.width / 2, r = std::min(c.par.MaskRadius / 0.01, 1e6);
    for (int32_t y = 0; y < c.height; ++y)
      for (int32_t x = 0; x < c.width; ++x) {
        const double dx = (x - cx) / r, dy = (y - c.height / 2) / r;
        inside += r > 0.0 && dx * dx + dy * dy < 1.0 ? 1 : 0;
      }
    EXPECT_EQ(expect_heights(again, shift, 1e-5), inside);
  }
}

}  // namespace
