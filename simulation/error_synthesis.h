// A fringe picture with the projector's and camera's errors (frame_errors.h),
// worked out pixel by pixel. make_fringe_picture and plain_fringe_picture
// come here when params.errors is not none; without errors they keep their
// own (vector and plain) paths.
//
// Pixel by pixel, the same bytes on every processor:
//   c   the cosine of the pixel's (shifted) phase, as the surface's level
//       takes it (SphereRows / SurfaceRows::exact_cosine; the floor too);
//   c'  2 pow((1 + c) / 2, gamma) - 1, or c itself for gamma 1;
//   L   (contrast c' + 1) 127 - shift, the noise-free level;
//   the whole frame's L blurred (blur_levels) when blur > 0, then + ambient;
//   the noise of make_fringe_picture: the same draws in the same order,
//   Noise::value of that level;
//   8 bits: grey_byte; deeper: deep_sample, in 16-bit samples (type 2).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "scan/grey_image.h"
#include "simulation/sim_params.h"

// The widest blur radius taken, pixels: far beyond any picture (a side is
// at most 4096), it only keeps absurd sigmas from asking for endless weights.
constexpr int kMaxBlurRadius = 65536;

// The projector's gamma applied to a cosine c: 2 ((1 + c) / 2)^gamma - 1,
// c itself for gamma 1.
double gamma_cosine(double c, double gamma);

// Weights w[0..r] of the Gaussian of `sigma` pixels, r = ceil(4 sigma) (at
// most kMaxBlurRadius): exp(-d^2 / (2 sigma^2)) divided by their sum over
// -r..r (1 + 2 (w[1] + ... + w[r]) in that order). Empty for a sigma that is
// not > 0 (no blur).
std::vector<double> blur_weights(double sigma);

// Blurs width x height levels (row after row) in place: along the rows,
// then along the columns, edges replicated. Each output is
//   v[k] + sum over d = 1..r of w[d] ((v[k - d] - v[k]) + (v[k + d] - v[k]))
// summed in that order: the Gaussian's weighted sum, written about the
// pixel's own value so that a constant frame stays exactly constant and an
// edge is blurred exactly symmetrically. Nothing happens for empty weights.
void blur_levels(std::vector<double>& levels, std::size_t width, std::size_t height,
                 const std::vector<double>& weights);

// The sample of level v (0..254 on the 8-bit scale) at a depth of `bits`
// (9..16): v (2^bits - 1) / 254 truncated, clamped to 0 .. 2^bits - 1 (not a
// number: 0).
uint16_t deep_sample(double v, int bits);

// The bit depth a picture takes: errors.bits held to 8..16.
int picture_bits(const FrameErrors& errors);

// The picture of `params` with its error sources, drawing from `generator`
// as make_fringe_picture does. GreyImage type 1 for 8 bits, else type 2.
// Null when the image cannot be created (a side outside 1..4096, no memory);
// the generator is then left where it was.
GreyImageOwner error_fringe_picture(const SimParams& params, int32_t max_noise, int32_t additive_range,
                                    uint64_t& generator);

// The end of every picture with error sources, from its noise-free levels
// (width x height of params' sides, row 0 first, gamma already applied;
// blurred in place): the blur, the ambient level, the noise and the samples
// as above. Null when the image cannot be created; the generator is then
// left where it was.
GreyImageOwner picture_of_levels(std::vector<double>& levels, const SimParams& params, int32_t max_noise,
                                 int32_t additive_range, uint64_t& generator);
