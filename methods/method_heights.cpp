// Heights of the field's rows, a vector of columns at a time (Highway).
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "methods/method_heights.cpp"
#include <hwy/foreach_target.h>  // before highway.h
#include <hwy/highway.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <numbers>

#include "methods/method_heights.h"
#include "scan/profile_calculation.h"

HWY_BEFORE_NAMESPACE();
namespace fringe::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// phase_heights_plain a vector of columns at a time, each lane with exactly
// its operations (a product, a quotient, the float range test, the rounding
// to float), the last columns plainly.
void PhaseHeightsRow(const double* phase, const uint8_t* data, float* out, int32_t first, int32_t end,
                     double k_lambda, float no_data) {
  const hn::ScalableTag<double> d;
  const hn::Rebind<int32_t, decltype(d)> di;
  const hn::Rebind<uint8_t, decltype(d)> du8;
  const hn::Rebind<float, decltype(d)> df;
  const auto lanes = static_cast<int32_t>(hn::Lanes(d));
  const auto factor = hn::Set(d, k_lambda);
  const auto turn = hn::Set(d, fringe::methods::kTwoPi);
  const auto largest = hn::Set(d, static_cast<double>(FLT_MAX));
  const auto none = hn::Set(d, static_cast<double>(no_data));  // exact, and back to the same float
  int32_t x = first;
  for (; x + lanes <= end; x += lanes) {
    const auto height = hn::Div(hn::Mul(factor, hn::LoadU(d, phase + x)), turn);
    const auto has = hn::Eq(hn::PromoteTo(d, hn::PromoteTo(di, hn::LoadU(du8, data + x))), hn::Set(d, 1.0));
    // Not-a-number compares false: no data, as stored_height gives it.
    const auto fits = hn::And(has, hn::Le(hn::Abs(height), largest));
    hn::StoreU(hn::DemoteTo(df, hn::IfThenElse(fits, height, none)), df, out + x);
  }
  fringe::methods::phase_heights_plain(phase, data, out, x, end, k_lambda, no_data);
}

}  // namespace fringe::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace fringe {
HWY_EXPORT(PhaseHeightsRow);
}  // namespace fringe

namespace fringe::methods {

void phase_heights_plain(const double* phase, const uint8_t* data, float* out, int32_t first, int32_t end,
                         double k_lambda, float no_data) {
  for (int32_t x = first; x < end; ++x)
    out[x] = data[x] == 1 ? stored_height(k_lambda * phase[x] / kTwoPi, no_data) : no_data;
}

void phase_heights(const double* phase, const uint8_t* data, float* out, int32_t first, int32_t end,
                   double k_lambda, float no_data) {
  HWY_DYNAMIC_DISPATCH(fringe::PhaseHeightsRow)(phase, data, out, first, end, k_lambda, no_data);
}

PhaseHeights::PhaseHeights(const ScnPar& par, double lambda_pixels)
    // Alpha 0 makes k infinite: such heights are no float and become no data.
    : k(par.CamResX / std::tan(par.Alpha * std::numbers::pi / 180.0)),
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
  // k * lambda * phase / (2 pi), the product k * lambda first.
  phase_heights(field.phase.data() + field.at(0, y), field.data.data() + field.at(0, y), out, run.first, run.end,
                k * lambda, no_data);
}

}  // namespace fringe::methods
#endif  // HWY_ONCE
