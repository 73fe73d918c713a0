// The fringe-analysis methods beside the engine's own windowed quadrature:
// N-step phase shifting (one period with a flood-fill unwrapping, or several
// periods unwrapped in time, coarse to fine) and Fourier analysis of one
// frame. Each ends as the engine ends: heights by the same triangulation,
// 4 x 4 block fits into the same profile grid.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "scan/grey_image.h"
#include "scan.h"
#include "scan/scn_matrix.h"

enum class FringeMethod { quadrature, phase_shift, fourier };

// "quadrature", "phase-shift", "fourier".
const char* fringe_method_name(FringeMethod method);
// The method of a name as fringe_method_name gives it; false for another text.
bool parse_fringe_method(const std::string& name, FringeMethod& method);

// What a method needs to know of the frames it is given.
struct MethodPlan {
  FringeMethod method = FringeMethod::quadrature;
  int steps = 1;                // phase steps per period (phase_shift: 3..64)
  std::vector<double> periods;  // fringe periods, pixels, coarse to fine; the last one is triangulated
};

// The frames a plan takes: steps x periods for phase shifting, 1 otherwise.
int plan_frame_count(const MethodPlan& plan);

// Empty when `given` is the plan's frame count; else the refusal the tool and
// the Python module give: "the phase-shift method with 8 steps and 1 period
// takes 8 frames, 9 given", "the fourier method with one frame takes 1 frame,
// 2 given".
std::string frame_count_refusal(const MethodPlan& plan, std::size_t given);

// Per-thread state of the methods: work rows and planes, the Fourier
// transforms' plans. Kept from one profile to the next.
class MethodEngine {
 public:
  MethodEngine();
  ~MethodEngine();
  MethodEngine(const MethodEngine&) = delete;
  MethodEngine& operator=(const MethodEngine&) = delete;

  // Replaces `profile` by the (width div 4) x (height div 4) grid of heights
  // the plan's method measures in `frames` (in the order make_fringe_frames
  // makes them: period by period, the steps of each; all of one size and
  // kind, 8-bit or 16-bit). `par` gives the pixel sizes, the angle, the
  // evaluation ellipse, the flaw threshold and the no-data height as the
  // engine takes them; LambdaF is not used (the plan's periods are). Heights
  // are those the engine's triangulation gives for the unwrapped phase of the
  // finest period, relative to the carrier about column width div 2.
  // Only the evaluation ellipse is measured; a pixel whose modulation (the
  // fitted sinusoid's amplitude, in every period) is below 1 % of the largest
  // sample the frames hold inside it gets no data. One period is unwrapped by
  // a flood fill from the centre that does not cross an edge steeper than
  // FlawThr (1/256 period); several, coarse to fine, in time alone (the
  // coarsest must span the field). Fourier takes the finest (last) period.
  // Throws std::invalid_argument for a plan or frames it cannot take (a
  // method other than phase_shift or fourier, steps outside 3..64, periods
  // not positive or not coarse to fine, frames of another count, size or
  // kind); std::bad_alloc when memory runs out.
  void profile(std::span<const GreyImage* const> frames, const MethodPlan& plan, const ScnPar& par,
               ScnMatrix& profile);

  // The heights before the block fits: replaces `full` by the width x height
  // grid of every pixel's height (no data outside the evaluation ellipse and
  // where the method measured none), steps xStep = CamResX, yStep = CamResY.
  // Takes and throws as profile().
  void heights(std::span<const GreyImage* const> frames, const MethodPlan& plan, const ScnPar& par,
               ScnMatrix& full);

 private:
  struct State;
  State* state_;
};
