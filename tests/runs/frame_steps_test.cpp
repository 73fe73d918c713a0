// The phase steps of the workbench's own frame sets, as "apply" makes them at
// the noise control's middle (0.5): measured within 0.02 rad of the plan and
// taken without a word, whatever the steps, periods and error sources (a
// projector's gamma bends the fringes of four steps, measured along the
// rows, by some hundredths).
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "methods/step_check.h"
#include "simulation/fringe_frames.h"
#include "simulation/sim_params.h"

namespace {

TEST(WorkbenchFrameSteps, SoundSetsAtNoiseHalfAreMeasuredWithinAHundredthAndTakenSilently) {
  struct Case {
    int steps;
    std::vector<double> periods;
    FrameErrors errors;
    double within = 0.02;  // rad
  };
  FrameErrors gamma;
  gamma.gamma = 2.2;
  FrameErrors deep;
  deep.bits = 12;
  deep.blur = 1.5;
  deep.ambient = 20.0;
  const Case cases[] = {
      {8, {10.0}, {}},         {4, {10.0}, {}},       {3, {10.0}, {}},    {16, {10.0}, {}},
      {5, {10.0}, gamma},      {8, {10.0}, deep},     {4, {10.0}, gamma, 0.05}, {8, {1280.0, 80.0, 10.0}, {}},
  };
  for (const Case& c : cases) {
    SimParams params;  // 1280 x 1024, the default sphere
    params.noise = 0.5;
    params.errors = c.errors;
    uint64_t generator = 17;
    const std::vector<GreyImageOwner> frames = make_fringe_frames(params, FrameSet{c.steps, c.periods}, 64, 5, generator);
    std::vector<const GreyImage*> given;
    for (const GreyImageOwner& frame : frames) given.push_back(frame.get());
    const StepCheck check = check_phase_steps(given, MethodPlan{FringeMethod::phase_shift, c.steps, c.periods});
    const std::string name = std::to_string(c.steps) + " steps, " + std::to_string(c.periods.size()) +
                             " period(s), gamma " + std::to_string(c.errors.gamma) + ", " +
                             std::to_string(c.errors.bits) + " bits";
    EXPECT_EQ(check.verdict, StepCheck::Verdict::agrees) << name << ": " << check.finding;
    ASSERT_EQ(check.periods.size(), c.periods.size()) << name;
    for (const MeasuredSteps& m : check.periods) {
      ASSERT_TRUE(m.measured) << name;
      double worst = 0.0;
      for (int k = 1; k < c.steps; ++k)
        worst = std::max(worst, std::fabs(std::remainder(m.phases[static_cast<std::size_t>(k)] -
                                                             2.0 * std::numbers::pi * k / c.steps,
                                                         2.0 * std::numbers::pi)));
      EXPECT_LT(worst, c.within) << name << ": " << consecutive_steps_text(m.phases);
    }
  }
}

}  // namespace
