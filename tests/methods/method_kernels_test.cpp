#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "every_target.h"
#include "method_frames.h"
#include "methods/fringe_method.h"
#include "methods/method_heights.h"
#include "methods/modulation_mask.h"
#include "scan/default_par.h"

using namespace fringe::methods;

namespace {

// Spans around each vector width, at offsets, so that every target runs its
// vector loop and its plain tail.
struct Span {
  int32_t first;
  int32_t end;
};
const Span kSpans[] = {{0, 0}, {0, 1}, {3, 4}, {0, 7}, {1, 17}, {5, 38}, {0, 64}, {2, 67}};

TEST(MethodKernels, HeightsAtEveryTargetEqualThePlainDefinition) {
  std::mt19937 random(3);
  std::uniform_real_distribution<double> turns(-400.0, 400.0);
  std::vector<double> phase(80);
  std::vector<uint8_t> data(80);
  for (std::size_t i = 0; i < phase.size(); ++i) {
    phase[i] = turns(random);
    data[i] = static_cast<uint8_t>(random() % 3);  // 1: data; 0 and 2 (a fill's candidate): none
  }
  // Values no float holds, and not-a-number, are no data too.
  phase[9] = 1e300;
  phase[10] = -1e300;
  phase[11] = std::numeric_limits<double>::quiet_NaN();
  phase[12] = std::numeric_limits<double>::infinity();
  data[9] = data[10] = data[11] = data[12] = 1;
  const double k_lambda = 0.01 / std::tan(30.0 * kPi / 180.0) * 10.0;
  for (const Span& span : kSpans) {
    SCOPED_TRACE(testing::Message() << "columns " << span.first << " .. " << span.end);
    std::vector<float> expected(80, 7.0f);
    phase_heights_plain(phase.data(), data.data(), expected.data(), span.first, span.end, k_lambda, -10.0f);
    for (int32_t x = span.first; x < span.end; ++x) {
      const bool none = data[static_cast<std::size_t>(x)] != 1 || (x >= 9 && x <= 12);
      if (none) {
        EXPECT_EQ(expected[static_cast<std::size_t>(x)], -10.0f) << x;
      }
    }
    for_every_target([&] {
      std::vector<float> out(80, 7.0f);
      phase_heights(phase.data(), data.data(), out.data(), span.first, span.end, k_lambda, -10.0f);
      EXPECT_EQ(std::memcmp(out.data(), expected.data(), out.size() * sizeof(float)), 0);
    });
  }
}

TEST(MethodKernels, ModulationMaskAtEveryTargetEqualsThePlainDefinition) {
  std::vector<double> modulation(80);
  for (std::size_t i = 0; i < modulation.size(); ++i) modulation[i] = static_cast<double>(i % 7) - 1.0;  // -1 .. 5
  modulation[20] = std::numeric_limits<double>::quiet_NaN();
  modulation[21] = 2.0;  // exactly the least: kept
  for (const double least : {0.0, 2.0, 4.5})
    for (const Span& span : kSpans) {
      SCOPED_TRACE(testing::Message() << "least " << least << " columns " << span.first << " .. " << span.end);
      std::vector<uint8_t> expected(80, 9);
      modulation_mask_plain(modulation.data(), span.first, span.end, least, 2, expected.data());
      for (int32_t x = span.first; x < span.end; ++x) {
        const double b = modulation[static_cast<std::size_t>(x)];
        EXPECT_EQ(expected[static_cast<std::size_t>(x)], b > 0.0 && b >= least ? 2 : 0) << x;
      }
      for_every_target([&] {
        std::vector<uint8_t> out(80, 9);
        modulation_mask(modulation.data(), span.first, span.end, least, 2, out.data());
        EXPECT_EQ(out, expected);
      });
    }
}

// A whole measurement gives the same bytes at every target.
TEST(MethodKernels, WholeMeasurementsAreTheSameAtEveryTarget) {
  FrameRecipe recipe;
  recipe.width = 200;
  recipe.height = 60;
  recipe.bits = 8;
  recipe.steps = 5;
  recipe.periods = {300.0, 12.0};
  recipe.shift = [](int32_t x, int32_t y) { return 0.1 * x + 0.002 * x * y; };
  const auto frames = make_method_frames(recipe);
  std::vector<const GreyImage*> pointers;
  for (const auto& f : frames) pointers.push_back(f.get());
  ScnPar par = kDefaultScnPar;
  par.MaskRadius = 0.45;
  for (const bool temporal : {false, true}) {
    SCOPED_TRACE(temporal ? "two periods" : "one period");
    MethodPlan plan;
    plan.method = FringeMethod::phase_shift;
    plan.steps = 5;
    plan.periods = temporal ? recipe.periods : std::vector<double>{12.0};
    const auto used = temporal ? pointers : std::vector<const GreyImage*>(pointers.begin() + 5, pointers.end());
    std::vector<float> first;
    for_every_target([&] {
      MethodEngine engine;
      ScnMatrix full{};
      engine.heights(used, plan, par, full);
      const std::vector<float> heights(full.values[0], full.values[0] + 200 * 60);
      mat_free(&full);
      if (first.empty()) first = heights;
      EXPECT_EQ(std::memcmp(heights.data(), first.data(), heights.size() * sizeof(float)), 0);
    });
  }
}

}  // namespace
