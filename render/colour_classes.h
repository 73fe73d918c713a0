// Colour classes: the values between a lower and an upper limit fall into N
// equal classes, each shown in the colour of its lowest level; values outside
// the limits, and those in the topmost slice above the last class threshold,
// are white.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "render/colour_components.h"

// Class counts outside 1..kMaxColourClasses give no classes: everything white.
constexpr int kMaxColourClasses = 256;

// Threshold k = round(k * 255 / n), halves to even, for k = 0..n-1:
// n = 20 gives 0, 13, 26, 38, ..., 230, 242. Empty for n outside
// 1..kMaxColourClasses.
std::vector<int> level_thresholds(int n);

// Level 0..255 of v in min..max: round((v - min) * 255 / (max - min)), halves
// to even, or 1 when min = max. -1 (no level: white) when v < min, v > max, v
// is not a number, or the range is too wide to give a level. Inline: it runs
// once per pixel of every map and magnifier picture.
inline int class_level(double v, double min, double max) {
  if (!(v >= min && v <= max)) return -1;  // also NaN
  if (max - min == 0.0) return 1;
  const double level = (v - min) * 255.0 / (max - min);
  // Inside min..max the level lies in 0..255; an infinite limit gives NaN.
  if (!(level >= 0.0 && level <= 255.0)) return -1;
  return static_cast<int>(std::lrint(level));
}

// class_level of values[0 .. n-1] into levels[0 .. n-1], in vectors
// (class_levels.cpp): the same operations, so the same levels.
void class_levels(const double* values, int n, double min, double max, int16_t* levels);

// Pixel bytes (blue, green, red) for every level 0..255: the colour of the
// largest threshold not above the level, computed by the three component
// functions from the threshold value; white below the first and above the
// last threshold.
struct ClassColours {
  std::array<std::array<uint8_t, 3>, 256> bgr;
};
ClassColours class_colours(const std::vector<int>& thresholds, ColourComponent blue, ColourComponent red,
                           ColourComponent green);
