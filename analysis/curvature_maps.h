// The axial power map of a surface given as a sphere cap plus Zernike terms
// over the evaluation disc (the surface the figures reconstruct).
//
// At a point at distance r from the disc's centre, with s the radial slope of
// the surface there (dz/dr), the axial radius is r sqrt(1 + s^2) / |s| and
// the axial power 337 / axial radius (D). At the centre itself the power is
// its limit averaged over the directions: 337 |Laplacian| / 2 (the mean of
// the principal curvatures there).
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

// The map of axial power over a 256 x 256 map of width `field` (mm): each
// cell the evaluation mask of radius setting `mask_radius` keeps gets the
// power at its centre, every other cell NaN.
HeightMatrix axial_power_map(const ReconstructedSurface& surface, double field, double mask_radius);
