#include "methods/method_heights.h"

#include <algorithm>
#include <cmath>

#include "scan/profile_calculation.h"

namespace fringe::methods {

PhaseHeights::PhaseHeights(const ScnPar& par, double lambda_pixels)
    // Alpha 0 makes k infinite: such heights are no float and become no data.
    : k(par.CamResX / std::tan(par.Alpha * kPi / 180.0)),
      lambda(lambda_pixels),
      no_data(static_cast<float>(effective_depth_limit(par.DepthLimit))) {}

void PhaseHeights::row(const PhaseField& field, int32_t y, float* out) const {
  const RowRun run = field.runs[static_cast<std::size_t>(y)];
  if (run.empty()) {
    std::fill(out, out + field.width, no_data);
    return;
  }
  std::fill(out, out + run.first, no_data);
  std::fill(out + run.end, out + field.width, no_data);
  const double* phase = field.phase.data() + field.at(0, y);
  const uint8_t* data = field.data.data() + field.at(0, y);
  for (int32_t x = run.first; x < run.end; ++x)
    out[x] = data[x] != 0 ? stored_height(k * lambda * phase[x] / kTwoPi, no_data) : no_data;
}

}  // namespace fringe::methods
