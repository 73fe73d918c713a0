// A set of fringe pictures of one surface, as a multi-frame method projects
// them: several phase steps of the pattern, for one fringe period or for
// several (coarse to fine), with the projector's and camera's errors.
#pragma once

#include <cstdint>
#include <vector>

#include "scan/grey_image.h"
#include "simulation/sim_params.h"

struct FrameSet {
  int steps = 1;                // phase steps per period, frame k shifted by 2 pi k / steps
  std::vector<double> periods;  // fringe periods, pixels, in the order projected; empty: params.fringe_period
};

// The phase shift of step k of n: 2 pi k / n, computed in this order. The
// methods take the same values.
double phase_step_shift(int k, int n);

// The frames period by period (in the order given), `steps` frames each, frame
// k of a period with params.phase_shift = phase_step_shift(k, steps) and
// params.fringe_period = that period; each made exactly as make_fringe_picture
// makes one picture, drawing from `generator` in the order the frames are made.
// Frame 0 of a set of one period with params.errors none is the picture
// make_fringe_picture makes. 8-bit frames are GreyImage type 1, deeper ones
// (params.errors.bits > 8) type 2 with levels 0 .. 2^bits - 1. Empty when a
// frame cannot be made (a side outside 1..4096, no memory).
std::vector<GreyImageOwner> make_fringe_frames(const SimParams& params, const FrameSet& set, int32_t max_noise,
                                               int32_t additive_range, uint64_t& generator);
