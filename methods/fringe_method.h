// The fringe-analysis methods beside the engine's own windowed quadrature:
// N-step phase shifting (one period with a flood-fill unwrapping, or several
// periods unwrapped in time, coarse to fine) and Fourier analysis of one
// frame. Each ends as the engine ends: heights by the same triangulation,
// 4 x 4 block fits into the same profile grid.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

enum class FringeMethod { quadrature, phase_shift, fourier };

// "quadrature", "phase-shift", "fourier".
const char* fringe_method_name(FringeMethod method);
// The method of a name as fringe_method_name gives it, in any case
// ("Fourier", "PHASE-SHIFT"); false for another text.
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
