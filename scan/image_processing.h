// The fringe image processing chain: grey levels in the source plane to the
// unwrapped 16-bit phase in the phase plane.
#pragma once

#include "grey_image.h"
#include "scn_context.h"

// One separable 3x3 binomial pass (1-2-1 along rows, then along columns).
void smooth_binomial(GreyImage* plane);
// Replaces grey levels by the wrapped phase (signed byte, 256 units a period)
// measured with a Hamming-windowed quadrature filter along each row.
void fringe_phase(GreyImage* plane, int32_t window, double period);
// 255 strictly inside the ellipse, 0 on and outside it.
void ellipse_mask(GreyImage* plane, int32_t cx, int32_t cy, int32_t rx, int32_t ry);
// Zeroes n columns at both sides of every row.
void clear_border_columns(GreyImage* plane, int32_t n);
// Removes pixels whose phase curvature exceeds the threshold.
void flaw_mask(GreyImage* mask, const GreyImage* phase, int32_t threshold);
// Flood fill from the image centre assigning fringe orders (start: 128).
void unwrap_orders(GreyImage* mask, const GreyImage* phase);
// U = order * 256 + phase byte, 0 without order.
void combine_phase(GreyImage* out, const GreyImage* mask, const GreyImage* phase);

// The whole chain on the context's planes, steered by its parameters.
void process_image(ScnContext& context);
