#include "simulation/fringe_frames.h"

#include <cstddef>
#include <new>
#include <numbers>
#include <utility>

#include "simulation/fringe_synthesis.h"
#include "simulation/ray_synthesis.h"

double phase_step_shift(int k, int n) { return 2.0 * std::numbers::pi * k / n; }

std::vector<GreyImageOwner> make_fringe_frames(const SimParams& params, const FrameSet& set, int32_t max_noise,
                                               int32_t additive_range, uint64_t& generator) {
  const std::vector<double> one_period{params.fringe_period};
  const std::vector<double>& periods = set.periods.empty() ? one_period : set.periods;
  std::vector<GreyImageOwner> frames;
  if (set.steps < 1) return frames;
  if (params.system.pinhole()) return ray_fringe_frames(params, set, max_noise, additive_range, generator);
  // The generator moves only with a whole set: a set that cannot be made
  // leaves it where it stood, as a picture that cannot be made does.
  uint64_t state = generator;
  try {
    frames.reserve(periods.size() * static_cast<std::size_t>(set.steps));
    std::vector<double> shifts(static_cast<std::size_t>(set.steps));
    for (int k = 0; k < set.steps; ++k) shifts[static_cast<std::size_t>(k)] = phase_step_shift(k, set.steps);
    SimParams frame = params;
    for (const double period : periods) {
      frame.fringe_period = period;
      std::vector<GreyImageOwner> steps = make_shifted_pictures(frame, shifts, max_noise, additive_range, state);
      if (steps.empty()) return {};
      for (GreyImageOwner& image : steps) frames.push_back(std::move(image));
    }
  } catch (const std::bad_alloc&) {
    return {};
  }
  generator = state;
  return frames;
}
