#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "method_frames.h"
#include "methods/fringe_method.h"
#include "scan/default_par.h"
#include "scan/profile_calculation.h"

namespace {

// Mm of height per pixel of fringe shift with the default angle and pixel size.
const double kFactor = 0.01 / std::tan(30.0 * 3.14159265358979323846 / 180.0);

struct Grid {
  ScnMatrix m{};
  ~Grid() { mat_free(&m); }
  float at(int32_t col, int32_t row) const { return m.values[row][col]; }
};

ScnPar par_with_radius(double mask_radius_mm) {
  ScnPar par = kDefaultScnPar;
  par.MaskRadius = mask_radius_mm;
  return par;
}

MethodPlan plan_of(FringeMethod method, int steps, std::vector<double> periods) {
  MethodPlan plan;
  plan.method = method;
  plan.steps = steps;
  plan.periods = std::move(periods);
  return plan;
}

// Checks every pixel of the grid whose height is data against k * shift
// within `tolerance` mm; returns how many had data.
int64_t expect_heights(const Grid& full, const ShiftFunction& shift, double tolerance) {
  int64_t with_data = 0;
  double worst = 0.0;
  int32_t worst_x = -1, worst_y = -1;
  for (int32_t y = 0; y < full.m.rows; ++y)
    for (int32_t x = 0; x < full.m.cols; ++x) {
      const float h = full.at(x, y);
      if (h == -10.0f) continue;
      ++with_data;
      const double miss = std::fabs(h - kFactor * shift(x, y));
      if (!(miss <= worst)) {
        worst = miss;
        worst_x = x;
        worst_y = y;
      }
    }
  EXPECT_LE(worst, tolerance) << "at x " << worst_x << " y " << worst_y;
  return with_data;
}

// The height of a phase error of `radians` at a period of `lambda` pixels.
double height_of_phase(double radians, double lambda) { return kFactor * lambda * radians / (2.0 * 3.14159265358979323846); }

// A tilted plane (a fringe shift growing across and along the picture)
// through every method gives the plane's heights inside the ellipse, and the
// profile is the engine's block fits of those heights, bit for bit.
TEST(MethodEngine, TiltedPlaneThroughEveryMethod) {
  struct Case {
    const char* name;
    FringeMethod method;
    int steps;
    std::vector<double> periods;
    int bits;
    double tolerance;  // mm
  };
  const Case cases[] = {
      {"3 steps, 8-bit", FringeMethod::phase_shift, 3, {16.0}, 8, height_of_phase(0.012, 16.0)},
      {"8 steps, 8-bit", FringeMethod::phase_shift, 8, {16.0}, 8, height_of_phase(0.006, 16.0)},
      {"4 steps, 12-bit", FringeMethod::phase_shift, 4, {16.0}, 12, height_of_phase(6e-4, 16.0)},
      {"two periods", FringeMethod::phase_shift, 4, {512.0, 16.0}, 16, height_of_phase(4e-5, 16.0)},
      {"three periods", FringeMethod::phase_shift, 5, {512.0, 64.0, 16.0}, 16, height_of_phase(4e-5, 16.0)},
      {"fourier, 8-bit", FringeMethod::fourier, 1, {16.0}, 8, height_of_phase(0.03, 16.0)},
      {"fourier, 16-bit", FringeMethod::fourier, 1, {16.0}, 16, height_of_phase(0.02, 16.0)},
  };
  const ShiftFunction plane = [](int32_t x, int32_t y) { return 0.02 * (x - 256) + 0.05 * (y - 128); };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FrameRecipe recipe;
    recipe.width = 512;
    recipe.height = 256;
    recipe.bits = c.bits;
    recipe.steps = c.method == FringeMethod::fourier ? 1 : c.steps;
    recipe.periods = c.periods;
    recipe.shift = plane;
    const auto frames = make_method_frames(recipe);
    const auto pointers = frame_pointers(frames);
    const ScnPar par = par_with_radius(1.0);  // 100 pixels
    const MethodPlan plan = plan_of(c.method, c.steps, c.periods);
    MethodEngine engine;
    Grid full;
    engine.heights(pointers, plan, par, full.m);
    ASSERT_EQ(full.m.cols, 512);
    ASSERT_EQ(full.m.rows, 256);
    const int64_t with_data = expect_heights(full, plane, c.tolerance);
    // The ellipse of radius 100 pixels holds about pi 100^2 pixels, all with data.
    EXPECT_NEAR(static_cast<double>(with_data), 31416.0, 400.0);

    Grid profile;
    engine.profile(pointers, plan, par, profile.m);
    ASSERT_EQ(profile.m.cols, 128);
    ASSERT_EQ(profile.m.rows, 64);
    EXPECT_EQ(profile.m.xStep, 0.04);
    Grid fitted;
    ASSERT_EQ(mat_create(&fitted.m, 128, 64, 0.04, 0.04), 0);
    ASSERT_EQ(block_fit(full.m, fitted.m, 4, par.DepthLimit), 0);
    for (int32_t r = 0; r < 64; ++r)
      ASSERT_EQ(std::memcmp(profile.m.values[r], fitted.m.values[r], 128 * sizeof(float)), 0) << "profile row " << r;
  }
}

