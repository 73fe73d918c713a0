// The fringe image processing chain: grey levels in the source plane to the
// unwrapped 16-bit phase in the phase plane.
//
// Coordinates are (x, y) = (column, row), row 0 the bottom row of the picture.
// A wrapped phase byte is a signed value p (two's complement) with the angle
// p * 2 pi / 256: 256 units make one fringe period, growing from left to right.
#pragma once

#include <cstdint>

#include "grey_image.h"
#include "scn_context.h"

// The filter kernels of the phase measurement hold at most this many taps.
constexpr int32_t kMaxKernelTaps = 128;
// Smoothing passes beyond this many are not run: a pass costs about a
// millisecond, and NFilt comes unchecked from a settings file.
constexpr int32_t kMaxSmoothingPasses = 1024;

// Window length for a fringe period (pixels): round(3 * period), minus 1 if
// even, so the window is odd and has a centre pixel. round(3 * period) is
// clamped to 1..128 first (NaN counts as 0), so the window has 1 to 127 taps.
int32_t phase_window(double period);

// One separable 3x3 binomial pass (1-2-1 along rows, then along columns),
// integer arithmetic, edge rows and columns kept. Only 8-bit planes; returns
// whether any pixel changed (a pass that changes nothing will never again).
// With `from` (an 8-bit image of the plane's size) the plane first takes its
// pixels, row by row as the pass reaches them: copy and pass in one sweep.
bool smooth_binomial(GreyImage* plane, const GreyImage* from = nullptr);

// Replaces the grey levels of an 8-bit plane by the wrapped phase measured
// with a Hamming-windowed quadrature filter sliding along each row. `window`
// gates the first row only (no row is measured while it exceeds the width);
// the filter itself follows a local period that grows linearly from
// period - 5 at the left edge over `period` at the centre column to
// period + 5 at the right edge, rebuilt every 32 columns. Columns without a
// measured value come out 0.
void fringe_phase(GreyImage* plane, int32_t window, double period);
// The same bytes by definition, one row and one window at a time without
// vectors: the reference fringe_phase is tested against.
void fringe_phase_plain(GreyImage* plane, int32_t window, double period);
// Phase bytes of `count` filter responses: round(atan2(-Im, Re) * 128 / pi)
// as a two's complement byte (128 becomes -128), 0 where Re and Im are both 0.
void phase_bytes(const double* re, const double* im, int32_t count, uint8_t* out);

// 255 strictly inside the ellipse around (cx, cy) with semi-axes rx, ry
// (pixels), 0 on and outside it. A zero semi-axis gives an empty mask.
void ellipse_mask(GreyImage* plane, int32_t cx, int32_t cy, int32_t rx, int32_t ry);
// Zeroes n columns at both sides of every row (all columns when 2n >= width).
void clear_border_columns(GreyImage* plane, int32_t n);
// Removes mask pixels whose phase curvature (1/256 period) exceeds the
// threshold or whose small loops through the neighbours hold a phase jump;
// then excludes the outer rows and columns. Compares squares, so a negative
// threshold acts like its absolute value.
void flaw_mask(GreyImage* mask, const GreyImage* phase, int32_t threshold);
// Flood fill from pixel (width div 2, height div 2) assigning fringe orders,
// 128 at the start. An order that would leave 1..254 is not assigned: that
// pixel keeps 255 unless another neighbour reaches it with a valid order.
void unwrap_orders(GreyImage* mask, const GreyImage* phase);
// unwrap_orders' orders by row sweeps in vectors, where the order steps of
// neighbours add up the same along every path and every order stays within
// 1..254: then true, with the orders the visiting fill gives. Otherwise (also
// when the mask holds anything but 0 and 255) false, with the mask as it was.
bool unwrap_by_sweeps(GreyImage* mask, const GreyImage* phase);
// U = order * 256 + phase byte into the 16-bit plane `out`, 0 without order.
void combine_phase(GreyImage* out, const GreyImage* mask, const GreyImage* phase);

// The whole chain on the context's planes, steered by its parameters. Does
// nothing unless the source, work, mask and phase planes exist with one size
// (8-bit, 8-bit, 8-bit, 16-bit).
void process_image(ScnContext& context);
