// The simulation record of one measurement channel.
#pragma once

#include <cstdint>

#include "optics/optical_system.h"
#include "simulation/frame_errors.h"
#include "simulation/surface.h"

// Plain value owned by the caller; the synthesis only reads it. The defaults
// are the workbench's start-up values.
struct SimParams {
  int32_t x_pixels = 1280;      // image width, pixels
  int32_t y_pixels = 1024;      // image height, pixels
  double pixel_size = 0.01;     // mm per pixel, both axes
  double fringe_period = 10.0;  // fringe period on the flat, camera pixels
  double alpha_deg = 30.0;      // triangulation angle, degrees
  double radius = 7.5;          // radius of curvature of the sphere, mm
  double offset_x = 0.0;        // apex right of the image centre, mm
  double offset_y = 0.0;        // apex above the image centre, mm
  double dynamic = 1.0;         // fringe contrast, 0..1 (clamped on use)
  double noise = 0.0;           // noise weight, 0..1 (clamped on use)
  Surface surface;              // the sphere of `radius` unless set otherwise
  // Added to the fringes' phase, radians: frame k of an N-step set has
  // 2 pi k / N (phase_step_shift). 0 leaves the picture as it always was.
  double phase_shift = 0.0;
  FrameErrors errors;           // none unless set
  // The camera and projector that take the picture: telecentric (the
  // geometry above, every picture as it always was) unless set. A pinhole
  // system traces each pixel's ray (ray_synthesis.h); its projector's period
  // is the one of `fringe_period`, and a frame set's other periods scale it.
  OpticalSystem system;
};
