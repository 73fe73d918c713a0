#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "every_target.h"
#include "method_frames.h"
#include "methods/phase_stepping.h"
#include "scan/default_par.h"

using namespace fringe::methods;

namespace {

// A parameter set whose evaluation ellipse covers the whole frame.
ScnPar covering_par() {
  ScnPar par = kDefaultScnPar;
  par.MaskRadius = 1e6;
  return par;
}

TEST(PhaseStepping, SumsAtEveryTargetEqualThePlainDefinition) {
  struct Case {
    int32_t n;
    bool wide;
    int32_t x0;
    int32_t count;
  };
  const Case cases[] = {{3, false, 0, 1}, {4, false, 1, 7}, {8, false, 3, 33}, {5, true, 0, 17},
                        {64, true, 2, 61}, {7, true, 5, 64}, {13, false, 0, 0}};
  std::mt19937 random(7);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "n " << c.n << (c.wide ? " 16-bit" : " 8-bit") << " x0 " << c.x0
                                    << " count " << c.count);
    const int32_t width = c.x0 + c.count + 3;
    std::vector<std::vector<uint8_t>> storage(static_cast<std::size_t>(c.n),
                                              std::vector<uint8_t>(2 * static_cast<std::size_t>(width)));
    std::vector<const uint8_t*> rows;
    for (auto& row : storage) {
      for (auto& b : row) b = static_cast<uint8_t>(random());
      rows.push_back(row.data());
    }
    std::vector<double> sines, cosines;
    for (int k = 0; k < c.n; ++k) {
      sines.push_back(std::sin(phase_step(k, c.n)));
      cosines.push_back(std::cos(phase_step(k, c.n)));
    }
    std::vector<double> s0(static_cast<std::size_t>(c.count) + 1), c0(s0.size()), b0(s0.size());
    double largest0 = 0.0;
    phase_step_sums_plain(rows.data(), c.n, c.wide, sines.data(), cosines.data(), c.x0, c.count, s0.data(),
                          c0.data(), b0.data(), largest0);
    // The largest sample of the run, read plainly.
    double expected_largest = 0.0;
    for (int32_t k = 0; k < c.n; ++k)
      for (int32_t x = c.x0; x < c.x0 + c.count; ++x) {
        const uint8_t* r = rows[static_cast<std::size_t>(k)];
        expected_largest = std::max<double>(expected_largest, c.wide ? r[2 * x] | r[2 * x + 1] << 8 : r[x]);
      }
    EXPECT_EQ(largest0, expected_largest);
    for_every_target([&] {
      std::vector<double> s(s0.size(), -1.0), cc(s0.size(), -1.0), b(s0.size(), -1.0);
      double largest = 0.0;
      phase_step_sums(rows.data(), c.n, c.wide, sines.data(), cosines.data(), c.x0, c.count, s.data(), cc.data(),
                      b.data(), largest);
      for (int32_t i = 0; i < c.count; ++i) {
        ASSERT_EQ(std::memcmp(&s[i], &s0[i], sizeof(double)), 0) << "column " << i;
        ASSERT_EQ(std::memcmp(&cc[i], &c0[i], sizeof(double)), 0) << "column " << i;
        ASSERT_EQ(std::memcmp(&b[i], &b0[i], sizeof(double)), 0) << "column " << i;
      }
      EXPECT_EQ(largest, largest0);
      EXPECT_EQ(s[static_cast<std::size_t>(c.count)], -1.0) << "wrote past the run";
      EXPECT_EQ(b[static_cast<std::size_t>(c.count)], -1.0) << "wrote past the run";
    });
  }
}

