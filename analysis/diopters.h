// Radius of curvature and refractive power of the measured sphere, as the
// parameters dialog converts them between its two boxes. Free of the toolkit:
// the dialog reads the box texts, calls these and writes the texts back.
#pragma once

#include <string>

#include "analysis/refractive_power.h"  // kDioptersTimesRadius

// The spheres the workbench measures: radius in mm, power in diopters.
constexpr double kMinRadius = 6.7;
constexpr double kMaxRadius = 9.6;
constexpr double kMinDiopters = 35.0;
constexpr double kMaxDiopters = 50.0;
// Significant digits of both texts; a channel 1 radius written from the Enter
// key in the diopters box carries one digit less.
constexpr int kDioptersPrecision = 3;
constexpr int kShortRadiusPrecision = 2;
constexpr int kDioptersExponentDigits = 3;

// A value below the lower limit (or not a number at all) becomes the lower
// limit; a value above the upper limit becomes the upper limit.
double clamped_radius(double radius);
double clamped_diopters(double diopters);

struct RadiusDiopters {
  std::string radius;    // mm
  std::string diopters;  // D
};

// Reads the radius text, pulls it into 6.7..9.6 mm and gives it back with the
// power that belongs to it ("8.0" gives "8" and "42.1"). Throws
// ConversionError when the text is not a number.
RadiusDiopters radius_to_diopters(const std::string& radius_text);

// Reads the diopters text, pulls it into 35..50 D and gives it back with the
// radius that belongs to it ("60" gives "50" and "6.74"). Throws
// ConversionError when the text is not a number.
RadiusDiopters diopters_to_radius(const std::string& diopters_text);

// Only the radius of a diopters text, with `precision` significant digits
// ("45" gives "7.49" with 3 digits, "7.5" with 2). Throws ConversionError.
std::string radius_of_diopters(const std::string& diopters_text, int precision);
