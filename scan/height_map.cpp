#include <algorithm>
#include <cstring>

#include "profile_calculation.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
// One unit of the unwrapped phase is 1/256 of a fringe period.
constexpr double kPeriodsPerUnit = 0.00390625;

bool is_phase_plane(const GreyImage* plane) {
  return plane != nullptr && plane->type == 2 && plane->pixels != nullptr;
}

// 16-bit pixels are stored in machine order; memcpy keeps the access legal
// for a byte buffer and compiles to a plain load.
inline uint16_t phase_at(const uint8_t* row, int32_t x) {
  uint16_t value;
  std::memcpy(&value, row + 2 * static_cast<std::ptrdiff_t>(x), sizeof value);
  return value;
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
  k_ = with_reference_ ? par.CamResX * par.LambdaF / std::tan(par.Alpha * kPi / 180.0)
                       : par.CamResX / std::tan(par.Alpha * kPi / 180.0);
}

void HeightRow::operator()(int32_t y, float* out, int32_t cols) const {
  const uint8_t* in = img_line(phase_, y);
  if (!with_reference_) {
    for (int32_t x = 0; x < cols; ++x) {
      const uint16_t u = phase_at(in, x);
      if (u == 0) {
        out[x] = noData_;
        continue;
      }
      // Phase in periods from the start pixel's order, times the period, is a
      // position in pixels; minus (x - centre) leaves the fringe's shift.
      const double height = k_ * (lambda_ * (u * kPeriodsPerUnit - 128.0) - x + centre_);
      out[x] = stored_height(height, noData_);
    }
    return;
  }
  if (!usable_) {
    std::fill(out, out + cols, noData_);
    return;
  }
  const uint8_t* ref = img_line(reference_, y);
  for (int32_t x = 0; x < cols; ++x) {
    const uint16_t u = phase_at(in, x);
    const uint16_t r = phase_at(ref, x);
    if (u == 0 || r == 0) {
      out[x] = noData_;
      continue;
    }
    const int32_t difference = static_cast<int32_t>(u) - static_cast<int32_t>(r);
    out[x] = stored_height(difference * kPeriodsPerUnit * k_, noData_);
  }
}

void height_map(ScnMatrix& full, const GreyImage* phase, const ScnPar& par) {
  if (full.values == nullptr || !is_phase_plane(phase)) return;
  const HeightRow heights(par, phase, nullptr);
  const int32_t rows = std::min(full.rows, phase->height);
  const int32_t cols = std::min(full.cols, phase->width);
  for (int32_t y = 0; y < rows; ++y) heights(y, full.values[y], cols);
}

void height_map_reference(ScnMatrix& full, const GreyImage* phase,
                          const GreyImage* reference, const ScnPar& par) {
  if (full.values == nullptr || !is_phase_plane(phase)) return;
  // A missing reference plane, or one of another kind or size, gives no data.
  static const GreyImage kNoReference{};
  const HeightRow heights(par, phase, reference != nullptr ? reference : &kNoReference);
  const int32_t rows = std::min(full.rows, phase->height);
  const int32_t cols = std::min(full.cols, phase->width);
  for (int32_t y = 0; y < rows; ++y) heights(y, full.values[y], cols);
}
