// Random integers whose distribution is bent by a shape function.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

#include "simulation/random_generator.h"

// Maps u in [0, 1) to a real factor; the synthesis uses square_shape.
using RandomShape = double (*)(double u);

// u * u: pushes the results of shaped_random towards lo.
inline double square_shape(double u) { return u * u; }

// An integer lo + (hi - lo) * shape(u), rounded to nearest with halves to even,
// where u = r / (hi - lo) and r is one draw modulo (hi - lo), so 0 <= u < 1.
// When hi <= lo it returns 0 and draws nothing.
// hi - lo is taken in 64 bits, so the full int range (e.g. -(2^31-1) to
// 2^31-1) does not overflow. A shape value that would leave the int range
// saturates at its end; a shape value that is not a number gives lo.
// Inline so that the shape is inlined in the per-pixel loop of the synthesis.
inline int32_t shaped_random(int32_t lo, int32_t hi, RandomShape shape) {
  if (hi <= lo) return 0;
  const int64_t span = static_cast<int64_t>(hi) - lo;  // 1 .. 2^32 - 1
  // Same as random_below(span) while span fits an int; a wider span still
  // fits 32 unsigned bits and keeps the plain draw, which is below it.
  const uint32_t r = static_cast<uint32_t>(next_random()) % static_cast<uint32_t>(span);
  const double u = static_cast<double>(r) / static_cast<double>(span);
  const double exact = static_cast<double>(lo) + static_cast<double>(span) * shape(u);
  const double value = std::fabs(exact) < 0x1p51 ? (exact + 0x1.8p52) - 0x1.8p52 : std::nearbyint(exact);
  if (std::isnan(value)) return lo;
  if (value <= static_cast<double>(std::numeric_limits<int32_t>::min()))
    return std::numeric_limits<int32_t>::min();
  if (value >= static_cast<double>(std::numeric_limits<int32_t>::max()))
    return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(value);
}
