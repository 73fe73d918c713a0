// Temporal unwrapping on its own: wrapped phases of two or three periods of a
// known fringe shift, coarse to fine, and the absolute phase that comes out.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "methods/temporal_unwrap.h"

using namespace fringe::methods;

namespace {

using ShiftFunction = std::function<double(int32_t x, int32_t y)>;

constexpr double kUnset = -1e9;

// Runs covering whole rows, or a diamond that leaves pixels outside.
PhaseField make_field(int32_t width, int32_t height, bool diamond) {
  PhaseField f;
  f.width = width;
  f.height = height;
  const auto pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  f.psi.assign(pixels, 0.0);
  f.modulation.assign(pixels, 0.0);
  f.phase.assign(pixels, kUnset);
  f.data.assign(pixels, 0);
  for (int32_t y = 0; y < height; ++y) {
    const int32_t margin = diamond ? std::abs(y - height / 2) * width / height : 0;
    f.runs.push_back(margin * 2 < width ? RowRun{margin, width - margin} : RowRun{});
  }
  return f;
}

bool in_runs(const PhaseField& f, int32_t x, int32_t y) {
  const RowRun run = f.runs[static_cast<std::size_t>(y)];
  return x >= run.first && x < run.end;
}

// Measures every period as the engine does: the wrapped phase of the shift
// (in pixels) at that period, plus noise up to `noise` rad, then the step.
void unwrap_periods(PhaseField& f, const std::vector<double>& periods, const ShiftFunction& shift, double noise,
                    std::mt19937& random) {
  std::uniform_real_distribution<double> error(-noise, noise);
  for (std::size_t p = 0; p < periods.size(); ++p) {
    for (int32_t y = 0; y < f.height; ++y)
      for (int32_t x = 0; x < f.width; ++x)
        if (in_runs(f, x, y)) f.psi[f.at(x, y)] = wrap_phase(kTwoPi * shift(x, y) / periods[p] + error(random));
    if (p == 0) temporal_first(f);
    else temporal_next(f, periods[p - 1], periods[p]);
  }
}

struct FieldCase {
  const char* name;
  int32_t width, height;
  bool diamond;
  std::vector<double> periods;  // coarse to fine, pixels
  ShiftFunction shift;          // within half the coarsest period
  double noise;                 // rad, on every period's wrapped phase
};

// Noise stays within what the ratios allow: the coarse error times the
// ratio, plus the fine error, below half a turn.
TEST(TemporalUnwrap, RecoversTheAbsolutePhaseOfTheFinestPeriod) {
  const auto ramp = [](int32_t x, int32_t y) { return 0.4 * (x - 64) + 0.05 * (y - 8); };
  const auto bowl = [](int32_t x, int32_t y) {
    const double r2 = (x - 30.0) * (x - 30.0) + (y - 25.0) * (y - 25.0);
    return 30.0 * (1.0 - r2 / 1500.0) - 15.0;  // -15 .. 15 px
  };
  const FieldCase cases[] = {
      {"ramp, two periods", 128, 16, false, {64.0, 8.0}, ramp, 0.0},
      {"ramp, two periods, noise", 128, 16, false, {64.0, 8.0}, ramp, 0.3},
      {"ramp, ratio 32", 128, 16, false, {64.0, 2.0}, ramp, 0.0},
      {"bowl, three periods", 61, 51, true, {40.0, 10.0, 2.5}, bowl, 0.0},
      {"bowl, three periods, noise", 61, 51, true, {40.0, 10.0, 2.5}, bowl, 0.5},
      // Ratios that are not whole numbers: 40 / 13 and 13 / 3.7.
      {"bowl, uneven ratios, noise", 61, 51, false, {40.0, 13.0, 3.7}, bowl, 0.6},
      {"single pixel", 1, 1, false, {50.0, 7.0}, [](int32_t, int32_t) { return -20.0; }, 0.2},
  };
  std::mt19937 random(11);
  for (const FieldCase& c : cases) {
    SCOPED_TRACE(c.name);
    PhaseField f = make_field(c.width, c.height, c.diamond);
    unwrap_periods(f, c.periods, c.shift, c.noise, random);
    const double lambda = c.periods.back();
    int32_t turns_seen = 0;
    for (int32_t y = 0; y < c.height; ++y)
      for (int32_t x = 0; x < c.width; ++x) {
        const double phase = f.phase[f.at(x, y)];
        if (!in_runs(f, x, y)) {
          ASSERT_EQ(phase, kUnset) << "outside the runs at " << x << ", " << y;
          continue;
        }
        const double truth = kTwoPi * c.shift(x, y) / lambda;
        const double error = phase - truth;
        ASSERT_EQ(std::nearbyint(error / kTwoPi), 0.0) << "order wrong at " << x << ", " << y;
        ASSERT_LE(std::fabs(error), c.noise + 1e-9) << "at " << x << ", " << y;
        turns_seen = std::max(turns_seen, static_cast<int32_t>(std::fabs(std::nearbyint(truth / kTwoPi))));
      }
    // The fine phase spans several turns: a mere copy of psi would fail.
    EXPECT_GE(turns_seen, 2);
  }
}

// One pixel whose coarse phase is off by `coarse_error`: the fine phase comes
// out whole turns wrong once that error, scaled to the fine period, passes
// half a turn (rounding to the nearest turn, never down).
TEST(TemporalUnwrap, ACoarseErrorScaledPastHalfATurnGivesWholeTurns) {
  struct Case {
    double coarse_error;  // rad, at the coarse period
    double coarse, fine;  // periods, pixels
    int turns;
  };
  const Case cases[] = {
      {0.25, 64.0, 8.0, 0},    // 2.0 rad at the fine period
      {0.39, 64.0, 8.0, 0},    // 3.12
      {0.40, 64.0, 8.0, 1},    // 3.2
      {-0.40, 64.0, 8.0, -1},  //
      {0.25, 128.0, 8.0, 1},   // 4.0
      {-0.25, 128.0, 8.0, -1},
      {0.70, 128.0, 8.0, 2},   // 11.2
      {1.00, 40.0, 13.0, 0},   // 3.08
      {1.05, 40.0, 13.0, 1},   // 3.23
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.coarse_error << " rad at " << c.coarse << " / " << c.fine);
    PhaseField f = make_field(1, 1, false);
    const double shift = 0.17 * c.coarse;  // 1.07 rad at the coarse period
    f.psi[0] = wrap_phase(kTwoPi * shift / c.coarse + c.coarse_error);
    temporal_first(f);
    f.psi[0] = wrap_phase(kTwoPi * shift / c.fine);
    temporal_next(f, c.coarse, c.fine);
    const double error = f.phase[0] - kTwoPi * shift / c.fine;
    EXPECT_NEAR(error, c.turns * kTwoPi, 1e-9);
  }
}