// A ramp over many orders of the fine period: temporal unwrapping recovers
// the absolute shift everywhere, without any path through the field.
TEST(MethodEngine, TemporalUnwrappingAcrossEveryOrder) {
  struct Case {
    std::vector<double> periods;
    double slope;  // pixels of shift per column
  };
  const Case cases[] = {{{1024.0, 10.0}, 0.8}, {{1024.0, 96.0, 10.0}, 0.9}, {{600.0, 60.0, 7.0}, -0.5}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.periods.size() << " periods, slope " << c.slope);
    FrameRecipe recipe;
    recipe.width = 512;
    recipe.height = 16;
    recipe.steps = 4;
    recipe.periods = c.periods;
    recipe.shift = [&](int32_t x, int32_t) { return c.slope * (x - 256); };
    const auto frames = make_method_frames(recipe);
    MethodEngine engine;
    Grid full;
    engine.heights(frame_pointers(frames), plan_of(FringeMethod::phase_shift, 4, c.periods), par_with_radius(1e6),
                   full.m);
    // The shift runs over about |slope| * 512 / period orders of the finest period.
    EXPECT_EQ(expect_heights(full, recipe.shift, 1e-5), 512 * 16);
  }
}

// One flat: a pure carrier gives the same (zero) height everywhere, and a
// frame half dark gives data only where the fringes are.
TEST(MethodEngine, FourierOnAPureCarrier) {
  for (const double lambda : {10.0, 16.0, 12.8}) {
    SCOPED_TRACE(lambda);
    FrameRecipe recipe;
    recipe.width = 1280;
    recipe.height = 64;
    recipe.bits = 8;
    recipe.steps = 1;
    recipe.periods = {lambda};
    const auto frames = make_method_frames(recipe);
    MethodEngine engine;
    Grid full;
    engine.heights(frame_pointers(frames), plan_of(FringeMethod::fourier, 1, {lambda}), par_with_radius(2.5),
                   full.m);
    EXPECT_GT(expect_heights(full, recipe.shift, 1e-4), 4000);
  }
}

