// The synthesis pixel by pixel: the C library's sqrt and cos for every level,
// one draw after another. The definition make_fringe_picture
// (fringe_synthesis.h) keeps to the byte on every vector target.
#pragma once

#include <cstdint>

#include "scan/grey_image.h"
#include "simulation/sim_params.h"

// make_fringe_picture's picture and generator state, worked out plainly.
GreyImageOwner plain_fringe_picture(const SimParams& params, int32_t max_noise, int32_t additive_range,
                                    uint64_t& generator);
