#include "analysis/pointer_readout.h"

#include <cmath>

#include "analysis/height_matrix.h"

namespace {

constexpr int kLabelMargin = 10;  // pixels from a map edge where the label stays put

// round(cell + offset) held as a double, so that a huge or unknown bound is
// refused before it is ever turned into an int.
bool bound_on_map(double bound) { return bound >= 0.0 && bound <= kMapSide - 1; }

}  // namespace

int pointer_cell(int pixel, int extent) {
  if (extent <= 0) return kOffMap;
  const double cell = std::nearbyint(static_cast<double>(pixel) / extent * kMapSide);
  if (!bound_on_map(cell)) return kOffMap;
  return static_cast<int>(cell);
}

std::optional<CellArea> area_around(int xi, int yi, double side_x, double side_y, double field_x,
                                    double field_y) {
  const double hx = side_x / field_x * kMapSide * 0.5;
  const double hy = side_y / field_y * kMapSide * 0.5;
  // Each bound is first formed as a double, then rounded, halves to even.
  const double x0 = std::nearbyint(xi - hx);
  const double x1 = std::nearbyint(xi + hx);
  const double y0 = std::nearbyint(yi - hy);
  const double y1 = std::nearbyint(yi + hy);
  // A negative side swaps the bounds; both must still lie on the map.
  if (!bound_on_map(x0) || !bound_on_map(x1) || !bound_on_map(y0) || !bound_on_map(y1))
    return std::nullopt;
  return CellArea{static_cast<int>(x0), static_cast<int>(x1), static_cast<int>(y0),
                  static_cast<int>(y1)};
}

int label_position(int pixel, int extent, int origin, int ahead, int back, int current) {
  const int half = extent / 2;
  if (kLabelMargin < pixel && pixel < half) return pixel + origin + ahead;
  if (half < pixel && pixel < extent - kLabelMargin) return pixel + origin - back;
  return current;
}