TEST(MethodEngine, FloodFillStopsAtFlawsAndStartsBesideADeadCentre) {
  // A step of a third of a period along column 300: the flaw threshold of
  // 16/256 period keeps the fill on the left; 128 crosses it.
  const ShiftFunction step = [](int32_t x, int32_t) { return x < 300 ? 0.0 : 16.0 / 3.0; };
  FrameRecipe recipe;
  recipe.width = 512;
  recipe.height = 32;
  recipe.steps = 4;
  recipe.shift = step;
  auto frames = make_method_frames(recipe);
  ScnPar par = par_with_radius(1e6);
  const MethodPlan plan = plan_of(FringeMethod::phase_shift, 4, {16.0});
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
  FrameRecipe recipe;
  recipe.width = 64;
  recipe.height = 32;
  recipe.steps = 4;
  recipe.periods = {16.0};
  const auto frames = make_method_frames(recipe);
  const auto four = frame_pointers(frames);
  FrameRecipe other = recipe;
  other.width = 48;
  other.steps = 1;
  const auto narrow = make_method_frames(other);
  other.width = 64;
  other.bits = 8;
  const auto bytes = make_method_frames(other);
  const GreyImageOwner colour(img_create(3, 64, 32));

  struct Case {
    const char* name;
    MethodPlan plan;
    std::vector<const GreyImage*> frames;
    const char* words;
  };
  const MethodPlan good = plan_of(FringeMethod::phase_shift, 4, {16.0});
  const auto with = [&](int index, const GreyImage* frame) {
    auto f = four;
    f[static_cast<std::size_t>(index)] = frame;
    return f;
  };
  const Case cases[] = {
      {"quadrature", plan_of(FringeMethod::quadrature, 1, {16.0}), {four[0]}, "quadrature method is the engine's own"},
      {"2 steps", plan_of(FringeMethod::phase_shift, 2, {16.0}), {four[0], four[1]}, "3 to 64 phase steps"},
      {"65 steps", plan_of(FringeMethod::phase_shift, 65, {16.0}), four, "not 65"},
      {"no period", plan_of(FringeMethod::phase_shift, 4, {}), four, "no fringe period"},
      {"zero period", plan_of(FringeMethod::phase_shift, 4, {0.0}), four, "period 1 (0) is not a positive finite"},
      {"negative period", plan_of(FringeMethod::fourier, 1, {-3.0}), {four[0]}, "(-3) is not a positive"},
      {"infinite period", plan_of(FringeMethod::phase_shift, 2 * 2, {HUGE_VAL}), four, "(inf) is not a positive"},
      {"NaN period", plan_of(FringeMethod::fourier, 1, {NAN}), {four[0]}, "is not a positive finite"},
      {"fine to coarse", plan_of(FringeMethod::phase_shift, 2 * 2, {16.0, 64.0}), four, "coarse to fine: period 2"},
      {"equal periods", plan_of(FringeMethod::fourier, 1, {16.0, 16.0}), {four[0]}, "is not below period 1"},
      {"too few frames", good, {four[0], four[1], four[2]}, "takes 4 frame(s), not 3"},
      {"too many frames", plan_of(FringeMethod::fourier, 1, {16.0}), four, "takes 1 frame(s), not 4"},
      {"null frame", good, with(2, nullptr), "frame 2 is missing"},
      {"other size", good, with(1, narrow[0].get()), "frame 1 is 48 x 32 16-bit, frame 0 64 x 32 16-bit"},
      {"other kind", good, with(3, bytes[0].get()), "frame 3 is 64 x 32 8-bit"},
      {"colour frame", good, with(0, colour.get()), "frame 0 is 64 x 32 24-bit: the methods take 8-bit or 16-bit"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MethodEngine engine;
    Grid profile;
    ASSERT_EQ(mat_create(&profile.m, 2, 2, 1.0, 1.0), 0);
    try {
      engine.profile(c.frames, c.plan, kDefaultScnPar, profile.m);
      ADD_FAILURE() << "accepted";
    } catch (const std::invalid_argument& e) {
      EXPECT_NE(std::string(e.what()).find(c.words), std::string::npos) << e.what();
    }
    EXPECT_EQ(profile.m.cols, 2) << "a refused call changes nothing";
  }
}

// One engine measures pictures of different sizes and ellipses one after
// the other: nothing of the earlier field leaks into the next.
TEST(MethodEngine, OneEngineAcrossSizesAndEllipses) {
  MethodEngine engine;
  const ShiftFunction flat = [](int32_t, int32_t) { return 0.0; };
  const struct {
    int32_t width;
    int32_t height;
    double radius;
    double x_offset;
  } cases[] = {{256, 128, 1e6, 0.0}, {256, 128, 0.3, 0.5}, {130, 70, 1e6, 0.0}, {256, 128, 0.0, 0.0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << " x " << c.height << " radius " << c.radius);
    FrameRecipe recipe;
    recipe.width = c.width;
    recipe.height = c.height;
    recipe.steps = 3;
    const auto frames = make_method_frames(recipe);
    ScnPar par = par_with_radius(c.radius);
    par.MaskXOfs = c.x_offset;
    Grid full;
    engine.heights(frame_pointers(frames), plan_of(FringeMethod::phase_shift, 3, {16.0}), par, full.m);
    int64_t expected = 0;
    const double cx = c.x_offset / 0.01 + c.width / 2;
    const double r = std::min(c.radius / 0.01, 1e6);
    for (int32_t y = 0; y < c.height; ++y)
      for (int32_t x = 0; x < c.width; ++x) {
        const double dx = (x - cx) / r, dy = (y - c.height / 2) / r;
        expected += r > 0.0 && dx * dx + dy * dy < 1.0 ? 1 : 0;
      }
    EXPECT_EQ(expect_heights(full, flat, 1e-5), expected);
    Grid profile;
    engine.profile(frame_pointers(frames), plan_of(FringeMethod::phase_shift, 3, {16.0}), par, profile.m);
    EXPECT_EQ(profile.m.cols, c.width / 4);
    EXPECT_EQ(profile.m.rows, c.height / 4);
  }
}

}  // namespace