// 16-bit frames of a phase ramp across several turns: for every N the
// estimate misses the true phase by no more than the rounding of the samples
// to integers can move it.
TEST(PhaseStepping, EveryStepCountRecoversAKnownPhaseToTheSamplesRounding) {
  for (int n = 3; n <= 64; ++n) {
    SCOPED_TRACE(testing::Message() << n << " steps");
    FrameRecipe recipe;
    recipe.width = 96;
    recipe.height = 4;
    recipe.steps = n;
    recipe.periods = {12.5};
    recipe.shift = [](int32_t x, int32_t y) { return 0.37 * x - 0.11 * y + 0.3; };
    const auto frames = make_method_frames(recipe);
    const auto pointers = frame_pointers(frames);
    PhaseField field;
    evaluated_field(field, recipe.width, recipe.height, covering_par());
    std::vector<double> work;
    field.least_modulation = 0.01 * phase_step_period(pointers, 12.5, true, field, work);

    // Amplitude in levels, and the largest shift of (S, C) the rounding of
    // each sample by half a level can give, against their length A N / 2.
    const double amplitude = recipe.contrast * 0.5 * 65535.0;
    double sum_sin = 0.0, sum_cos = 0.0;
    for (int k = 0; k < n; ++k) {
      sum_sin += std::fabs(std::sin(phase_step(k, n)));
      sum_cos += std::fabs(std::cos(phase_step(k, n)));
    }
    const double bound = std::asin(0.5 * std::hypot(sum_sin, sum_cos) / (amplitude * n / 2.0)) + 1e-12;
    double worst = 0.0;
    for (int32_t y = 0; y < recipe.height; ++y)
      for (int32_t x = 0; x < recipe.width; ++x) {
        ASSERT_TRUE(field.modulated(field.at(x, y)));
        const double expected = 2.0 * kPi * recipe.shift(x, y) / 12.5;
        worst = std::max(worst, std::fabs(wrapped_difference(field.psi[field.at(x, y)], wrap_phase(expected))));
      }
    EXPECT_LE(worst, bound);
    EXPECT_GT(worst, 0.0);  // the samples were rounded: an exact result would mean no measurement
  }
}

// Dark and saturated pixels have no sinusoid: they get no data, bright
// fringes beside them do.
TEST(PhaseStepping, PixelsWithoutModulationGetNoData) {
  struct Case {
    const char* name;
    int bits;
    double level;  // fraction of the top level of the flat patch
  };
  const Case cases[] = {{"dark 8-bit", 8, 0.0}, {"saturated 8-bit", 8, 1.0}, {"dark 16-bit", 12, 0.0},
                        {"grey 16-bit", 16, 0.5}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FrameRecipe recipe;
    recipe.width = 64;
    recipe.height = 8;
    recipe.bits = c.bits;
    recipe.steps = 5;
    recipe.periods = {8.0};
    auto frames = make_method_frames(recipe);
    // Columns 40.. hold the same level in every frame.
    const double top = c.bits == 8 ? 255.0 : std::ldexp(1.0, c.bits) - 1.0;
    const auto level = static_cast<uint16_t>(c.level * top);
    for (auto& frame : frames)
      for (int32_t y = 0; y < recipe.height; ++y)
        for (int32_t x = 40; x < recipe.width; ++x) {
          if (c.bits == 8) img_line(frame.get(), y)[x] = static_cast<uint8_t>(level);
          else std::memcpy(img_line(frame.get(), y) + 2 * x, &level, 2);
        }
    const auto pointers = frame_pointers(frames);
    PhaseField field;
    evaluated_field(field, recipe.width, recipe.height, covering_par());
    std::vector<double> work;
    field.least_modulation = 0.01 * phase_step_period(pointers, 8.0, true, field, work);
    for (int32_t y = 0; y < recipe.height; ++y)
      for (int32_t x = 0; x < recipe.width; ++x)
        ASSERT_EQ(field.modulated(field.at(x, y)), x < 40) << "x " << x << " y " << y;
  }
}

TEST(PhaseStepping, WrapPhaseLandsInTheHalfOpenTurn) {
  const struct {
    double in;
    double out;
  } cases[] = {{0.0, 0.0}, {kPi, kPi}, {-kPi, kPi}, {3.0 * kPi, kPi}, {-3.0 * kPi, kPi},
               {1.5 * kPi, -0.5 * kPi}, {-1.5 * kPi, 0.5 * kPi}, {101.0, 101.0 - 16.0 * kTwoPi}};
  for (const auto& c : cases) {
    EXPECT_NEAR(wrap_phase(c.in), c.out, 1e-12) << c.in;
    EXPECT_GT(wrap_phase(c.in), -kPi) << c.in;
    EXPECT_LE(wrap_phase(c.in), kPi) << c.in;
  }
  EXPECT_EQ(wrapped_difference(3.0, -3.0), 6.0 - kTwoPi);
  EXPECT_EQ(wrapped_difference(-3.0, 3.0), kTwoPi - 6.0);
  EXPECT_EQ(wrapped_difference(kPi, 0.0), kPi);
}

}  // namespace
