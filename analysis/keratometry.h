// Keratometry: the flat and steep radii of the central 3 mm zone and the axis
// of the flat meridian, read off the best-fit conic surface (conic_fit.h).
//
// A keratometer measures the axial (sagittal) radius of each principal
// meridian at the edge of its zone: the distance along the normal from the
// surface to the axis through the apex. On a meridian of apical radius R and
// conic constant Q that distance, r from the apex, is sqrt(R^2 - Q r^2), so a
// sphere reads its own radius and a prolate cornea (Q < 0) reads flatter than
// its apex. The powers are 337 / radius (D); the axis is the fitted flat axis.
#pragma once

#include <optional>
#include <string>

#include "analysis/conic_fit.h"
#include "analysis/surface_cells.h"

// The zone's radius: 3 mm across.
constexpr double kKeratometryZoneRadius = 1.5;

struct KeratometryResult {
  double flat_radius = 0.0;   // mm, the larger axial radius at the zone's edge
  double steep_radius = 0.0;  // mm
  double flat_power = 0.0;    // D, 337 / flat radius
  double steep_power = 0.0;   // D
  // Direction of the flat meridian, degrees counter-clockwise from x,
  // 0 <= axis < 180; none for a sphere-like surface (conic_fit.h).
  std::optional<double> axis_deg;
};

// Axial radius (mm) at distance r (mm) from the apex on a meridian of apical
// radius `radius` (mm) and conic constant q; NaN where r^2 q reaches R^2 (the
// meridian turns back before r). Keeps the radius's sign.
double axial_radius_of_meridian(double radius, double q, double r);

// The figures of `conic` at zone_radius from its apex. Without a result
// `why_not` (when given) says why: a hollow surface (a keratometer reads a
// cap bulging towards it), a zone that leaves the evaluation disc `disc`, or
// a meridian without an axial radius at the zone's edge.
std::optional<KeratometryResult> keratometry(const ConicFitResult& conic, const EvaluationDisc& disc,
                                             double zone_radius = kKeratometryZoneRadius,
                                             std::string* why_not = nullptr);
