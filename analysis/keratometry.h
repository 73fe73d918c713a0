// Keratometry: the flat and steep radii of the central zone and the axis of
// the flat meridian, from a quadratic fit
//   z = a + b x + c y + d x^2 + e x y + f y^2
// over the cells within the zone. The principal curvatures are those of the
// fitted surface at its vertex (where its slope is zero): the eigenvalues of
// -(Hessian) = -[[2d, e], [e, 2f]], so a decentred or tilted surface gives
// the same figures as a centred one.
//
// The quadratic is the figure's definition, and it is not exact on a sphere:
// over a zone of radius a the fit takes up part of the sphere's fourth-order
// sag, and its curvature exceeds 1 / R by about the factor 1 + a^2 / (4 R^2)
// (1 % for a = 1.5 mm and R = 7.5 mm, so the radii come out about 1 % short).
#pragma once

#include <optional>
#include <string>
#include <vector>

// The zone of the figure: 3 mm across.
constexpr double kKeratometryZoneRadius = 1.5;

struct KeratometryResult {
  double flat_radius = 0.0;   // mm, the larger principal radius
  double steep_radius = 0.0;  // mm
  double flat_power = 0.0;    // D, 337 / flat radius
  double steep_power = 0.0;   // D
  // Direction of the flat meridian, degrees counter-clockwise from x,
  // 0 <= axis < 180; none when both curvatures are equal (no astigmatism).
  std::optional<double> axis_deg;
  int cells = 0;              // cells in the zone
  // The fitted coefficients a, b, c, d, e, f (mm, 1, 1, 1/mm, 1/mm, 1/mm).
  double coefficients[6] = {};
};

// Fits the points (x[i], y[i], z[i]) (mm) that lie within zone_radius of
// (centre_x, centre_y). Without a result `why_not` says why: fewer than six
// cells in the zone, cells on one line, a zone that is flat or not convex in
// some direction (a principal radius not positive or beyond kMaxFigureRadius).
std::optional<KeratometryResult> keratometry(const std::vector<double>& x, const std::vector<double>& y,
                                             const std::vector<double>& z, double centre_x,
                                             double centre_y, double zone_radius,
                                             std::string* why_not = nullptr);
