// The angle of a pixel's sinusoid, atan2(y, x), a vector of pixels at a time
// with the same bits on every processor and vector target: the C library's
// atan2 differs in its last bits between libraries and versions, and, a
// point at a time, costs more than the phase-stepping sums it is taken of.
//
// The definition: |y|, |x| (both infinite: both 1; the larger of them at
// least 2^1022: both times 1/4; below 2^-1000: both times 2^200, all exact)
// fall into one of three intervals of t = |y| / |x|, each with an argument u
// of |u| <= 0.66 and an offset:
//   |y| <= 0.66 |x|            u = |y| / |x|               offset 0
//   |y| > tan(3 pi / 8) |x|    u = -|x| / |y|              offset pi / 2
//   otherwise                  u = (|y| - |x|) / (|y| + |x|)   offset pi / 4
// (|x| = 0 in the first: u = 0). Left of the axis (x < 0 or x = -0) u is
// negated and the offset is pi less the offset (pi, pi / 2, 3 pi / 4).
// atan(u) = u + u (z P(z) / Q(z)), z = u u, with the rational function of
// degree 4 / 5 of Moshier's Cephes library, then
//   angle = offset_hi + (atan(u) + offset_lo),
// offset_hi the offset rounded, offset_lo the rest of it, and the sign of y
// on the angle. Every step is one rounded double operation in this order, no
// fused multiply-add, so each target repeats the plain definition exactly.
//
// Against the true atan2 (long double atan2l) it is off by less than 1.7
// units in the last place (1.63 the most in 40 million points; the rounded
// quotient u costs most of it where atan(u) lies just below a power of two);
// it differs from the C library's atan2 for about one argument in twenty, by
// one unit mostly, two at most. The signs and quadrants are atan2's: results in
// [-pi, pi], atan2(+-0, +0) = +-0, atan2(+-0, -0) = +-pi, x = +-0 and y != 0
// give +-pi/2, infinities as atan2 (both infinite: +-pi/4, +-3pi/4), and any
// NaN argument gives the one quiet NaN of std::numeric_limits (its bits the
// same everywhere too). The angle is odd in y bit for bit:
// portable_atan2(-y, x) == -portable_atan2(y, x) for every non-NaN result.
#pragma once

#include <cstdint>

namespace fringe::methods {

// The plain definition for one point.
double portable_atan2(double y, double x);

// out[i] = portable_atan2(y[i], x[i]) for i in [0, count), a vector at a time.
// `out` may be `y` or `x` (each element is read before it is written).
void portable_atan2_row(const double* y, const double* x, int32_t count, double* out);
// The plain definition, from element `from` on.
void portable_atan2_row_plain(const double* y, const double* x, int32_t count, double* out, int32_t from = 0);

}  // namespace fringe::methods
