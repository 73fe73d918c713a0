#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "methods/step_check.h"
#include "scan/grey_image.h"

namespace {

constexpr double kPi = std::numbers::pi;

// 8-bit frames of a dome (a few fringes of shift at the centre) on a carrier
// of `period` pixels rising along the rows, frame k at phase phases[k], with
// Gaussian noise of `noise` grey levels: what a camera would give.
std::vector<GreyImageOwner> dome_frames(const std::vector<double>& phases, double period, double noise = 2.0,
                                        unsigned seed = 7, int32_t width = 320, int32_t height = 200) {
  std::mt19937 random(seed);
  std::normal_distribution<double> gauss(0.0, noise);
  std::vector<GreyImageOwner> frames;
  for (const double step : phases) {
    GreyImageOwner frame(img_create(1, width, height));
    for (int32_t y = 0; y < height; ++y)
      for (int32_t x = 0; x < width; ++x) {
        const double dx = (x - width / 2) / 100.0, dy = (y - height / 2) / 100.0;
        const double dome = 4.0 * std::exp(-(dx * dx + dy * dy));
        const double phi = 2.0 * kPi * (x - width / 2 + dome) / period + step;
        const double level = 127.0 + 90.0 * std::cos(phi) + gauss(random);
        img_line(frame.get(), y)[x] = static_cast<uint8_t>(std::clamp(std::nearbyint(level), 0.0, 255.0));
      }
    frames.push_back(std::move(frame));
  }
  return frames;
}

std::vector<double> plan_phases(int steps, double scale = 1.0, int start = 0) {
  std::vector<double> phases;
  for (int k = 0; k < steps; ++k) phases.push_back(2.0 * kPi * (k + start) / steps * scale);
  return phases;
}

std::vector<const GreyImage*> pointers(const std::vector<GreyImageOwner>& frames) {
  std::vector<const GreyImage*> p;
  for (const GreyImageOwner& f : frames) p.push_back(f.get());
  return p;
}

MethodPlan plan_of(int steps, std::vector<double> periods = {16.0}) {
  return MethodPlan{FringeMethod::phase_shift, steps, std::move(periods)};
}

// Every fault a set of frames can have, each planted in frames made here,
// and the sound sets the check must leave alone: the verdict and the words.
TEST(StepCheck, EachFaultOfAFrameSetIsFoundAndSaidAsFound) {
  using V = StepCheck::Verdict;
  const auto swap = [](std::vector<double> p, std::size_t a, std::size_t b) {
    std::swap(p[a], p[b]);
    return p;
  };
  std::vector<double> reversed = plan_phases(8);
  std::reverse(reversed.begin(), reversed.end());
  std::vector<double> repeated = plan_phases(8);
  repeated[6] = repeated[5];
  struct Case {
    const char* name;
    std::function<std::vector<GreyImageOwner>()> frames;
    MethodPlan plan;
    V verdict;
    const char* finding;  // the start of the finding
  };
  const Case cases[] = {
      {"sound 8 steps", [] { return dome_frames(plan_phases(8), 16.0); }, plan_of(8), V::agrees, ""},
      {"sound 4 steps, noisy", [] { return dome_frames(plan_phases(4), 16.0, 12.0); }, plan_of(4), V::agrees, ""},
      {"one step late", [] { return dome_frames(plan_phases(8, 1.0, 1), 16.0); }, plan_of(8), V::agrees, ""},
      {"sound 3 steps", [] { return dome_frames(plan_phases(3), 16.0); }, plan_of(3), V::agrees, ""},
      {"reversed", [&] { return dome_frames(reversed, 16.0); }, plan_of(8), V::refused,
       "the steps run backwards: the frames look to be in reverse order ("},
      {"reversed, 3 steps", [] { return dome_frames({0.0, -2.0 * kPi / 3, -4.0 * kPi / 3}, 16.0); }, plan_of(3),
       V::refused, "the steps run backwards"},
      {"reversed, 4 coarse steps", [&] { return dome_frames({0.0, -kPi / 2, -kPi, -1.5 * kPi}, 400.0); },
       plan_of(4, {400.0}), V::refused, "the steps run backwards"},
      {"sound, 4 coarse steps", [&] { return dome_frames(plan_phases(4), 400.0); }, plan_of(4, {400.0}), V::agrees,
       ""},
      {"identical", [] { return dome_frames(std::vector<double>(8, 0.0), 16.0, 0.0); }, plan_of(8), V::refused,
       "all 8 frames are the same picture: they hold no phase steps"},
      {"one grey level, 8 times",  // no fringes: the measurement's quality refuses it as such
       [] {
         std::vector<GreyImageOwner> f = dome_frames(plan_phases(8), 16.0);
         for (GreyImageOwner& frame : f) std::memset(frame->pixels, 128, static_cast<std::size_t>(frame->size));
         return f;
       },
       plan_of(8), V::agrees, ""},
      {"3 and 4 swapped", [&] { return dome_frames(swap(plan_phases(8), 3, 4), 16.0); }, plan_of(8), V::refused,
       "frames 3 and 4 look swapped ("},
      {"0 and 1 swapped", [&] { return dome_frames(swap(plan_phases(8), 0, 1), 16.0); }, plan_of(8), V::refused,
       "frames 0 and 1 look swapped ("},
      {"2 and 6 swapped", [&] { return dome_frames(swap(plan_phases(8), 2, 6), 16.0); }, plan_of(8), V::refused,
       "frames 2 and 6 look swapped ("},
      {"frame 5 twice",
       [] {
         std::vector<GreyImageOwner> f = dome_frames(plan_phases(8), 16.0);
         img_copy(f[6].get(), f[5].get());
         return f;
       },
       plan_of(8), V::refused, "frames 5 and 6 are the same picture"},
      {"a step twice, other noise", [&] { return dome_frames(repeated, 16.0); }, plan_of(8), V::refused,
       "frames 5 and 6 hold the same phase step, as one picture twice would ("},
      {"frame 4 blank",
       [] {
         std::vector<GreyImageOwner> f = dome_frames(plan_phases(8), 16.0);
         std::memset(f[4]->pixels, 120, static_cast<std::size_t>(f[4]->size));
         return f;
       },
       plan_of(8), V::refused, "frame 4 holds no fringes: its fringes are "},
      {"made for 6 steps", [] { return dome_frames(plan_phases(8, 8.0 / 6.0), 16.0); }, plan_of(8), V::refused,
       "the frames step by 1.047 rad, as a set of 6.0 steps a turn would, not by the plan's 0.785 rad of 8 steps ("},
      {"made for 16 steps", [] { return dome_frames(plan_phases(8, 0.5), 16.0); }, plan_of(8), V::refused,
       "the frames step by 0.393 rad, as a set of 16.0 steps a turn would"},
      {"steps 2 % long", [] { return dome_frames(plan_phases(8, 1.02), 16.0); }, plan_of(8), V::warned,
       "the frames step by 0.801 rad on average where the plan takes 0.785 rad (a difference of 0.016 rad"},
      {"two periods, the second reversed",
       [&] {
         std::vector<GreyImageOwner> coarse = dome_frames(plan_phases(8), 400.0);
         std::vector<GreyImageOwner> fine = dome_frames(reversed, 16.0);
         for (GreyImageOwner& f : fine) coarse.push_back(std::move(f));
         return coarse;
       },
       plan_of(8, {400.0, 16.0}), V::refused, "period 2 of 2 (16 px): the steps run backwards"},
      {"two periods, frames 9 and 10 swapped",
       [&] {
         std::vector<GreyImageOwner> coarse = dome_frames(plan_phases(8), 400.0);
         std::vector<GreyImageOwner> fine = dome_frames(swap(plan_phases(8), 1, 2), 16.0);
         for (GreyImageOwner& f : fine) coarse.push_back(std::move(f));
         return coarse;
       },
       plan_of(8, {400.0, 16.0}), V::refused, "period 2 of 2 (16 px): frames 9 and 10 look swapped"},
  };
  for (const Case& c : cases) {
    const std::vector<GreyImageOwner> frames = c.frames();
    const StepCheck check = check_phase_steps(pointers(frames), c.plan);
    EXPECT_EQ(check.verdict, c.verdict) << c.name << ": " << check.finding;
    EXPECT_EQ(check.finding.substr(0, std::strlen(c.finding)), c.finding)
        << c.name << ": " << (check.periods.empty() ? "" : consecutive_steps_text(check.periods.back().phases));
  }
}

// The steps measured on a sound set lie within a few standard errors of the
// plan, the standard errors follow the noise, and the names given follow
// the frames' numbers.
TEST(StepCheck, SoundStepsAreMeasuredWithinTheirErrors) {
  for (const double noise : {0.5, 4.0, 16.0}) {
    const std::vector<GreyImageOwner> frames = dome_frames(plan_phases(8), 16.0, noise, 11);
    const StepCheck check = check_phase_steps(pointers(frames), plan_of(8));
    ASSERT_EQ(check.periods.size(), 1u);
    const MeasuredSteps& m = check.periods[0];
    ASSERT_TRUE(m.measured);
    EXPECT_NEAR(m.noise, std::hypot(noise, 1.0 / std::sqrt(12.0)), 0.15 * noise + 0.05) << noise;
    for (std::size_t k = 1; k < 8; ++k) {
      EXPECT_NEAR(std::remainder(m.phases[k] - 2.0 * kPi * k / 8, 2.0 * kPi), 0.0, 4.0 * m.errors[k] + 1e-4) << noise;
      EXPECT_NEAR(m.amplitudes[k], 1.0, 0.02);
    }
    EXPECT_LT(m.errors[7], 0.002 * (noise + 0.3));
    EXPECT_EQ(check.verdict, StepCheck::Verdict::agrees) << check.finding;
  }
  std::vector<double> phases = plan_phases(4);
  std::swap(phases[1], phases[2]);
  const std::vector<GreyImageOwner> frames = dome_frames(phases, 16.0);
  const std::vector<std::string> names{"a.png", "b.png", "c.png", "d.png"};
  EXPECT_EQ(check_phase_steps(pointers(frames), plan_of(4), names).finding.substr(0, 40),
            "frames 1 and 2 (b.png, c.png) look swapp");
  // Fourier's one frame has no steps to check.
  const std::vector<const GreyImage*> one{frames[0].get()};
  EXPECT_EQ(check_phase_steps(one, MethodPlan{FringeMethod::fourier, 1, {16.0}}).verdict, StepCheck::Verdict::agrees);
}

}  // namespace