// A coarsest period that does not span the field: where its phase wrapped,
// the fine phase is off by the wrapped turns times the ratio; where it did
// not, the phase is exact. No error spreads between pixels.
TEST(TemporalUnwrap, ACoarsePeriodShortOfTheFieldIsWrongOnlyWhereItWrapped) {
  const double coarse = 20.0, fine = 5.0;  // ratio 4
  const int32_t width = 57;
  PhaseField f = make_field(width, 1, false);
  const auto shift = [](int32_t x, int32_t) { return 0.5 * (x - 28) + 0.25; };  // -13.75 .. 14.25 px
  std::mt19937 random(1);
  unwrap_periods(f, {coarse, fine}, shift, 0.0, random);
  int32_t wrong = 0;
  for (int32_t x = 0; x < width; ++x) {
    const double coarse_phase = kTwoPi * shift(x, 0) / coarse;
    const double wrapped_turns = std::nearbyint(coarse_phase / kTwoPi);
    const double error = f.phase[f.at(x, 0)] - kTwoPi * shift(x, 0) / fine;
    EXPECT_NEAR(error, -wrapped_turns * 4.0 * kTwoPi, 1e-9) << x;
    wrong += wrapped_turns != 0.0;
  }
  EXPECT_EQ(wrong, 17);  // |shift| above 10 px: columns 0 .. 7 and 48 .. 56
}

// Which pixels have data is decided by the least modulation alone, once.
TEST(TemporalUnwrap, FinishMarksDataByTheLeastModulation) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    double modulation;
    double least;
    bool data;
  };
  const Case cases[] = {{5.0, 2.0, true},  {2.0, 2.0, true}, {1.999, 2.0, false}, {0.0, 0.0, false},
                        {-1.0, 0.0, false}, {nan, 0.0, false}, {1e-300, 0.0, true}};
  for (const Case& c : cases) {
    PhaseField f = make_field(9, 9, true);
    f.least_modulation = c.least;
    f.data.assign(f.data.size(), 7);  // stale marks everywhere
    for (int32_t y = 0; y < 9; ++y)
      for (int32_t x = 0; x < 9; ++x)
        if (in_runs(f, x, y)) f.modulation[f.at(x, y)] = c.modulation;
    temporal_finish(f);
    for (int32_t y = 0; y < 9; ++y)
      for (int32_t x = 0; x < 9; ++x) {
        const uint8_t d = f.data[f.at(x, y)];
        if (in_runs(f, x, y)) ASSERT_EQ(d, c.data ? 1 : 0) << c.modulation << " at " << x << ", " << y;
        else ASSERT_EQ(d, 7) << "outside the runs at " << x << ", " << y;
      }
  }
}

}  // namespace
