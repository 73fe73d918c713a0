// The curvature maps of a surface given as a sphere cap plus Zernike terms
// over the evaluation disc (the surface the figures reconstruct), in
// dioptres: 337 / radius, as a topographer shows them.
//
// Both look along the meridian through the disc's centre. At a point at
// distance r from the centre, with s = dz/dr the radial slope and
// k = d^2z/dr^2 the radial second derivative there:
//  * axial (sagittal) radius: r sqrt(1 + s^2) / |s|, the distance along the
//    normal to the axis through the centre;
//  * tangential (instantaneous) radius: (1 + s^2)^(3/2) / |k|, the radius
//    of curvature of the meridian itself.
// On a sphere centred on the disc both are its radius everywhere. At the
// centre both take their limit averaged over the directions: 337 times the
// mean of the principal curvatures, 337 |Laplacian| / 2.
//
// Beside them the refractive power (snell_power.h): the same meridian's
// slope refracts a ray parallel to the axis into the cornea (n = 1.376),
// shown on the same scale; at the centre it takes the axial limit.
#pragma once

#include <vector>

#include "analysis/height_matrix.h"
#include "analysis/sphere_fit.h"
#include "analysis/surface_cells.h"
#include "analysis/zernike.h"

struct ReconstructedSurface {
  SphereCap cap;
  const ZernikeBasis& basis;
  std::vector<double> coefficients;  // mm, one per term of the basis
  EvaluationDisc disc;               // the Zernike terms' unit disc, mm
};

// Axial power (D) at (x, y) (mm, the cell frame of surface_cells.h); NaN
// where the cap has no height or the slope is 0 away from the centre.
double axial_power(const ReconstructedSurface& surface, double x, double y);

// Tangential power (D) at (x, y): 337 / tangential radius, positive where the
// meridian bends as the cap does (towards the same side as the best-fit
// sphere) and negative where it bends the other way; NaN where the cap has
// no height.
double tangential_power(const ReconstructedSurface& surface, double x, double y);

// Refractive power (D) at (x, y) (snell_power.h), the sag taken from the
// surface's height at the disc's centre; NaN where the cap has no height.
double refractive_power(const ReconstructedSurface& surface, double x, double y);

// The surface's height (mm) at (x, y): the cap plus the terms; NaN where the
// cap has none.
double reconstructed_height(const ReconstructedSurface& surface, double x, double y);

struct CurvatureMaps {
  HeightMatrix axial;       // D
  HeightMatrix tangential;  // D
  HeightMatrix refractive;  // D
};

// The three maps over a 256 x 256 map of width `field` (mm): each cell the
// evaluation mask of radius setting `mask_radius` keeps gets the powers at
// its centre, every other cell NaN. One pass: the slope serves all three.
CurvatureMaps curvature_maps(const ReconstructedSurface& surface, double field, double mask_radius);
