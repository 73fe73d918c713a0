// The truth of a simulated surface's clinical figures: each map and index of
// surface_figures.h made again from the exact shape the synthesis drew
// (simulation/surface.h: the biconic or set sphere with its cones), not from
// a measurement, so that a study can say how far the measured ones are off
// and whether the measured category is the true one.
//
// The exact heights are taken at the centres of the cells the measurement
// has (the same evaluation mask, so the fits see the same area); the power
// maps and the indices by a dense evaluation of the shape along each
// meridian (analysis/meridian_powers.h), not by a fit of Zernike terms. The
// apex lies offset_x right of the map's centre and offset_y below it in the
// maps' frame (simulation/surface_rows.h takes the picture's y the other
// way).
#pragma once

#include <optional>
#include <string>

#include "analysis/corneal_aberrations.h"
#include "analysis/height_matrix.h"
#include "analysis/keratoconus_indices.h"
#include "analysis/surface_cells.h"
#include "simulation/sim_params.h"

struct TrueFigures {
  SurfaceCells cells;  // the measured cells with the exact heights
  std::optional<CornealAberrations> aberrations;
  std::string aberrations_note;
  std::optional<KeratoconusIndices> indices;
  std::string indices_note;
  // Maps as the measured ones (NaN elsewhere): with `maps` only.
  std::optional<HeightMatrix> axial_power, tangential_power, refractive_power;  // D
  std::optional<HeightMatrix> elevation_to_sphere, elevation_to_toric;            // microns
};

// The exact height (mm, z towards the camera) of the simulated surface at a
// map position (x, y) (mm from the map's centre, y up).
double true_height(const SimParams& params, double x, double y);

// The truth over the cells of `measured` (kNoHeight where no data; the same
// cells as surface_figures takes) for a map of width `field` (mm) and the
// mask radius setting `mask_radius` (mm); the pupil of the aberrations in mm.
// `maps` asks for the maps too.
TrueFigures true_figures(const SimParams& params, const HeightMatrix& measured, double field, double mask_radius,
                         double pupil_diameter = kDefaultPupilDiameter, bool maps = false);

// What true_figures keeps from one call to the next: the last truth and what
// it was made of. A study's runs measure one surface again and again (only
// the noise or a measuring setting varies) and mostly cover the same cells;
// a call on the same surface, offsets, cells and pupil returns the kept
// truth, the same bits as forming it anew. One per thread.
class TrueFiguresCache {
 public:
  const TrueFigures& of(const SimParams& params, const HeightMatrix& measured, double field, double mask_radius,
                        double pupil_diameter = kDefaultPupilDiameter);

 private:
  bool held_ = false;
  Surface surface_;
  double radius_ = 0.0, offset_x_ = 0.0, offset_y_ = 0.0, pupil_ = 0.0;
  TrueFigures truth_;
};

