// A phase-shift frame set checked against its plan before it is measured:
// the steps the frames hold (measured_steps.h), period by period, against
// 2 pi k / steps. Frames in reverse order, two frames swapped, one picture
// twice, a frame without fringes or a set of another step count are refused
// with what was found; a small uniform step error is warned about with the
// steps measured. A set that starts one step late (or any whole number of
// steps) holds the plan's steps: it shifts every height by the same amount
// and no check of the frames alone can tell it.
//
// Frames are counted from 0, as their files (sim00_f00.png, ...) and a
// Python list are.
//
// Tolerances come from the noise: each frame's step has a standard error
// sigma_k (measured_steps.h: the rms the fit leaves over the modulated
// pixels). A frame whose step lies within kStepSigmas sigma_k of a plan step
// sits on it; the set's mean step counts as the plan's within kStepSigmas
// standard errors of the mean. No tolerance of a frame is below
// kLeastStepTolerance (of the mean step, that over the frames): the noise
// is not all that moves a measured step (noise that grows with the grey
// level, a projector's harmonics, a coarse period's part of a turn move the
// workbench's own sound sets by up to 0.003 rad), and a step error below it
// moves the heights by less than the 8-bit rounding does. Three or four
// frames are measured along the rows: a frame counts as a plan step within
// a quarter step, and no small error is warned of.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "methods/fringe_method.h"
#include "methods/measured_steps.h"
#include "scan/grey_image.h"

inline constexpr double kStepSigmas = 6.0;
inline constexpr double kLeastStepTolerance = 0.01;  // rad

struct StepCheck {
  enum class Verdict { agrees, warned, refused };
  Verdict verdict = Verdict::agrees;
  // What was found, for a warning or a refusal: "frames 3 and 4 look
  // swapped (measured steps between consecutive frames: 0.785 1.571 ...
  // rad; the plan steps by 0.785 rad)".
  std::string finding;
  // The steps measured, one entry per period of the plan (phase-shift only).
  std::vector<MeasuredSteps> periods;
};

// Checks `frames` (as MethodEngine takes them for `plan`) when the plan is
// phase shifting; other methods' frames agree unchecked. `names`, empty or
// one per frame, follow the frames' numbers in the finding ("frames 3 and 4
// (a3.png, a4.png) look swapped").
StepCheck check_phase_steps(std::span<const GreyImage* const> frames, const MethodPlan& plan,
                            std::span<const std::string> names = {});

// The consecutive steps of `phases` (phases[k + 1] - phases[k], wrapped),
// rad, as the findings print them: "0.785 0.785 1.571".
std::string consecutive_steps_text(const std::vector<double>& phases);
