// phase_bytes: the angle kernel (phase_angle-inl.h) dispatched to the best
// target, and the phase byte by definition beside it.
#include "phase_angle.h"

#include <cmath>
#include <cstddef>
#include <numbers>

#include "image_processing.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "scan/phase_angle.cpp"
#include <hwy/foreach_target.h>  // before highway.h
#include <hwy/highway.h>

#include "scan/phase_angle-inl.h"

HWY_BEFORE_NAMESPACE();
namespace fringe::HWY_NAMESPACE {

void PhaseBytes(const double* re, const double* im, size_t count, uint8_t* out) {
  PhaseBytesOf(hn::ScalableTag<double>(), re, im, count, out);
}

}  // namespace fringe::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace fringe {
HWY_EXPORT(PhaseBytes);
}  // namespace fringe

uint8_t phase_byte(double re, double im) {
  if (re == 0.0 && im == 0.0) return 0;
  const double value = std::nearbyint(std::atan2(-im, re) * 128 / std::numbers::pi);
  return std::isfinite(value) ? static_cast<uint8_t>(static_cast<int32_t>(value)) : 0;
}

void phase_bytes(const double* re, const double* im, int32_t count, uint8_t* out) {
  if (count <= 0) return;
  HWY_DYNAMIC_DISPATCH(fringe::PhaseBytes)(re, im, static_cast<size_t>(count), out);
}
#endif  // HWY_ONCE
