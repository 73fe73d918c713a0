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
// its values are the plain ones bit for bit; the last columns plainly. With
// kDeviation also the sums of the levels and of their squares (whole
// numbers, exact in any order) and the deviation from them.
template <bool kDeviation>
HWY_INLINE void StepSums(const uint8_t* const* rows, int32_t n, bool wide, const double* sines, const double* cosines,
                         int32_t x0, int32_t count, double* s, double* c, double* b, double* e, double& largest) {
  const hn::ScalableTag<double> d;
  const hn::Rebind<int32_t, decltype(d)> di;
  const hn::Rebind<uint16_t, decltype(d)> du16;
  const hn::Rebind<uint8_t, decltype(d)> du8;
  const auto lanes = static_cast<int32_t>(hn::Lanes(d));
  const auto scale = hn::Set(d, 2.0 / n);
  const auto count_n = hn::Set(d, static_cast<double>(n));
  auto top = hn::Zero(d);
  int32_t i = 0;
  for (; i + lanes <= count; i += lanes) {
    const int32_t x = x0 + i;
    auto sum_s = hn::Zero(d);
    auto sum_c = hn::Zero(d);
    auto sum_i = hn::Zero(d);
    auto sum_q = hn::Zero(d);
    for (int32_t k = 0; k < n; ++k) {
      const auto levels =
          wide ? hn::PromoteTo(d, hn::PromoteTo(di, hn::LoadU(du16, reinterpret_cast<const uint16_t*>(rows[k]) + x)))
               : hn::PromoteTo(d, hn::PromoteTo(di, hn::LoadU(du8, rows[k] + x)));
      top = hn::Max(top, levels);
      sum_s = hn::Add(sum_s, hn::Mul(levels, hn::Set(d, sines[k])));
      sum_c = hn::Add(sum_c, hn::Mul(levels, hn::Set(d, cosines[k])));
      if constexpr (kDeviation) {
        sum_i = hn::Add(sum_i, levels);
        sum_q = hn::Add(sum_q, hn::Mul(levels, levels));
      }
    }
    hn::StoreU(sum_s, d, s + i);
    hn::StoreU(sum_c, d, c + i);
    const auto power = hn::Add(hn::Mul(sum_s, sum_s), hn::Mul(sum_c, sum_c));
    hn::StoreU(hn::Mul(scale, hn::Sqrt(power)), d, b + i);
    if constexpr (kDeviation) {
      const auto fitted = hn::Add(hn::Div(hn::Mul(sum_i, sum_i), count_n), hn::Mul(scale, power));
      hn::StoreU(hn::Div(hn::Max(hn::Zero(d), hn::Sub(sum_q, fitted)), count_n), d, e + i);
    }
  }
  double lane_values[HWY_MAX_BYTES / sizeof(double)];
  hn::StoreU(top, d, lane_values);
  for (int32_t k = 0; k < lanes; ++k) largest = std::max(largest, lane_values[k]);
  if constexpr (kDeviation)
    fringe::methods::phase_step_deviation_plain(rows, n, wide, sines, cosines, x0, count, s, c, b, e, largest, i);
  else
    fringe::methods::phase_step_sums_plain(rows, n, wide, sines, cosines, x0, count, s, c, b, largest, i);
}

void PhaseStepSums(const uint8_t* const* rows, int32_t n, bool wide, const double* sines, const double* cosines,
                   int32_t x0, int32_t count, double* s, double* c, double* b, double& largest) {
  StepSums<false>(rows, n, wide, sines, cosines, x0, count, s, c, b, nullptr, largest);
}

void PhaseStepDeviation(const uint8_t* const* rows, int32_t n, bool wide, const double* sines, const double* cosines,
                        int32_t x0, int32_t count, double* s, double* c, double* b, double* e, double& largest) {
  StepSums<true>(rows, n, wide, sines, cosines, x0, count, s, c, b, e, largest);
}

}  // namespace fringe::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace fringe {
HWY_EXPORT(PhaseStepSums);
HWY_EXPORT(PhaseStepDeviation);
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

