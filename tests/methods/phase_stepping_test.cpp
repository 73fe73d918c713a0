#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <random>
#include <vector>

#include "every_target.h"
#include "method_frames.h"
#include "methods/evaluated_field.h"
#include "methods/phase_stepping.h"

using namespace fringe::methods;

namespace {

// Runs of every step count's kind, 8- and 16-bit, at offsets and lengths
// around each vector width (a run of none included).
TEST(PhaseStepping, SumsAtEveryTargetEqualThePlainDefinition) {
  const struct {
    int32_t n;
    bool wide;
    int32_t x0, count;
  } cases[] = {{3, false, 0, 1}, {4, false, 1, 7}, {8, false, 3, 33}, {5, true, 0, 17},
               {64, true, 2, 61}, {7, true, 5, 64}, {13, false, 0, 0}};
  std::mt19937 random(7);
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "n " << c.n << (c.wide ? " 16-bit" : " 8-bit") << " x0 " << c.x0
                                    << " count " << c.count);
    std::vector<std::vector<uint8_t>> storage(c.n, std::vector<uint8_t>(2 * (c.x0 + c.count + 3)));
    std::vector<const uint8_t*> rows;
    double expected_largest = 0.0;  // the largest sample of the run, read plainly
    for (auto& row : storage) {
      for (auto& b : row) b = static_cast<uint8_t>(random());
      rows.push_back(row.data());
      for (int32_t x = c.x0; x < c.x0 + c.count; ++x)
        expected_largest = std::max<double>(expected_largest, c.wide ? row[2 * x] | row[2 * x + 1] << 8 : row[x]);
    }
    const StepTables t(c.n);
    std::vector<double> s0(c.count + 1), c0(s0.size()), b0(s0.size());
    double largest0 = 0.0;
    phase_step_sums_plain(rows.data(), c.n, c.wide, t.sines.data(), t.cosines.data(), c.x0, c.count, s0.data(),
                          c0.data(), b0.data(), largest0);
    EXPECT_EQ(largest0, expected_largest);
    for_every_target([&] {
      std::vector<double> s(s0.size(), -1.0), cc(s0.size(), -1.0), b(s0.size(), -1.0);
      double largest = 0.0;
      phase_step_sums(rows.data(), c.n, c.wide, t.sines.data(), t.cosines.data(), c.x0, c.count, s.data(), cc.data(),
                      b.data(), largest);
      for (int32_t i = 0; i < c.count; ++i)
        ASSERT_TRUE(same_bits(s[i], s0[i]) && same_bits(cc[i], c0[i]) && same_bits(b[i], b0[i])) << "column " << i;
      EXPECT_EQ(largest, largest0);
      EXPECT_EQ(s[c.count], -1.0) << "wrote past the run";
      EXPECT_EQ(b[c.count], -1.0) << "wrote past the run";
    });
  }
}

// Frames of a phase ramp across several turns, at every step count, some
// with a patch of one level in every frame (dark, saturated, flat grey): the
// patch has no sinusoid and gets no data; elsewhere the estimate misses the
// true phase by no more than the rounding of the samples to integers can move it.
TEST(PhaseStepping, RecoversAKnownPhaseToTheSamplesRoundingAndNothingWithoutModulation) {
  struct Case {
    int steps, bits;
    double patch;  // the level of columns 64.. as a fraction of the top level; below 0: no patch
  };
  std::vector<Case> cases{{5, 8, 0.0}, {5, 8, 1.0}, {5, 12, 0.0}, {5, 16, 0.5}};
  for (int n = 3; n <= 64; ++n) cases.push_back({n, 16, -1.0});
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.steps << " steps, " << c.bits << "-bit, patch " << c.patch);
    const FrameRecipe recipe{.width = 96, .height = 4, .bits = c.bits, .steps = c.steps, .periods = {12.5},
                             .shift = [](int32_t x, int32_t y) { return 0.37 * x - 0.11 * y + 0.3; }};
    auto frames = make_method_frames(recipe);
    const int32_t edge = c.patch < 0.0 ? 96 : 64;
    const auto level =
        static_cast<uint16_t>(c.patch < 0.0 ? 0.0 : c.patch * (c.bits == 8 ? 255.0 : std::ldexp(1.0, c.bits) - 1.0));
    for (auto& frame : frames)
      for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = edge; x < 96; ++x) {
          if (c.bits == 8) img_line(frame.get(), y)[x] = static_cast<uint8_t>(level);
          else std::memcpy(img_line(frame.get(), y) + 2 * x, &level, 2);
        }
    PhaseField field;
    evaluated_field(field, 96, 4, par_with_radius(1e6));
    std::vector<double> work;
    field.least_modulation = 0.01 * phase_step_period(frame_pointers(frames), 12.5, true, field, work);
    // The largest shift of (S, C) the rounding of each sample by half a level
    // can give, against their length A N / 2 (A the amplitude in levels).
    const StepTables t(c.steps);
    double sum_sin = 0.0, sum_cos = 0.0;
    for (int k = 0; k < c.steps; ++k) sum_sin += std::fabs(t.sines[k]), sum_cos += std::fabs(t.cosines[k]);
    const double amplitude = recipe.contrast * 0.5 * (c.bits == 8 ? 254.0 : std::ldexp(1.0, c.bits) - 1.0);
    const double bound = std::asin(0.5 * std::hypot(sum_sin, sum_cos) / (amplitude * c.steps / 2.0)) + 1e-12;
    double worst = 0.0;
    for (int32_t y = 0; y < 4; ++y)
      for (int32_t x = 0; x < 96; ++x) {
        ASSERT_EQ(field.modulated(field.at(x, y)), x < edge) << "x " << x << " y " << y;
        const double expected = wrap_phase(2.0 * std::numbers::pi * recipe.shift(x, y) / 12.5);
        if (x < edge) worst = std::max(worst, std::fabs(wrapped_difference(field.psi[field.at(x, y)], expected)));
      }
    EXPECT_LE(worst, bound);
    EXPECT_GT(worst, 0.0);  // the samples were rounded: an exact result would mean no measurement
  }
}

TEST(PhaseStepping, WrapPhaseLandsInTheHalfOpenTurn) {
  using std::numbers::pi;
  const double cases[][2] = {{0.0, 0.0}, {pi, pi}, {-pi, pi}, {3.0 * pi, pi}, {-3.0 * pi, pi},
                             {1.5 * pi, -0.5 * pi}, {-1.5 * pi, 0.5 * pi}, {101.0, 101.0 - 16.0 * kTwoPi}};
  for (const auto& c : cases) {
    const double wrapped = wrap_phase(c[0]);
    EXPECT_TRUE(wrapped > -pi && wrapped <= pi && std::fabs(wrapped - c[1]) <= 1e-12) << c[0] << ": " << wrapped;
  }
  EXPECT_EQ(wrapped_difference(3.0, -3.0), 6.0 - kTwoPi);
  EXPECT_EQ(wrapped_difference(-3.0, 3.0), kTwoPi - 6.0);
  EXPECT_EQ(wrapped_difference(pi, 0.0), pi);
}

}  // namespace
