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

void height_map(ScnMatrix& full, const GreyImage* phase, const ScnPar& par) {
  if (full.values == nullptr || !is_phase_plane(phase)) return;
  const float noData = static_cast<float>(effective_depth_limit(par.DepthLimit));
  // Alpha 0 makes k infinite; such heights are not finite and become no data.
  const double t = std::tan(par.Alpha * kPi / 180.0);
  const double k = par.CamResX / t;
  const double lambda = par.LambdaF;
  const int32_t centre = phase->width / 2;
  const int32_t rows = std::min(full.rows, phase->height);
  const int32_t cols = std::min(full.cols, phase->width);
  for (int32_t y = 0; y < rows; ++y) {
    const uint8_t* in = img_line(phase, y);
    float* out = full.values[y];
    for (int32_t x = 0; x < cols; ++x) {
      const uint16_t u = phase_at(in, x);
      if (u == 0) {
        out[x] = noData;
        continue;
      }
      // Phase in periods from the start pixel's order, times the period, is a
      // position in pixels; minus (x - centre) leaves the fringe's shift.
      const double height = k * (lambda * (u * kPeriodsPerUnit - 128.0) - x + centre);
      out[x] = stored_height(height, noData);
    }
  }
}

void height_map_reference(ScnMatrix& full, const GreyImage* phase,
                          const GreyImage* reference, const ScnPar& par) {
  if (full.values == nullptr || !is_phase_plane(phase)) return;
  const float noData = static_cast<float>(effective_depth_limit(par.DepthLimit));
  const int32_t rows = std::min(full.rows, phase->height);
  const int32_t cols = std::min(full.cols, phase->width);
  const bool usable = is_phase_plane(reference) && reference->width == phase->width &&
                      reference->height == phase->height;
  if (!usable) {
    for (int32_t y = 0; y < rows; ++y) std::fill(full.values[y], full.values[y] + cols, noData);
    return;
  }
  const double k = par.CamResX * par.LambdaF / std::tan(par.Alpha * kPi / 180.0);
  for (int32_t y = 0; y < rows; ++y) {
    const uint8_t* in = img_line(phase, y);
    const uint8_t* ref = img_line(reference, y);
    float* out = full.values[y];
    for (int32_t x = 0; x < cols; ++x) {
      const uint16_t u = phase_at(in, x);
      const uint16_t r = phase_at(ref, x);
      if (u == 0 || r == 0) {
        out[x] = noData;
        continue;
      }
      const int32_t difference = static_cast<int32_t>(u) - static_cast<int32_t>(r);
      out[x] = stored_height(difference * kPeriodsPerUnit * k, noData);
    }
  }
}