namespace {

// One engine's Fourier transforms kept from one frame to the next: a change
// of period or width leaves nothing of the last one's band behind.
TEST(MethodEngine, FourierStateKeptAcrossPeriodsAndWidths) {
  const struct {
    int32_t width;
    double lambda;
  } runs[] = {{512, 16.0}, {512, 10.0}, {512, 16.0}, {300, 10.0}, {512, 10.0}};
  MethodEngine kept;
  for (const auto& r : runs) {
    SCOPED_TRACE(testing::Message() << r.width << " px, period " << r.lambda);
    FrameRecipe recipe;
    recipe.width = r.width;
    recipe.height = 40;
    recipe.bits = 8;
    recipe.steps = 1;
    recipe.periods = {r.lambda};
    recipe.shift = [](int32_t x, int32_t y) { return 0.01 * x + 0.03 * y; };
    const auto frames = make_method_frames(recipe);
    const MethodPlan plan = plan_of(FringeMethod::fourier, 1, {r.lambda});
    Grid again, fresh;
    kept.heights(frame_pointers(frames), plan, par_with_radius(1.0), again.m);
    MethodEngine{}.heights(frame_pointers(frames), plan, par_with_radius(1.0), fresh.m);
    for (int32_t y = 0; y < 40; ++y)
      ASSERT_EQ(std::memcmp(again.m.values[y], fresh.m.values[y], static_cast<std::size_t>(r.width) * sizeof(float)), 0)
          << "row " << y;
  }
}

}  // namespace

namespace {

// Pictures of a pixel or a few, and parameters the engine's own chain would
// not measure with (no ellipse, a zero pixel size, an angle of 0 or 90
// degrees): every method answers with a grid of the right size, never a
// crash, and no heights that are not numbers.
TEST(MethodEngine, TinyPicturesAndOddParameters) {
  struct Size {
    int32_t width;
    int32_t height;
  };
  const Size sizes[] = {{1, 1}, {2, 3}, {5, 1}, {4, 4}, {9, 8}};
  ScnPar odd[5] = {par_with_radius(1e6), par_with_radius(NAN), par_with_radius(1e6), par_with_radius(1e6),
                   par_with_radius(1e6)};
  odd[2].CamResX = 0.0;
  odd[3].Alpha = 0.0;
  odd[4].Alpha = 90.0;
  for (const Size& size : sizes)
    for (const FringeMethod method : {FringeMethod::phase_shift, FringeMethod::fourier})
      for (const ScnPar& par : odd) {
        SCOPED_TRACE(testing::Message() << size.width << " x " << size.height << " " << fringe_method_name(method)
                                        << " CamResX " << par.CamResX << " Alpha " << par.Alpha);
        FrameRecipe recipe;
        recipe.width = size.width;
        recipe.height = size.height;
        recipe.steps = method == FringeMethod::fourier ? 1 : 3;
        recipe.periods = {4.0};
        const auto frames = make_method_frames(recipe);
        MethodEngine engine;
        Grid full, profile;
        engine.heights(frame_pointers(frames), plan_of(method, 3, {4.0}), par, full.m);
        engine.profile(frame_pointers(frames), plan_of(method, 3, {4.0}), par, profile.m);
        EXPECT_EQ(full.m.cols, size.width);
        EXPECT_EQ(profile.m.cols, size.width / 4);
        EXPECT_EQ(profile.m.rows, size.height / 4);
        for (int32_t y = 0; y < full.m.rows; ++y)
          for (int32_t x = 0; x < full.m.cols; ++x) EXPECT_FALSE(std::isnan(full.at(x, y)));
      }
}

}  // namespace
