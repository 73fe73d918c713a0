// Fringe pictures through a pinhole system (optics/optical_system.h): for
// each camera pixel its ray through the distorted lens, the ray's first point
// on the surface, that point through the projector's lens onto the
// projector's image, and the pattern's phase at that column. A pixel whose
// ray misses the surface, or whose point the projector does not light, is
// dark (noise-free level 0) and so falls outside every method's mask.
//
// The grey levels then follow the pictures with error sources
// (error_synthesis.h) to the byte: the level (contrast c' + 1) 127 - shift
// of the (gamma-bent) cosine, the blur, the ambient level, the noise with the
// same draws in the same order, 8-bit bytes or deeper samples.
#pragma once

#include <cstdint>
#include <vector>

#include "scan/grey_image.h"
#include "simulation/fringe_frames.h"
#include "simulation/sim_params.h"

// Where every camera pixel's point of the surface lands on the projector:
// its column relative to the projector's principal point (pixels), NaN for a
// dark pixel. Worked out once for all frames of a set.
struct ProjectorColumns {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<double> column;  // row 0 first
};

// The columns of params' picture (params.system pinhole). Empty (width 0)
// for a side outside 1..4096. Throws std::bad_alloc.
ProjectorColumns projector_columns(const SimParams& params);

// The picture of params (its fringe_period, phase_shift, errors, contrast and
// noise) from the columns, the projector's period `projector_period` pixels.
// Null when the image cannot be made; the generator then stays. Without
// error sources the levels and bytes are worked out in vectors where an
// estimate cannot change a byte (row_writer.h); with them, plainly.
GreyImageOwner plain_ray_picture(const SimParams& params, const ProjectorColumns& columns, double projector_period,
                                 int32_t max_noise, int32_t additive_range, uint64_t& generator);
GreyImageOwner ray_fringe_picture(const SimParams& params, const ProjectorColumns& columns, double projector_period,
                                  int32_t max_noise, int32_t additive_range, uint64_t& generator);

// The same, the columns worked out for this one picture at the system's
// period: make_fringe_picture's picture through a pinhole system, or (plain)
// plain_fringe_picture's, every level and byte pixel by pixel.
GreyImageOwner ray_fringe_picture(const SimParams& params, int32_t max_noise, int32_t additive_range,
                                  uint64_t& generator, bool plain = false);

// The projector period of a frame of `period` camera pixels: the system's
// period scaled by period / params.fringe_period.
double projector_period_of(const SimParams& params, double period);

// make_fringe_frames's set through params.system: the same frames, order and
// draws, the columns worked out once.
std::vector<GreyImageOwner> ray_fringe_frames(const SimParams& params, const FrameSet& set, int32_t max_noise,
                                              int32_t additive_range, uint64_t& generator);
