// The flood fill that unwraps one period: which pixels it reaches, from which
// start, and the orders it gives them, on small fields of known phase.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "methods/flood_unwrap.h"

using namespace fringe::methods;

namespace {

using PixelTest = std::function<bool(int32_t x, int32_t y)>;
using PhaseFunction = std::function<double(int32_t x, int32_t y)>;

constexpr double kUnset = 1e9;  // phase left from an earlier run

// A field of width x height whose runs cover every row whole, or keep
// `inset` pixels off each side; `phi` is the true phase, `flaw` marks pixels
// without modulation. Every pixel of the runs starts with data, so that a
// pixel the fill does not reach shows whether it kept a stale value.
PhaseField make_field(int32_t width, int32_t height, int32_t inset, const PhaseFunction& phi,
                      const PixelTest& flaw) {
  PhaseField f;
  f.width = width;
  f.height = height;
  const auto pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  f.psi.assign(pixels, 0.0);
  f.modulation.assign(pixels, 0.0);
  f.phase.assign(pixels, kUnset);
  f.data.assign(pixels, 0);
  f.least_modulation = 0.5;
  for (int32_t y = 0; y < height; ++y) {
    const bool row_in = y >= inset && y < height - inset;
    f.runs.push_back(row_in ? RowRun{inset, width - inset} : RowRun{});
    if (!row_in) continue;
    for (int32_t x = inset; x < width - inset; ++x) {
      const std::size_t i = f.at(x, y);
      f.psi[i] = wrap_phase(phi(x, y));
      f.modulation[i] = flaw(x, y) ? 0.25 : 1.0;  // 0.25: below the least modulation
      f.data[i] = 1;
    }
  }
  return f;
}

struct FloodCase {
  const char* name;
  int32_t width, height;
  int32_t threshold;
  PhaseFunction phi;
  PixelTest flaw;
  PixelTest reached;  // besides the flaws and pixels outside the runs
  int32_t start_x, start_y;
};

bool none(int32_t, int32_t) { return false; }
bool every(int32_t, int32_t) { return true; }

std::vector<FloodCase> flood_cases() {
  const auto ramp = [](double per_pixel) { return [per_pixel](int32_t x, int32_t) { return per_pixel * x; }; };
  return {
      // 0.9 rad per pixel: nine turns across the field.
      {"ramp over many orders", 64, 9, 128, ramp(0.9), none, every, 32, 4},
      {"ramp falling, tilted", 40, 30, 16, [](int32_t x, int32_t y) { return -0.31 * x + 0.17 * y; }, none, every,
       20, 15},
      {"bowl", 41, 41, 128,
       [](int32_t x, int32_t y) { return 0.02 * ((x - 13) * (x - 13) + (y - 27) * (y - 27)); }, none, every, 20,
       20},
      // 2 rad per pixel: a step across the two-pixel wall would wrap to the
      // wrong order; the fill has to go round through the gap in row h - 2.
      {"wall of flaws with a gap", 30, 12, 128, ramp(2.0), [](int32_t x, int32_t y) { return x == 20 && y < 10; },
       every, 15, 6},
      {"wall two pixels thick", 30, 12, 128, ramp(2.0),
       [](int32_t x, int32_t y) { return (x == 20 || x == 21) && y < 10; }, every, 15, 6},
      // A closed ring of flaws: what lies inside is modulated but never reached.
      {"island inside a ring", 31, 31, 128, ramp(1.1),
       [](int32_t x, int32_t y) { return std::max(std::abs(x - 7), std::abs(y - 7)) == 4; },
       [](int32_t x, int32_t y) { return std::max(std::abs(x - 7), std::abs(y - 7)) > 4; }, 15, 15},
      // A full column of flaws cuts the field in two.
      {"half cut off", 21, 9, 128, ramp(1.0), [](int32_t x, int32_t) { return x == 14; },
       [](int32_t x, int32_t) { return x < 14; }, 10, 4},
      // |step| 0.3 above pi * 10 / 128 = 0.245: only the start column, whose
      // vertical steps are zero, is reached; 13 (0.319) crosses.
      {"steps above the threshold", 21, 9, 10, ramp(0.3), none, [](int32_t x, int32_t) { return x == 10; }, 10, 4},
      {"negative threshold as its size", 21, 9, -10, ramp(0.3), none, [](int32_t x, int32_t) { return x == 10; }, 10,
       4},
      {"steps below the threshold", 21, 9, 13, ramp(0.3), none, every, 10, 4},
      {"threshold zero: flat steps only", 21, 9, 0, ramp(0.3), none, [](int32_t x, int32_t) { return x == 10; }, 10,
       4},
      // 3.12 rad lies above pi * 127 / 128 = 3.117; from 128 on every edge is crossed.
      {"threshold 127 still limits", 21, 9, 127, ramp(3.12), none, [](int32_t x, int32_t) { return x == 10; }, 10,
       4},
      {"threshold 128 crosses every edge", 21, 9, 128, ramp(3.12), none, every, 10, 4},
      {"threshold far below -128", 21, 9, INT32_MIN, ramp(3.12), none, every, 10, 4},
      // The centre and everything near it without modulation: the nearest
      // modulated pixel is (0, 4), on the left edge.
      {"start on the edge", 9, 9, 128, [](int32_t x, int32_t y) { return 0.7 * x - 0.5 * y; },
       [](int32_t x, int32_t) { return x > 0; }, every, 0, 4},
      // Nearest at equal distance: (4, 3) comes before (3, 4) and (5, 4) in row order.
      {"start tie in row order", 9, 9, 128, ramp(0.5), [](int32_t x, int32_t y) { return x == 4 && y == 4; }, every,
       4, 3},
      {"single cell", 1, 1, 16, [](int32_t, int32_t) { return 7.0; }, none, every, 0, 0},
      {"single column", 1, 12, 128, [](int32_t, int32_t y) { return 2.5 * y; }, none, every, 0, 6},
  };
}

// Orders are checked exactly: every reached pixel holds the true phase less
// the start pixel's whole turns (the start keeps its wrapped phase).
void check_fill(const FloodCase& c, int32_t inset) {
  SCOPED_TRACE(std::string(c.name) + (inset > 0 ? ", runs off the border" : ", runs to the border"));
  PhaseField f = make_field(c.width, c.height, inset, c.phi, c.flaw);
  std::vector<uint32_t> stack(3, 77);  // work room of the wrong size from an earlier call
  int32_t sx = -1, sy = -1;
  ASSERT_TRUE(flood_start(f, sx, sy));
  EXPECT_EQ(sx, c.start_x);
  EXPECT_EQ(sy, c.start_y);
  flood_unwrap(f, c.threshold, stack);
  const double offset = f.psi[f.at(sx, sy)] - c.phi(sx, sy);
  int32_t with_data = 0;
  for (int32_t y = 0; y < c.height; ++y)
    for (int32_t x = 0; x < c.width; ++x) {
      const std::size_t i = f.at(x, y);
      const bool in_run = x >= f.runs[static_cast<std::size_t>(y)].first && x < f.runs[static_cast<std::size_t>(y)].end;
      const bool expected = in_run && !c.flaw(x, y) && c.reached(x, y);
      ASSERT_EQ(f.data[i] == 1, expected) << "at " << x << ", " << y;
      if (!in_run) {
        ASSERT_EQ(f.data[i], 0) << "at " << x << ", " << y;
        ASSERT_EQ(f.phase[i], kUnset) << "at " << x << ", " << y;
      }
      if (!expected) continue;
      ++with_data;
      const double error = f.phase[i] - c.phi(x, y) - offset;
      ASSERT_EQ(std::nearbyint(error / kTwoPi), 0.0) << "order wrong at " << x << ", " << y;
      ASSERT_NEAR(error, 0.0, 1e-9) << "at " << x << ", " << y;
    }
  EXPECT_GT(with_data, 0);
  EXPECT_EQ(f.phase[f.at(sx, sy)], f.psi[f.at(sx, sy)]);
}

TEST(FloodUnwrap, ReachesWhatIsConnectedWithExactOrders) {
  for (const FloodCase& c : flood_cases()) {
    check_fill(c, 0);  // the fill that checks the picture's bounds
    // Runs one pixel off every side: the fill without bounds. The cases
    // whose start or reach lies on the border have no such form.
    const bool border_case = c.start_x == 0 || c.width < 5 || c.height < 5;
    if (!border_case) check_fill(c, 1);
  }
}

// The same work room and field again: a second fill of a field that now has
// a wall must not leave the cut-off pixels their data from the first.
TEST(FloodUnwrap, ASecondFillKeepsNothingOfTheFirst) {
  const auto phi = [](int32_t x, int32_t y) { return 0.8 * x + 0.1 * y; };
  PhaseField f = make_field(24, 10, 0, phi, none);
  std::vector<uint32_t> stack;
  flood_unwrap(f, 128, stack);
  for (int32_t x = 0; x < 24; ++x) ASSERT_EQ(f.data[f.at(x, 3)], 1) << x;
  for (int32_t y = 0; y < 10; ++y) f.modulation[f.at(17, y)] = 0.0;
  flood_unwrap(f, 128, stack);
  for (int32_t y = 0; y < 10; ++y)
    for (int32_t x = 0; x < 24; ++x) ASSERT_EQ(f.data[f.at(x, y)] == 1, x < 17) << x << ", " << y;
}

TEST(FloodUnwrap, NoModulatedPixelGivesNoStartAndNoData) {
  PhaseField f = make_field(7, 5, 0, [](int32_t x, int32_t) { return 0.5 * x; }, every);
  int32_t sx = -1, sy = -1;
  EXPECT_FALSE(flood_start(f, sx, sy));
  std::vector<uint32_t> stack;
  flood_unwrap(f, 128, stack);
  for (const uint8_t d : f.data) ASSERT_NE(d, 1);
  // Zero and not-a-number modulation are never usable, even with no least.
  f.least_modulation = 0.0;
  f.modulation.assign(f.modulation.size(), 0.0);
  f.modulation[f.at(3, 2)] = std::nan("");
  EXPECT_FALSE(flood_start(f, sx, sy));
}

// A field of no pixels (never measured) has no start and nothing to fill:
// there is no centre pixel to read.
TEST(FloodUnwrap, AnEmptyFieldHasNoStartAndNothingToFill) {
  for (const int32_t height : {0, 4}) {
    PhaseField f;
    f.height = height;
    f.runs.assign(static_cast<std::size_t>(height), RowRun{});
    int32_t sx = -1, sy = -1;
    EXPECT_FALSE(flood_start(f, sx, sy)) << height;
    std::vector<uint32_t> stack;
    flood_unwrap(f, 128, stack);
    EXPECT_TRUE(f.data.empty());
  }
}

}  // namespace
