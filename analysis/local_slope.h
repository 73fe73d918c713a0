// Slopes of measured heights from local fits: at any point, a cubic
// polynomial in (x - x0, y - y0) fitted in the least-squares sense to the
// cells with data within a small window, whose linear terms are the slope.
// Unlike the Zernike reconstruction of the whole disc (curvature_maps.h),
// it follows a cone a millimetre wide, and it reaches to the edge of the
// evaluation disc as long as the map has data there; the cubic terms keep a
// steep flank from biasing the slope, as a plane or quadric fit would.
#pragma once

#include <optional>

#include "analysis/height_matrix.h"

constexpr double kLocalSlopeWindow = 0.3;  // mm, radius of the window

struct Slope {
  double x = 0.0;  // dz/dx
  double y = 0.0;  // dz/dy
};

class LocalSlopes {
 public:
  // `measured`: heights in mm (kNoHeight or NaN: no data) of a map of width
  // `field` mm, positions as surface_cells.h places them.
  LocalSlopes(const HeightMatrix& measured, double field, double window = kLocalSlopeWindow);
  // It reads the map it was given at every call: not a temporary one.
  LocalSlopes(HeightMatrix&&, double, double = kLocalSlopeWindow) = delete;

  // The slope at (x, y) (mm); none where the window holds fewer than 30
  // cells with data or they do not determine the fit.
  std::optional<Slope> at(double x, double y) const;

 private:
  const HeightMatrix& measured_;
  double step_;
  double window_;
};

// Axial power (D, the definition of curvature_maps.h) about the centre
// (cx, cy) from the local slope; NaN where there is none or at the centre.
double local_axial_power(const LocalSlopes& slopes, double cx, double cy, double x, double y);
