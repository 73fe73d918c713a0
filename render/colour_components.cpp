#include "render/colour_components.h"

#include <cmath>

namespace {

// The slopes of the middle and upper segments, as the doubles nearest to
// 21/17, 37/17 and 37/34; products with them are rounded to double before
// the rounding to a byte, so these exact values decide the bytes.
constexpr double kRedSlope = 21.0 / 17.0;
constexpr double kGreenRise = 37.0 / 17.0;
constexpr double kGreenFall = 37.0 / 34.0;

// Nearest integer, halves to even, as a byte (the values are in 0..255).
uint8_t rounded(double value) { return static_cast<uint8_t>(std::lrint(value)); }

}  // namespace

uint8_t colour_blue(uint8_t level) {
  const double a = level;
  if (a <= 85.0) return rounded(255.0 - 3.0 * a);
  if (a <= 170.0) return 0;
  return rounded(3.0 * (a - 170.0));
}

uint8_t colour_red(uint8_t level) {
  const double a = level;
  if (a <= 85.0) return rounded(3.0 * a);
  // The low byte of -round(...): 256 - 1 = 255 at a = 86 down to 151 at 170.
  if (a <= 170.0) return static_cast<uint8_t>(-std::lrint((a - 85.0) * kRedSlope));
  return 30;
}

uint8_t colour_green(uint8_t level) {
  const double a = level;
  if (a <= 85.0) return 0;
  if (a <= 170.0) return rounded(70.0 + (a - 85.0) * kGreenRise);
  return static_cast<uint8_t>(std::trunc((382.5 - a) * kGreenFall));
}
