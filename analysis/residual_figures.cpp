#include "analysis/residual_figures.h"

#include <cmath>
#include <numbers>

#include "analysis/reference_sphere.h"

namespace {


}  // namespace

double order_height_step(double period_px, double pixel_mm, double angle_deg) {
  return period_px * pixel_mm / std::tan(angle_deg * std::numbers::pi / 180.0);
}

double mask_coverage(const HeightMatrix& measured, double Wf, double Rm) {
  const double c = Wf * 0.5;
  int cells = 0, with_data = 0;
  for (int x = 0; x < kMapSide; ++x) {
    for (int y = 0; y < kMapSide; ++y) {
      if (!in_evaluation_mask(Wf, c, c, Rm, x, y)) continue;
      ++cells;
      if (measured(x, y) != kNoHeight) ++with_data;
    }
  }
  return cells == 0 ? 0.0 : static_cast<double>(with_data) / cells;
}

int order_error_count(const HeightMatrix& residual, const HeightMatrix& measured, double Wf,
                      double Rm, double order_step) {
  const double c = Wf * 0.5;
  const double limit = std::fabs(order_step) * 0.5;
  int count = 0;
  for (int x = 0; x < kMapSide; ++x) {
    for (int y = 0; y < kMapSide; ++y) {
      if (!in_evaluation_mask(Wf, c, c, Rm, x, y) || measured(x, y) == kNoHeight) continue;
      if (std::fabs(residual(x, y)) > limit) ++count;
    }
  }
  return count;
}
