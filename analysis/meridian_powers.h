// The axial, tangential and refractive power of any surface given by its
// heights, for the truth of a simulated surface (a dense evaluation of its
// exact shape, not a fit): the same definitions as curvature_maps.h and
// snell_power.h, along the meridian through the centre (cx, cy), with the
// slope and bend taken by central differences of step kMeridianStep. The
// cones of a simulated surface are far wider than the step, so the
// differences are exact to well below a thousandth of a dioptre.
#pragma once

#include "analysis/elevation_map.h"

constexpr double kMeridianStep = 1e-3;  // mm

struct MeridianPowers {
  double axial = 0.0;       // D
  double tangential = 0.0;  // D, positive where the meridian bends as the centre does
  double refractive = 0.0;  // D
};

// The powers at (x, y) (mm); at the centre (closer than 1e-9 mm) all three
// are 337 |Laplacian| / 2, the mean of the principal curvatures. The sense
// of the surface (convex towards +z or hollow) is that of its curvature at
// the centre. NaN where the surface has no height.
MeridianPowers meridian_powers(const HeightAt& height, double cx, double cy, double x, double y);
