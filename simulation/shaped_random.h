// Random integers whose distribution is bent by a shape function.
#pragma once

#include <cstdint>

// Maps u in [0, 1) to a real factor; the synthesis uses square_shape.
using RandomShape = double (*)(double u);

// u * u: pushes the results of shaped_random towards lo.
double square_shape(double u);

// An integer lo + (hi - lo) * shape(u), rounded to nearest with halves to even,
// where u = r / (hi - lo) and r is one draw modulo (hi - lo), so 0 <= u < 1.
// When hi <= lo it returns 0 and draws nothing.
// hi - lo is taken in 64 bits, so the full int range (e.g. -(2^31-1) to
// 2^31-1) does not overflow. A shape value that would leave the int range
// saturates at its end; a shape value that is not a number gives lo.
int32_t shaped_random(int32_t lo, int32_t hi, RandomShape shape);
