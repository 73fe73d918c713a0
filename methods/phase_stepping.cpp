// Phase shifting's sums across pixels (Highway), the phase and modulation of
// a period's frames from them.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "methods/phase_stepping.cpp"
#include <hwy/foreach_target.h>  // before highway.h
#include <hwy/highway.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "methods/portable_atan2.h"
#include "methods/phase_stepping.h"

#ifndef FRINGE_PHASE_STEPPING_ONCE
#define FRINGE_PHASE_STEPPING_ONCE
namespace fringe::methods {

inline double sample_at(const uint8_t* row, bool wide, int32_t x) {
  if (!wide) return row[x];
  uint16_t value;  // machine order; memcpy keeps the access legal for a byte buffer
  std::memcpy(&value, row + 2 * static_cast<std::ptrdiff_t>(x), sizeof value);
  return value;
}

}  // namespace fringe::methods
#endif

HWY_BEFORE_NAMESPACE();
namespace fringe::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// phase_step_sums_plain across a vector of pixels at a time: each lane runs
// the frames in the same order with the same products and sums (and the
// square root, correctly rounded on every target as in the C library), so
// its values are the plain ones bit for bit; the last columns plainly.
void PhaseStepSums(const uint8_t* const* rows, int32_t n, bool wide, const double* sines, const double* cosines,
                   int32_t x0, int32_t count, double* s, double* c, double* b, double& largest) {
  const hn::ScalableTag<double> d;
  const hn::Rebind<int32_t, decltype(d)> di;
  const hn::Rebind<uint16_t, decltype(d)> du16;
  const hn::Rebind<uint8_t, decltype(d)> du8;
  const auto lanes = static_cast<int32_t>(hn::Lanes(d));
  const auto scale = hn::Set(d, 2.0 / n);
  auto top = hn::Zero(d);
  int32_t i = 0;
  for (; i + lanes <= count; i += lanes) {
    const int32_t x = x0 + i;
    auto sum_s = hn::Zero(d);
    auto sum_c = hn::Zero(d);
    for (int32_t k = 0; k < n; ++k) {
      const auto levels =
          wide ? hn::PromoteTo(d, hn::PromoteTo(di, hn::LoadU(du16, reinterpret_cast<const uint16_t*>(rows[k]) + x)))
               : hn::PromoteTo(d, hn::PromoteTo(di, hn::LoadU(du8, rows[k] + x)));
      top = hn::Max(top, levels);
      sum_s = hn::Add(sum_s, hn::Mul(levels, hn::Set(d, sines[k])));
      sum_c = hn::Add(sum_c, hn::Mul(levels, hn::Set(d, cosines[k])));
    }
    hn::StoreU(sum_s, d, s + i);
    hn::StoreU(sum_c, d, c + i);
    hn::StoreU(hn::Mul(scale, hn::Sqrt(hn::Add(hn::Mul(sum_s, sum_s), hn::Mul(sum_c, sum_c)))), d, b + i);
  }
  double lane_values[HWY_MAX_BYTES / sizeof(double)];
  hn::StoreU(top, d, lane_values);
  for (int32_t k = 0; k < lanes; ++k) largest = std::max(largest, lane_values[k]);
  fringe::methods::phase_step_sums_plain(rows, n, wide, sines, cosines, x0, count, s, c, b, largest, i);
}

}  // namespace fringe::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace fringe {
HWY_EXPORT(PhaseStepSums);
}  // namespace fringe

namespace fringe::methods {

double phase_step(int k, int n) { return 2.0 * std::numbers::pi * k / n; }

void phase_step_sums_plain(const uint8_t* const* rows, int32_t n, bool wide, const double* sines,
                           const double* cosines, int32_t x0, int32_t count, double* s, double* c, double* b,
                           double& largest, int32_t from) {
  const double scale = 2.0 / n;
  for (int32_t i = from; i < count; ++i) {
    double sum_s = 0.0;
    double sum_c = 0.0;
    for (int32_t k = 0; k < n; ++k) {
      const double level = sample_at(rows[k], wide, x0 + i);
      largest = std::max(largest, level);
      sum_s = sum_s + level * sines[k];
      sum_c = sum_c + level * cosines[k];
    }
    s[i] = sum_s;
    c[i] = sum_c;
    b[i] = scale * std::sqrt(sum_s * sum_s + sum_c * sum_c);
  }
}

void phase_step_sums(const uint8_t* const* rows, int32_t n, bool wide, const double* sines, const double* cosines,
                     int32_t x0, int32_t count, double* s, double* c, double* b, double& largest) {
  HWY_DYNAMIC_DISPATCH(fringe::PhaseStepSums)(rows, n, wide, sines, cosines, x0, count, s, c, b, largest);
}

double phase_step_period(std::span<const GreyImage* const> frames, double lambda, bool first, PhaseField& field,
                         std::vector<double>& work) {
  const auto n = static_cast<int32_t>(frames.size());
  std::vector<double> sines(frames.size());
  std::vector<double> cosines(frames.size());
  for (int32_t k = 0; k < n; ++k) {
    const double delta = phase_step(k, n);
    sines[static_cast<std::size_t>(k)] = std::sin(delta);
    cosines[static_cast<std::size_t>(k)] = std::cos(delta);
  }
  const bool wide = frames[0]->type == 2;
  const auto width = static_cast<std::size_t>(field.width);
  work.resize(4 * width);
  double* const s = work.data();
  double* const c = s + width;
  double* const b = c + width;
  double* const carrier = b + width;
  wrapped_carrier(field.width, lambda, carrier);
  std::vector<const uint8_t*> rows(frames.size());
  const auto sums = HWY_DYNAMIC_DISPATCH(fringe::PhaseStepSums);
  double largest = 0.0;
  for (int32_t y = 0; y < field.height; ++y) {
    const RowRun run = field.runs[static_cast<std::size_t>(y)];
    if (run.empty()) continue;
    for (int32_t k = 0; k < n; ++k) rows[static_cast<std::size_t>(k)] = img_line(frames[static_cast<std::size_t>(k)], y);
    const int32_t count = run.end - run.first;
    double* const psi = field.psi.data() + field.at(run.first, y);
    double* const modulation = field.modulation.data() + field.at(run.first, y);
    // The first period's modulation goes straight to the field; a later
    // one's is kept where it is less.
    double* const row_b = first ? modulation : b;
    sums(rows.data(), n, wide, sines.data(), cosines.data(), run.first, count, s, c, row_b, largest);
    const double* const carrier_row = carrier + run.first;
    // The angle of (C, S) in place of S: the angle is odd in its first
    // argument bit for bit, so its negation is the angle of (C, -S).
    portable_atan2_row(s, c, count, s);
    for (int32_t i = 0; i < count; ++i)
      // Without modulation there is no angle (atan2 of zeros).
      if (row_b[i] > 0.0) psi[i] = wrapped_difference(-s[i], carrier_row[i]);
    if (!first)
      for (int32_t i = 0; i < count; ++i) modulation[i] = std::min(modulation[i], b[i]);
  }
  return largest;
}

}  // namespace fringe::methods
#endif  // HWY_ONCE