void phase_step_deviation_plain(const uint8_t* const* rows, int32_t n, bool wide, const double* sines,
                                const double* cosines, int32_t x0, int32_t count, double* s, double* c, double* b,
                                double* e, double& largest, int32_t from) {
  const double scale = 2.0 / n;
  const double count_n = n;
  for (int32_t i = from; i < count; ++i) {
    double sum_s = 0.0;
    double sum_c = 0.0;
    double sum_i = 0.0;
    double sum_q = 0.0;
    for (int32_t k = 0; k < n; ++k) {
      const double level = sample_at(rows[k], wide, x0 + i);
      largest = std::max(largest, level);
      sum_s = sum_s + level * sines[k];
      sum_c = sum_c + level * cosines[k];
      sum_i = sum_i + level;
      sum_q = sum_q + level * level;
    }
    s[i] = sum_s;
    c[i] = sum_c;
    const double power = sum_s * sum_s + sum_c * sum_c;
    b[i] = scale * std::sqrt(power);
    const double fitted = sum_i * sum_i / count_n + scale * power;
    e[i] = std::max(0.0, sum_q - fitted) / count_n;
  }
}

void phase_step_deviation(const uint8_t* const* rows, int32_t n, bool wide, const double* sines,
                          const double* cosines, int32_t x0, int32_t count, double* s, double* c, double* b,
                          double* e, double& largest) {
  HWY_DYNAMIC_DISPATCH(fringe::PhaseStepDeviation)(rows, n, wide, sines, cosines, x0, count, s, c, b, e, largest);
}

double phase_step_period(std::span<const GreyImage* const> frames, double lambda, bool first, PhaseField& field,
                         std::vector<double>& work, QualityCells* cells, bool last) {
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
  work.resize(5 * width);
  double* const s = work.data();
  double* const c = s + width;
  double* const b = c + width;
  double* const carrier = b + width;
  double* const e = carrier + width;
  wrapped_carrier(field.width, lambda, carrier);
  std::vector<const uint8_t*> rows(frames.size());
  const auto sums = HWY_DYNAMIC_DISPATCH(fringe::PhaseStepSums);
  const auto sums_deviation = HWY_DYNAMIC_DISPATCH(fringe::PhaseStepDeviation);
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
    const bool deviation = cells != nullptr && cells->is_deviation_row(y);
    // One period's deviation stays in the work row; of several, the field
    // keeps the largest from one period to the next.
    double* const row_e = first && last ? e
                                        : field.deviation.data() + static_cast<std::size_t>(y / 4) * width + run.first;
    if (deviation) {
      sums_deviation(rows.data(), n, wide, sines.data(), cosines.data(), run.first, count, s, c, row_b,
                     first ? row_e : e, largest);
      if (!first)
        for (int32_t i = 0; i < count; ++i) row_e[i] = std::max(row_e[i], e[i]);
    } else {
      sums(rows.data(), n, wide, sines.data(), cosines.data(), run.first, count, s, c, row_b, largest);
    }
    const double* const carrier_row = carrier + run.first;
    // The angle of (C, S) in place of S: the angle is odd in its first
    // argument bit for bit, so its negation is the angle of (C, -S).
    portable_atan2_row(s, c, count, s);
    for (int32_t i = 0; i < count; ++i)
      // Without modulation there is no angle (atan2 of zeros).
      if (row_b[i] > 0.0) psi[i] = wrapped_difference(-s[i], carrier_row[i]);
    if (!first)
      for (int32_t i = 0; i < count; ++i) modulation[i] = std::min(modulation[i], b[i]);
    // The row's final values, while they are at hand.
    if (deviation && last)
      cells->add_row(y, field.modulation.data() + field.at(0, y), row_e - run.first, rows[0],
                     img_line(frames[0], QualityCells::pair_row(y)), wide);
  }
  return largest;
}

}  // namespace fringe::methods
#endif  // HWY_ONCE
