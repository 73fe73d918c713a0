// Heights by triangulation, a row of the unwrapped phase plane at a time.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "scan/height_map.cpp"
#include <hwy/foreach_target.h>  // before highway.h
#include <hwy/highway.h>

#include <algorithm>
#include <cstring>
#include <numbers>

#include "profile_calculation.h"

#ifndef FRINGE_HEIGHT_MAP_ONCE
#define FRINGE_HEIGHT_MAP_ONCE
namespace fringe {

// One unit of the unwrapped phase is 1/256 of a fringe period.
constexpr double kPeriodsPerUnit = 0.00390625;

// 16-bit pixels are stored in machine order; memcpy keeps the access legal
// for a byte buffer and compiles to a plain load.
inline uint16_t phase_at(const uint8_t* row, int32_t x) {
  uint16_t value;
  std::memcpy(&value, row + 2 * static_cast<std::ptrdiff_t>(x), sizeof value);
  return value;
}

// Heights of columns x .. cols - 1 of a row (`ref` null: absolute heights).
// A pixel without phase, or a height that is no float (not finite or beyond
// the float range), is the no-data height.
inline void heights_plain(const uint8_t* in, const uint8_t* ref, float* out, int32_t cols, double k, double lambda,
                          int32_t centre, float noData, int32_t x = 0) {
  for (; x < cols; ++x) {
    const uint16_t u = phase_at(in, x);
    if (ref != nullptr) {
      const uint16_t r = phase_at(ref, x);
      if (u == 0 || r == 0) {
        out[x] = noData;
        continue;
      }
      const int32_t difference = static_cast<int32_t>(u) - static_cast<int32_t>(r);
      out[x] = stored_height(difference * kPeriodsPerUnit * k, noData);
    } else {
      if (u == 0) {
        out[x] = noData;
        continue;
      }
      // Phase in periods from the start pixel's order, times the period, is a
      // position in pixels; minus (x - centre) leaves the fringe's shift.
      out[x] = stored_height(k * (lambda * (u * kPeriodsPerUnit - 128.0) - x + centre), noData);
    }
  }
}

}  // namespace fringe
#endif

HWY_BEFORE_NAMESPACE();
namespace fringe::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// heights_plain a vector of doubles at a time, each lane with exactly its
// operations, then the last columns plainly.
void Heights(const uint8_t* in, const uint8_t* ref, float* out, int32_t cols, double k, double lambda,
             int32_t centre, float noData) {
  const hn::ScalableTag<double> d;
  const hn::Rebind<int32_t, decltype(d)> di;
  const hn::Rebind<uint16_t, decltype(d)> du16;
  const hn::Rebind<float, decltype(d)> df;
  const auto lanes = static_cast<int32_t>(hn::Lanes(d));
  const auto phase = [&](const uint8_t* row, int32_t x) {
    return hn::PromoteTo(di, hn::LoadU(du16, reinterpret_cast<const uint16_t*>(row) + x));
  };
  const auto zero = hn::Zero(d);
  const auto no_data = hn::Set(d, static_cast<double>(noData));  // exact, and back to the same float
  const auto no_data_floats = hn::DemoteTo(df, no_data);
  const auto step = hn::Set(d, static_cast<double>(lanes));
  auto column = hn::Iota(d, 0.0);  // x in every lane, exact: x stays far below 2^53
  int32_t x = 0;
  for (; x + lanes <= cols; x += lanes, column = hn::Add(column, step)) {
    const auto u = phase(in, x);
    const auto u_double = hn::PromoteTo(d, u);
    auto none = hn::Eq(u_double, zero);
    const auto r = ref != nullptr ? phase(ref, x) : hn::Zero(di);
    if (ref != nullptr) none = hn::Or(none, hn::Eq(hn::PromoteTo(d, r), zero));
    // Outside the mask whole stretches of a row have no phase.
    if (hn::AllTrue(d, none)) {
      hn::StoreU(no_data_floats, df, out + x);
      continue;
    }
    hn::Vec<decltype(d)> height;
    if (ref != nullptr) {
      height = hn::Mul(hn::Mul(hn::PromoteTo(d, hn::Sub(u, r)), hn::Set(d, kPeriodsPerUnit)), hn::Set(d, k));
    } else {
      const auto periods = hn::Sub(hn::Mul(u_double, hn::Set(d, kPeriodsPerUnit)), hn::Set(d, 128.0));
      const auto shift =
          hn::Add(hn::Sub(hn::Mul(hn::Set(d, lambda), periods), column), hn::Set(d, static_cast<double>(centre)));
      height = hn::Mul(hn::Set(d, k), shift);
    }
    // Not-a-number compares false: no data, as stored_height gives it.
    const auto fits = hn::Le(hn::Abs(height), hn::Set(d, static_cast<double>(FLT_MAX)));
    hn::StoreU(hn::DemoteTo(df, hn::IfThenElse(hn::AndNot(none, fits), height, no_data)), df, out + x);
  }
  heights_plain(in, ref, out, cols, k, lambda, centre, noData, x);
}

}  // namespace fringe::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace fringe {
HWY_EXPORT(Heights);
}  // namespace fringe

namespace {


bool is_phase_plane(const GreyImage* plane) {
  return plane != nullptr && plane->type == 2 && plane->pixels != nullptr;
}

}  // namespace

HeightRow::HeightRow(const ScnPar& par, const GreyImage* phase, const GreyImage* reference)
    : phase_(phase),
      reference_(reference),
      with_reference_(reference != nullptr),
      usable_(is_phase_plane(reference) && reference->width == phase->width &&
              reference->height == phase->height),
      noData_(static_cast<float>(effective_depth_limit(par.DepthLimit))),
      lambda_(par.LambdaF),
      centre_(phase->width / 2) {
  // Alpha 0 makes k infinite; such heights are not finite and become no data.
  k_ = with_reference_ ? par.CamResX * par.LambdaF / std::tan(par.Alpha * std::numbers::pi / 180.0)
                       : par.CamResX / std::tan(par.Alpha * std::numbers::pi / 180.0);
}

void HeightRow::operator()(int32_t y, float* out, int32_t cols) const {
  const uint8_t* in = img_line(phase_, y);
  if (with_reference_ && !usable_) {
    std::fill(out, out + cols, noData_);
    return;
  }
  const uint8_t* ref = with_reference_ ? img_line(reference_, y) : nullptr;
  HWY_DYNAMIC_DISPATCH(fringe::Heights)(in, ref, out, cols, k_, lambda_, centre_, noData_);
}

void height_map(ScnMatrix& full, const GreyImage* phase, const ScnPar& par) {
  if (full.values == nullptr || !is_phase_plane(phase)) return;
  const HeightRow heights(par, phase, nullptr);
  const int32_t rows = std::min(full.rows, phase->height);
  const int32_t cols = std::min(full.cols, phase->width);
  for (int32_t y = 0; y < rows; ++y) heights(y, full.values[y], cols);
}

#endif  // HWY_ONCE
