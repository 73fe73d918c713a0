// MethodEngine: the methods of fringe_method.h run over a set of frames, with
// the work memory they keep from one profile to the next.
#pragma once

#include <memory>
#include <span>

#include "methods/fringe_method.h"
#include "methods/measurement_quality.h"
#include "methods/phase_field.h"
#include "scan.h"
#include "scan/grey_image.h"
#include "scan/scn_matrix.h"

// Per-thread state of the methods: work rows and planes, the Fourier
// transforms' plans. Kept from one profile to the next.
class MethodEngine {
 public:
  MethodEngine();
  // Out of line, where State is complete.
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
  // With `quality`, also the measurement's quality on the profile's grid
  // (methods/measurement_quality.h), its cells marked from the profile; the
  // heights are the same with or without.
  void profile(std::span<const GreyImage* const> frames, const MethodPlan& plan, const ScnPar& par,
               ScnMatrix& profile, QualityMap* quality = nullptr);

  // The heights before the block fits: replaces `full` by the width x height
  // grid of every pixel's height (no data outside the evaluation ellipse and
  // where the method measured none), steps xStep = CamResX, yStep = CamResY.
  // Takes and throws as profile().
  void heights(std::span<const GreyImage* const> frames, const MethodPlan& plan, const ScnPar& par,
               ScnMatrix& full);

  // The unwrapped phase of the plan's finest period before any height is
  // made: the field heights() and profile() start from (valid until the next
  // call); `lambda` receives that period. Takes and throws as profile().
  const fringe::methods::PhaseField& phase(std::span<const GreyImage* const> frames, const MethodPlan& plan,
                                           const ScnPar& par, double& lambda);

  // profile()'s block fits of heights given per pixel (`full`, width x
  // height, no data as par's DepthLimit gives it): the grid profile() makes
  // from its own heights.
  void profile_of_heights(const ScnMatrix& full, const ScnPar& par, ScnMatrix& profile);

 private:
  template <typename Touched, typename Row>
  void fit_blocks(int32_t width, int32_t height, const ScnPar& par, ScnMatrix& profile, const Touched& touched_row,
                  const Row& row);

  struct State;
  std::unique_ptr<State> state_;
};
