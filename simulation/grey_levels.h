// From a pixel's level to its grey byte, and how near a rounding boundary a
// level lies: the pieces the synthesis's plain definition and its vector
// kernels share.
#pragma once

#include <cmath>
#include <cstdint>

// Dark level of fringes whose contrast is too low to reach grey level 0.
constexpr int kDarkFloor = 32;

// The cosine estimate (cosine_estimate.h) is within 1e-10 of std::cos. A
// level (contrast * cos + 1) * 127 - shift then moves by at most 127 * 1e-10
// plus a rounding or two of its own (below 1e-13), the noisy value by
// (1 + |n m| / 255) times that plus a few roundings: this margin per unit of
// that factor keeps more than 75 times all of it (and is 0 for contrast 0,
// where the cosine drops out). Some 2e-6 of the pixels, a few per picture,
// lie that near an integer; they are worked out with std::cos.
constexpr double kLevelMargin = 1e-6;

// Adding and removing 1.5 * 2^52 rounds a double below 2^51 to an integer,
// halves to even.
constexpr double kRoundingShift = 6755399441055744.0;

// 0 for values that are not >= 0 (not-a-number included), 1 above 1: the
// contrast and the noise weight as the synthesis takes them.
inline double clamp_unit(double value) {
  if (!(value >= 0.0)) return 0.0;
  return value > 1.0 ? 1.0 : value;
}

// Grey byte of level v: below 0 (or not a number) 0, above 254 254, else v
// truncated towards zero. Written as selections that compile to max and min
// without branches: on noisy pictures the clamps are hit at random.
inline uint8_t grey_byte(double v) {
  const double low = v > 0.0 ? v : 0.0;
  const double clamped = low < 254.0 ? low : 254.0;
  return static_cast<uint8_t>(static_cast<int32_t>(clamped));
}

// True when v lies within `margin` of an integer (where the grey byte may
// change). Values of 2^51 and more lie far beyond the clamps to 0 and 254.
inline bool near_integer(double v, double margin) {
  if (!(std::fabs(v) < 2251799813685248.0)) return false;
  return std::fabs(v - ((v + kRoundingShift) - kRoundingShift)) < margin;
}
