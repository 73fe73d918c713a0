// Points in space from the absolute phase through a pinhole system, and their
// heights on the workbench's grid: what a pinhole channel measures in place
// of the engine's telecentric formula (method_heights.h).
#pragma once

#include <cstdint>
#include <vector>

#include "methods/phase_field.h"
#include "optics/pinhole_rig.h"
#include "optics/vec3.h"
#include "scan/scn_matrix.h"

// One point per camera pixel (row 0 first) in the sphere's frame, mm, and
// whether it was measured.
struct PixelPoints {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<Vec3> points;
  std::vector<uint8_t> valid;
  std::size_t at(int32_t x, int32_t y) const {
    return static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x);
  }
};

// The points of every pixel with data in `field` (the unwrapped phase of a
// period of `lambda` camera pixels, its carrier about column width div 2
// removed): the absolute phase (the carrier added back) is the projector
// column principal_x + phase * projector_period / (2 pi); the pixel's camera
// ray meets that column's surface of light (PinholeRig::meet_projector_column).
PixelPoints triangulate_field(const fringe::methods::PhaseField& field, double lambda, const PinholeRig& rig,
                              double projector_period);

// Where a camera ray through the grid's positions meets the measured surface:
// `full` becomes width x height heights z (mm, along the camera axis, 0 at the
// apex) at x = d (j - (W - 1) / 2) - offset_x, y = d (i - (H - 1) / 2) -
// offset_y, the positions the telecentric chain's pixels stand for, steps d.
// Each height is found by following z: the camera pixel of (x, y, z), the
// points there interpolated bilinearly, their z the next z, until it
// settles; no data (`no_data`) where a neighbouring point is missing.
void grid_heights(const PixelPoints& points, const PinholeRig& rig, double d, double offset_x, double offset_y,
                  float no_data, ScnMatrix& full);
