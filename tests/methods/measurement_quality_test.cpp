#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "every_target.h"
#include "method_frames.h"
#include "methods/carrier_fit.h"
#include "methods/measurement_quality.h"
#include "methods/method_engine.h"
#include "methods/phase_stepping.h"

using namespace fringe::methods;

namespace {

constexpr double kPi = std::numbers::pi;

// 8-bit frames of `steps` steps, 320 x 256 pixels, period 10: level
// background + amplitude cos(phase) + harmonic cos(2 phase) (rounded), with
// a weak patch (amplitude 1, no harmonic) at columns 200 .. 239, rows 40 .. 79
// when `patch`.
std::vector<GreyImageOwner> frames_of(int steps, double background, double amplitude, double harmonic,
                                      bool patch = false, int bits = 8) {
  std::vector<GreyImageOwner> frames;
  for (int k = 0; k < steps; ++k) {
    GreyImageOwner frame(img_create(bits == 8 ? 1 : 2, 320, 256));
    for (int32_t y = 0; y < 256; ++y)
      for (int32_t x = 0; x < 320; ++x) {
        const double phi = 2.0 * kPi * (x - 160) / 10.0 + 2.0 * kPi * k / steps;
        const bool weak = patch && x >= 200 && x < 240 && y >= 40 && y < 80;
        const double level = weak ? background + std::cos(phi)
                                  : background + amplitude * std::cos(phi) + harmonic * std::cos(2.0 * phi);
        const double rounded = std::nearbyint(level);
        if (bits == 8) {
          img_line(frame.get(), y)[x] = static_cast<uint8_t>(rounded);
        } else {
          const auto v = static_cast<uint16_t>(rounded);
          std::memcpy(img_line(frame.get(), y) + 2 * x, &v, 2);
        }
      }
    frames.push_back(std::move(frame));
  }
  return frames;
}

struct Measured {
  QualityMap map;
  GridGuard profile;
};

void measure(const std::vector<GreyImageOwner>& frames, const MethodPlan& plan, Measured& out,
             double mask_radius = 1e6) {
  MethodEngine engine;
  engine.profile(frame_pointers(frames), plan, par_with_radius(mask_radius), out.profile.grid, &out.map);
}

// The cells of the map in each state.
int count(const QualityMap& map, CellState state) {
  int n = 0;
  for (const uint8_t s : map.state) n += static_cast<CellState>(s) == state ? 1 : 0;
  return n;
}

}  // namespace

// The fit's numbers, worked out: steps spread evenly over the period fit
// the first harmonic alone, so a second harmonic of h is the residual,
// h / sqrt(2) of an amplitude A: a residual of h / (sqrt(2) A), where the
// steps sample the harmonic evenly too (4 steps take it at two phases only,
// and its mean square then depends on the pixel's phase).
TEST(MeasurementQuality, PhaseShiftingGivesTheAmplitudeAndTheHarmonicAsResidual) {
  struct Case {
    int steps;
    double amplitude, harmonic, modulation, residual;
  } const cases[] = {
      {8, 20000.0, 0.0, 20000.0, 0.0},
      {8, 20000.0, 1000.0, 20000.0, 1000.0 / std::sqrt(2.0) / 20000.0},
      {6, 10000.0, 2000.0, 10000.0, 2000.0 / std::sqrt(2.0) / 10000.0},
      // Three steps fit any three samples: the harmonic folds into the
      // sinusoid and leaves no residual.
      {3, 10000.0, 2000.0, 10000.0, 0.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.steps << " steps, harmonic " << c.harmonic);
    Measured m;
    measure(frames_of(c.steps, 30000.0, c.amplitude, c.harmonic, false, 16), {FringeMethod::phase_shift, c.steps, {10.0}},
            m);
    ASSERT_EQ(m.map.cols, 80);
    ASSERT_EQ(m.map.rows, 64);
    EXPECT_EQ(m.map.samples, c.steps);
    const std::size_t centre = m.map.at(40, 32);
    if (c.steps == 3) {
      // The folded harmonic moves the amplitude by up to its own size.
      EXPECT_NEAR(m.map.modulation[centre], c.modulation, c.harmonic);
    } else {
      EXPECT_NEAR(m.map.modulation[centre], c.modulation, 1.0);  // the rounding of the levels
    }
    EXPECT_NEAR(m.map.fit_residual[centre], c.residual, 2e-4);
    const QualitySummary s = summarise_quality(m.map);
    EXPECT_EQ(s.mask_cells, 80 * 64);
    EXPECT_EQ(s.valid_cells, 80 * 64);
    EXPECT_DOUBLE_EQ(s.valid_fraction, 1.0);
  }
}

