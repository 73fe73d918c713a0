#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

#include "every_target.h"
#include "method_frames.h"
#include "methods/method_engine.h"
#include "methods/method_heights.h"
#include "methods/modulation_mask.h"

using namespace fringe::methods;

namespace {

// Spans around each vector width, at offsets, so that every target runs its
// vector loop and its plain tail.
const int32_t kSpans[][2] = {{0, 0}, {0, 1}, {3, 4}, {0, 7}, {1, 17}, {5, 38}, {0, 64}, {2, 67}};
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(MethodKernels, HeightsAndModulationMaskAtEveryTargetEqualThePlainDefinition) {
  std::mt19937 random(3);
  std::vector<double> phase(80), modulation(80);
  std::vector<uint8_t> data(80);
  for (std::size_t i = 0; i < phase.size(); ++i) {
    phase[i] = std::uniform_real_distribution<double>(-400.0, 400.0)(random);
    data[i] = static_cast<uint8_t>(random() % 3);  // 1: data; 0 and 2 (a fill's candidate): none
    modulation[i] = static_cast<double>(i % 7) - 1.0;  // -1 .. 5
  }
  // Phases no float holds, and not-a-number, give no data either.
  const double odd[] = {1e300, -1e300, kNaN, std::numeric_limits<double>::infinity()};
  for (int i = 0; i < 4; ++i) phase[9 + i] = odd[i], data[9 + i] = 1;
  modulation[20] = kNaN;
  modulation[21] = 2.0;  // exactly the least: kept
  const double k_lambda = 0.01 / std::tan(30.0 * std::numbers::pi / 180.0) * 10.0;
  for (const auto& span : kSpans) {
    const int32_t first = span[0], end = span[1];
    SCOPED_TRACE(testing::Message() << "columns " << first << " .. " << end);
    std::vector<float> heights(80, 7.0f);
    phase_heights_plain(phase.data(), data.data(), heights.data(), first, end, k_lambda, -10.0f);
    for (int32_t x = first; x < end; ++x)
      if (data[x] != 1 || (x >= 9 && x <= 12)) {
        EXPECT_EQ(heights[x], -10.0f) << x;
      }
    for (const double least : {0.0, 2.0, 4.5}) {
      std::vector<uint8_t> mask(80, 9);
      modulation_mask_plain(modulation.data(), first, end, least, 2, mask.data());
      for (int32_t x = first; x < end; ++x)
        EXPECT_EQ(mask[x], modulation[x] > 0.0 && modulation[x] >= least ? 2 : 0) << x << " least " << least;
      for_every_target([&] {
        std::vector<uint8_t> out(80, 9);
        modulation_mask(modulation.data(), first, end, least, 2, out.data());
        EXPECT_EQ(out, mask) << "least " << least;
      });
    }
    for_every_target([&] {
      std::vector<float> out(80, 7.0f);
      phase_heights(phase.data(), data.data(), out.data(), first, end, k_lambda, -10.0f);
      EXPECT_EQ(std::memcmp(out.data(), heights.data(), out.size() * sizeof(float)), 0);
    });
  }
}

// A whole measurement, one period and two, gives the same bytes at every target.
TEST(MethodKernels, WholeMeasurementsAreTheSameAtEveryTarget) {
  const auto frames = make_method_frames({.width = 200, .height = 60, .bits = 8, .steps = 5, .periods = {300.0, 12.0},
                                          .shift = [](int32_t x, int32_t y) { return 0.1 * x + 0.002 * x * y; }});
  const auto pointers = frame_pointers(frames);
  for (const bool temporal : {false, true}) {
    SCOPED_TRACE(temporal ? "two periods" : "one period");
    const MethodPlan plan{FringeMethod::phase_shift, 5, temporal ? std::vector{300.0, 12.0} : std::vector{12.0}};
    const std::vector<const GreyImage*> used(pointers.begin() + (temporal ? 0 : 5), pointers.end());
    std::vector<float> first;
    for_every_target([&] {
      ScnMatrix full{};
      MethodEngine().heights(used, plan, par_with_radius(0.45), full);
      const std::vector<float> heights(full.values[0], full.values[0] + 200 * 60);
      mat_free(&full);
      if (first.empty()) first = heights;
      EXPECT_EQ(std::memcmp(heights.data(), first.data(), heights.size() * sizeof(float)), 0);
    });
  }
}

}  // namespace
