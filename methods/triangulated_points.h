// Points in space from the absolute phase through a pinhole system, and their
// heights on the workbench's grid: what a pinhole channel measures in place
// of the engine's telecentric formula (method_heights.h).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "methods/fringe_method.h"
#include "methods/method_engine.h"
#include "scan.h"
#include "scan/grey_image.h"

#include "methods/phase_field.h"
#include "optics/pinhole_rig.h"
#include "optics/vec3.h"
#include "scan/scn_matrix.h"

// Why a pinhole system cannot be measured with the engine's quadrature.
inline constexpr const char* kPinholeNeedsPhase =
    "a pinhole system's points are triangulated from the phase of the phase-shift or fourier method; the "
    "engine's quadrature gives none (give Method=phase-shift or fourier)";

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

// What a pinhole channel's frames measure: the plan's method's phase
// (MethodEngine::phase), the points of its pixels through `rig` (their
// projector's period the system's, scaled by the period measured over
// `channel_period`, the channel's fringe period in camera pixels), their
// heights on the grid (grid_heights, at the apex offsets of the rig) and the
// profile of their block fits (MethodEngine::profile_of_heights). `points`,
// when given, receives the measured pixels' points. Throws as
// MethodEngine::profile.
void triangulated_profile(MethodEngine& methods, std::span<const GreyImage* const> frames, const MethodPlan& plan,
                          const ScnPar& par, const PinholeRig& rig, double offset_x, double offset_y,
                          double channel_period, ScnMatrix& profile, PixelPoints* points = nullptr);