// The fault a test once missed: the threshold of 1 % of the brightest
// sample set to 0 % let a patch rippling by one grey level among strong
// fringes measure noise as heights. The patch gets no data, the rest of the
// field keeps its data, for each method that takes the threshold.
TEST(MeasurementQuality, AWeaklyModulatedPatchAmongStrongFringesGetsNoData) {
  struct Case {
    const char* name;
    MethodPlan plan;
  } const cases[] = {
      {"phase-shift", {FringeMethod::phase_shift, 8, {10.0}}},
      {"fourier", {FringeMethod::fourier, 1, {10.0}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Measured m;
    measure(frames_of(c.plan.method == FringeMethod::fourier ? 1 : 8, 128.0, 100.0, 0.0, true), c.plan, m);
    // The threshold: 1 % of the brightest sample, 228.
    EXPECT_DOUBLE_EQ(m.map.least_modulation, 2.28);
    for (int32_t j = 0; j < m.map.rows; ++j)
      for (int32_t i = 0; i < m.map.cols; ++i) {
        const bool in_patch = i >= 50 && i < 60 && j >= 10 && j < 20;
        // Fourier's band reaches a period into the strong fringes around the patch.
        const bool near_patch = i >= 46 && i < 64 && j >= 10 && j < 20;
        const float z = m.profile.grid.values[j][i];
        if (in_patch && (c.plan.method == FringeMethod::phase_shift || (i >= 52 && i < 58))) {
          EXPECT_EQ(m.map.cell(i, j), CellState::weak) << i << ", " << j;
          EXPECT_LT(m.map.modulation[m.map.at(i, j)], 1.5f) << i << ", " << j;
          EXPECT_LE(z, -10.0f) << "the patch got a height at " << i << ", " << j;
        } else if (!near_patch && i > 1 && i < m.map.cols - 2 && j > 0 && j < m.map.rows - 1) {
          EXPECT_EQ(m.map.cell(i, j), CellState::valid) << i << ", " << j;
          EXPECT_GT(z, -10.0f) << "no height at " << i << ", " << j;
        }
      }
  }
}

// Whether frames hold fringes: a picture of one level (zeros included) and
// one of noise alone do not; weak real fringes do.
TEST(MeasurementQuality, PicturesWithoutFringesAreToldFromWeakFringes) {
  const auto picture = [](auto level) {
    GreyImageOwner p(img_create(1, 320, 256));
    for (int32_t y = 0; y < 256; ++y)
      for (int32_t x = 0; x < 320; ++x) img_line(p.get(), y)[x] = static_cast<uint8_t>(level(x, y));
    return p;
  };
  std::mt19937 random(7);
  std::normal_distribution<double> noise(0.0, 3.0);
  struct Case {
    const char* name;
    GreyImageOwner picture;
    bool fringes;
  } cases[] = {
      {"all zeros", picture([](int, int) { return 0.0; }), false},
      {"uniform grey", picture([](int, int) { return 128.0; }), false},
      {"grey and noise of 3 levels",
       picture([&](int, int) { return std::clamp(std::nearbyint(128.0 + noise(random)), 0.0, 255.0); }), false},
      {"fringes of 4 levels",
       picture([](int x, int) { return std::nearbyint(128.0 + 4.0 * std::cos(2.0 * kPi * x / 10.0)); }), true},
      {"fringes of 100 levels",
       picture([](int x, int) { return std::nearbyint(128.0 + 100.0 * std::cos(2.0 * kPi * x / 10.0)); }), true},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    QualityMap map;
    carrier_fit_quality(*c.picture, par_with_radius(1e6), map);
    const std::string refusal = no_fringes_refusal(map);
    EXPECT_EQ(refusal.empty(), c.fringes) << refusal;
    if (!c.fringes) {
      EXPECT_EQ(refusal.rfind("no fringes: the cells' modulation stays within what noise of ", 0), 0u) << refusal;
    }
  }
  // Fringes at the carrier, period 10 of 4 rows x 10 columns: the amplitude
  // back, and no more than the rounding of the levels as the residual (at
  // most 1 / sqrt(12) of a level against 100).
  QualityMap map;
  carrier_fit_quality(*cases[4].picture, par_with_radius(1e6), map);
  EXPECT_EQ(map.samples, 40);
  EXPECT_EQ(map.averaged, 1);
  EXPECT_NEAR(map.modulation[map.at(40, 32)], 100.0, 0.1);
  EXPECT_LT(map.fit_residual[map.at(40, 32)], 0.29 / 100.0);
  EXPECT_DOUBLE_EQ(map.least_modulation, 2.28);
}

TEST(MeasurementQuality, TooLittleMeasuredIsRefusedBelowTheLeastValidFraction) {
  QualitySummary s;
  s.mask_cells = 21379;
  s.valid_cells = 5345;
  s.valid_fraction = 5345.0 / 21379.0;  // 25.0011 %
  EXPECT_EQ(too_little_refusal(s, 0.25), "");
  EXPECT_EQ(too_little_refusal(s, 0.0), "");
  EXPECT_EQ(too_little_refusal(s, 0.3),
            "too little measured: 5345 of 21379 cells inside the evaluation mask have a height (25 %), fewer than "
            "the 30 % asked (MinValid)");
  s.valid_cells = 0;
  s.valid_fraction = 0.0;
  EXPECT_EQ(too_little_refusal(s, 0.0), "");
  EXPECT_NE(too_little_refusal(s, kDefaultMinValid), "");
  s.mask_cells = 0;
  EXPECT_EQ(too_little_refusal(s, kDefaultMinValid),
            "too little measured: the evaluation mask holds no cell of the profile (MaskRadius, MaskXOfs, MaskYOfs)");
}

// Frames turned round measure other heights but fringes as strong; frames
// all alike (no step between them) measure nothing: their modulation is the
// rounding of a sum of sines.
TEST(MeasurementQuality, IdenticalFramesHaveNoFringes) {
  std::vector<GreyImageOwner> frames = frames_of(8, 128.0, 100.0, 0.0);
  for (int k = 1; k < 8; ++k) img_copy(frames[static_cast<std::size_t>(k)].get(), frames[0].get());
  Measured m;
  measure(frames, {FringeMethod::phase_shift, 8, {10.0}}, m);
  EXPECT_NE(no_fringes_refusal(m.map), "");
  EXPECT_EQ(count(m.map, CellState::valid), 0);
  EXPECT_EQ(count(m.map, CellState::weak), 80 * 64);
}

// The quality leaves the heights as they were, bit for bit.
TEST(MeasurementQuality, HeightsAreTheSameWithAndWithoutTheQuality) {
  FrameRecipe recipe;
  recipe.steps = 6;
  recipe.periods = {256.0, 40.0, 16.0};
  recipe.shift = [](int32_t x, int32_t y) { return 0.002 * (x - 128) * (x - 128) + 0.001 * y * y; };
  const std::vector<GreyImageOwner> frames = make_method_frames(recipe);
  for (const MethodPlan& plan : {MethodPlan{FringeMethod::phase_shift, 6, {256.0, 40.0, 16.0}},
                                 MethodPlan{FringeMethod::fourier, 1, {16.0}}}) {
    const std::vector<const GreyImage*> given =
        plan.method == FringeMethod::fourier ? std::vector<const GreyImage*>{frames.back().get()} : frame_pointers(frames);
    MethodEngine engine;
    GridGuard with, without;
    QualityMap map;
    engine.profile(given, plan, par_with_radius(1.0), with.grid, &map);
    engine.profile(given, plan, par_with_radius(1.0), without.grid);
    ASSERT_EQ(with.grid.cols, without.grid.cols);
    for (int32_t j = 0; j < with.grid.rows; ++j)
      EXPECT_EQ(std::memcmp(with.grid.values[j], without.grid.values[j], sizeof(float) * with.grid.cols), 0) << j;
    EXPECT_GT(summarise_quality(map).valid_fraction, 0.95);
  }
}

TEST(MeasurementQuality, DeviationKernelAtEveryTargetEqualsThePlainDefinition) {
  std::mt19937 random(5);
  for (const bool wide : {false, true}) {
    const int n = 7;
    std::vector<std::vector<uint8_t>> rows(n, std::vector<uint8_t>(2 * 80));
    for (auto& row : rows)
      for (uint8_t& v : row) v = static_cast<uint8_t>(random() % 256);
    std::vector<const uint8_t*> pointers;
    for (const auto& row : rows) pointers.push_back(row.data());
    const StepTables t(n);
    for (const int32_t count : {0, 1, 5, 17, 64, 77}) {
      std::vector<double> s0(80), c0(80), b0(80), e0(80);
      double largest0 = 0.0;
      phase_step_deviation_plain(pointers.data(), n, wide, t.sines.data(), t.cosines.data(), 2, count, s0.data(),
                                 c0.data(), b0.data(), e0.data(), largest0);
      // The plain sums are those of phase_step_sums, the deviation beside them.
      std::vector<double> s1(80), c1(80), b1(80);
      double largest1 = 0.0;
      phase_step_sums_plain(pointers.data(), n, wide, t.sines.data(), t.cosines.data(), 2, count, s1.data(), c1.data(),
                            b1.data(), largest1);
      EXPECT_EQ(s0, s1);
      EXPECT_EQ(b0, b1);
      for (int32_t i = 0; i < count; ++i) EXPECT_GE(e0[static_cast<std::size_t>(i)], 0.0);
      for_every_target([&] {
        std::vector<double> s(80), c(80), b(80), e(80);
        double largest = 0.0;
        phase_step_deviation(pointers.data(), n, wide, t.sines.data(), t.cosines.data(), 2, count, s.data(), c.data(),
                             b.data(), e.data(), largest);
        EXPECT_EQ(s, s0);
        EXPECT_EQ(c, c0);
        EXPECT_EQ(b, b0);
        EXPECT_EQ(e, e0) << "count " << count << (wide ? ", 16 bits" : ", 8 bits");
        EXPECT_EQ(largest, largest0);
      });
    }
  }
}

TEST(MeasurementQuality, ColumnSumsAtEveryTargetEqualThePlainDefinition) {
  std::mt19937 random(9);
  std::vector<std::vector<uint8_t>> rows(kCarrierRows, std::vector<uint8_t>(90));
  for (auto& row : rows)
    for (uint8_t& v : row) v = static_cast<uint8_t>(random() % 256);
  rows[2][40] = 255;
  const uint8_t* pointers[kCarrierRows] = {rows[0].data(), rows[1].data(), rows[2].data(), rows[3].data()};
  for (const int32_t count : {0, 1, 7, 16, 33, 90}) {
    std::vector<int32_t> levels0(90, -1), squares0(90, -1);
    uint8_t brightest0 = 0;
    column_sums_plain(pointers, count, levels0.data(), squares0.data(), brightest0);
    for (int32_t x = 0; x < count; ++x) {
      int32_t sum = 0, square = 0;
      for (const auto& row : rows) {
        const int32_t v = row[static_cast<std::size_t>(x)];
        sum += v;
        square += v * v;
      }
      ASSERT_EQ(levels0[static_cast<std::size_t>(x)], sum);
      ASSERT_EQ(squares0[static_cast<std::size_t>(x)], square);
    }
    EXPECT_EQ(brightest0 == 255, count > 40);
    for_every_target([&] {
      std::vector<int32_t> levels(90, -1), squares(90, -1);
      uint8_t brightest = 0;
      column_sums(pointers, count, levels.data(), squares.data(), brightest);
      EXPECT_EQ(levels, levels0) << count;
      EXPECT_EQ(squares, squares0) << count;
      EXPECT_EQ(brightest, brightest0) << count;
    });
  }
}

// The window's view: the grid's centre square, nearest cells, `none`
// outside the ellipse.
TEST(MeasurementQuality, TheViewShowsTheCentreSquare) {
  QualityMap map;
  map.cols = 6;
  map.rows = 4;
  map.modulation = std::vector<float>(24, 0.0f);
  map.fit_residual = std::vector<float>(24, 0.5f);
  map.state = std::vector<uint8_t>(24, static_cast<uint8_t>(CellState::valid));
  for (int32_t j = 0; j < 4; ++j)
    for (int32_t i = 0; i < 6; ++i) map.modulation[map.at(i, j)] = static_cast<float>(10 * i + j);
  map.state[map.at(1, 0)] = static_cast<uint8_t>(CellState::outside);
  map.state[map.at(4, 3)] = static_cast<uint8_t>(CellState::weak);
  std::vector<double> out;
  quality_view(map, QualityView::modulation, 4, 4, -1.0, out);
  EXPECT_EQ(out, (std::vector<double>{-1, 20, 30, 40, 11, 21, 31, 41, 12, 22, 32, 42, 13, 23, 33, 43}));
  quality_view(map, QualityView::reached, 4, 4, -1.0, out);
  EXPECT_EQ(out, (std::vector<double>{-1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0}));
}
