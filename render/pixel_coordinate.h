// Turning a computed plot position into a pixel coordinate.
#pragma once

#include <cmath>

// Positions this far outside any picture are clipped all the same; holding
// them there keeps huge or infinite values from overflowing an int.
constexpr int kFarOutside = 1 << 24;

// value rounded to the nearest integer (halves to even) and held within
// -kFarOutside..kFarOutside. NaN gives -kFarOutside: plots subtract it from
// their minimum edge, so an unknown value lands far beyond that edge.
inline int pixel_offset(double value) {
  if (!(value >= -kFarOutside)) return -kFarOutside;  // also NaN
  if (value > kFarOutside) return kFarOutside;
  return static_cast<int>(std::lrint(value));
}
