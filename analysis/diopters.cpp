#include "analysis/diopters.h"

#include "common/number_text.h"
#include "common/text_to_number.h"

namespace {

std::string text_of(double value, int precision = kDioptersPrecision) {
  return number_text(value, precision, kDioptersExponentDigits);
}

}  // namespace

// Written as "not at least the minimum" so that the lower limit also catches
// a value that compares false with everything.
double clamped_radius(double radius) {
  if (!(radius >= kMinRadius)) return kMinRadius;
  return radius > kMaxRadius ? kMaxRadius : radius;
}

double clamped_diopters(double diopters) {
  if (!(diopters >= kMinDiopters)) return kMinDiopters;
  return diopters > kMaxDiopters ? kMaxDiopters : diopters;
}

RadiusDiopters radius_to_diopters(const std::string& radius_text) {
  const double radius = clamped_radius(text_to_double(radius_text));
  return {text_of(radius), text_of(kDioptersTimesRadius / radius)};
}

RadiusDiopters diopters_to_radius(const std::string& diopters_text) {
  const double diopters = clamped_diopters(text_to_double(diopters_text));
  return {text_of(kDioptersTimesRadius / diopters), text_of(diopters)};
}

std::string radius_of_diopters(const std::string& diopters_text, int precision) {
  const double diopters = clamped_diopters(text_to_double(diopters_text));
  return text_of(kDioptersTimesRadius / diopters, precision);
}
