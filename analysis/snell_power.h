// Refractive power of a corneal surface by Snell's law, as a topographer's
// refractive map shows it.
//
// A ray parallel to the axis meets the surface r from the axis, where the
// meridian falls away from the axis with slope t (tan of the angle theta
// between the normal and the axis) and lies `sag` behind the apex plane. It
// is refracted into the cornea (index n) to the angle theta' with
// sin theta = n sin theta', so it turns towards the axis by
// delta = theta - theta' and crosses it r / tan delta further on: the focal
// distance from the apex plane is
//   L = sag + r / tan delta   (mm).
// Paraxially, on a sphere of radius R, L = n R / (n - 1). The power is shown
// on the keratometric scale of the axial and tangential maps (337 / radius):
// the radius of the sphere whose paraxial focus lies at L,
// R_eq = (n - 1) L / n, gives
//   P = 337 / R_eq = 337 n / ((n - 1) L)   (D),
// which equals the axial power at the centre and grows towards the edge of a
// sphere by its spherical aberration: on a cornea of R = 7.8 mm, Q = -0.2,
// 3.5 mm out (the 7 mm zone), about 44.7 D against 42.4 D axial and 40.7 D
// tangential.
#pragma once

#include <cmath>

#include "analysis/refractive_power.h"

// The cornea's refractive index.
constexpr double kCorneaIndex = 1.376;

// P (D) for a point r > 0 (mm) from the axis, the meridian's slope away
// from the axis t = -dz/dr (positive where a convex surface falls away) and
// its sag behind the apex plane (mm). A slope against the usual sense (the
// surface rising outwards) turns the ray away from the axis: the power is
// then negative; a flat meridian gives 0. Rays beyond grazing (no refracted
// angle) cannot happen for n > 1.
inline double snell_power(double r, double slope, double sag, double n = kCorneaIndex) {
  const double sin_theta = slope / std::sqrt(1.0 + slope * slope);
  const double delta = std::asin(sin_theta) - std::asin(sin_theta / n);
  const double tan_delta = std::tan(delta);
  // 337 n / ((n - 1) (sag + r / tan delta)), without the division by zero
  // of a flat meridian.
  return kDioptersTimesRadius * n * tan_delta / ((n - 1.0) * (sag * tan_delta + r));
}
