// Safe conversion of a computed real number to an integer of the engine.
#pragma once

#include <cmath>
#include <cstdint>

// Rounds to the nearest integer, halves to the even neighbour, and clamps the
// result to [low, high]. A NaN counts as 0 (then clamped); infinities and
// values beyond the range give the nearer bound. Converting a non-finite or
// out-of-range double straight to an integer type is undefined behaviour, and
// parameters such as MaskRadius / CamResX reach here unchecked.
inline int32_t round_clamped(double value, int32_t low, int32_t high) {
  if (std::isnan(value)) value = 0.0;
  if (value <= static_cast<double>(low)) return low;
  if (value >= static_cast<double>(high)) return high;
  return static_cast<int32_t>(std::lrint(value));
}
