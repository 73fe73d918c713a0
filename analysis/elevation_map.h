// Elevation maps: the measured heights less a reference surface, in
// microns, as a topographer shows them to see a cone stand out of the
// cornea. The references are the best-fit sphere (sphere_fit.h) and the
// best-fit toric ellipsoid: two principal radii, their axis and one
// asphericity Q, which is the best-fit conic of conic_fit.h (the same model
// the simulation draws as a biconic), fitted in the least-squares sense
// along z.
//
// Positive where the surface stands in front of the reference (towards the
// camera, +z of the maps), so a cone shows as an island of positive
// elevation.
#pragma once

#include <functional>

#include "analysis/height_matrix.h"
#include "analysis/surface_cells.h"

// A surface's height (mm) at a cell centre (x, y) (mm, the cell frame of
// surface_cells.h); NaN where it has none.
using HeightAt = std::function<double(double x, double y)>;

// measured - reference (microns) at every cell of `cells`, on a 256 x 256
// map; NaN elsewhere (outside the evaluation mask, cells without data, and
// where the reference has no height), which the panels draw white.
HeightMatrix elevation_map(const SurfaceCells& cells, const HeightAt& reference);
