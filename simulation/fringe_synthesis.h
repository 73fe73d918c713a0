// The camera image of a sinusoidal fringe pattern projected onto a sphere.
#pragma once

#include <cstdint>
#include <vector>

#include "scan/grey_image.h"
#include "simulation/sim_params.h"

// Status when the image cannot be created (a side outside 1..4096 or no
// memory); no file is written then. Every other status is img_save_bmp's code
// (0 written, -1 cannot open, -2 short write).
constexpr int kSynthesisNoImage = 1;

// Renders params.x_pixels x params.y_pixels grey levels of the sphere seen
// through the fringes, lowers the contrast to params.dynamic, adds noise of
// weight params.noise and writes an 8-bit grey bitmap to `path`. A surface
// other than the sphere (params.surface) is rendered by SurfaceRows
// (surface_rows.h) with the same noise.
//
// Row 0 is the bottom row of the picture (the first row of the file); x grows
// to the right and y upwards, both in mm from the sphere's apex, which sits
// offset_x right of and offset_y above the image centre.
//
// max_noise: amplitude of the proportional noise in grey levels (0 or less:
// none). additive_range: exclusive bound of the additive noise in grey levels
// (0: none; a negative bound acts as its magnitude, see random_below).
// Draws of the process-wide random generator, per pixel from row 0 and left
// to right: sign, additive amount, shaped value when the noise weight is not
// 0; the shaped value alone when it is 0 (the image then does not depend on
// the seed, yet the generator advances). Grey levels are 0..254.
//
// params.phase_shift is added to every pixel's fringe phase. With error
// sources (params.errors not none) the picture is made as error_synthesis.h
// defines it, with the same draws; deeper than 8 bits it holds 16-bit
// samples (GreyImage type 2, written as a 16-bit bitmap).
int synthesize_fringe_image(const SimParams& params, const char* path, int32_t max_noise,
                            int32_t additive_range);

// The same picture in memory, drawing from `generator` (a state of the
// generator of random_generator.h, advanced by exactly the draws the
// process-wide one would take): what a caller that owns its generator uses,
// so that threads synthesise side by side. Null when the image cannot be
// created (a side outside 1..4096, no memory).
GreyImageOwner make_fringe_picture(const SimParams& params, int32_t max_noise, int32_t additive_range,
                                   uint64_t& generator);

// make_fringe_picture's pictures of `params` with each of `shifts` as its
// phase_shift, in that order, drawing from `generator` picture after picture
// as make_fringe_picture would. Pictures without error sources are made side
// by side, the geometry of each row (the sphere's roots and divisions,
// another surface's heights and their sines and cosines) once for all.
// Empty when a picture cannot be made; the generator is then left as it was.
std::vector<GreyImageOwner> make_shifted_pictures(const SimParams& params, const std::vector<double>& shifts,
                                                  int32_t max_noise, int32_t additive_range, uint64_t& generator);
