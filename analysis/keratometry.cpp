#include "analysis/keratometry.h"

#include <cmath>
#include <cstdio>

#include "analysis/refractive_power.h"
#include "analysis/vector_2d.h"

namespace {

std::optional<KeratometryResult> refuse(std::string* why_not, const std::string& reason) {
  if (why_not != nullptr) *why_not = reason;
  return std::nullopt;
}

std::string millimetres(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f mm", value);
  return text;
}

}  // namespace

double axial_radius_of_meridian(double radius, double q, double r) {
  const double square = radius * radius - q * r * r;
  if (!(square > 0.0)) return std::nan("");
  return std::copysign(std::sqrt(square), radius);
}

std::optional<KeratometryResult> keratometry(const ConicFitResult& conic, const EvaluationDisc& disc,
                                             double zone_radius, std::string* why_not) {
  if (!(conic.flat_radius > 0.0 && conic.steep_radius > 0.0))
    return refuse(why_not, "the surface is hollow: keratometry reads a cap bulging towards the camera");
  const double off_centre = vector_length({conic.surface.x0 - disc.centre_x, conic.surface.y0 - disc.centre_y});
  if (!(off_centre + zone_radius <= disc.radius))
    return refuse(why_not, "the zone of radius " + millimetres(zone_radius) + " about the apex leaves the mask disc (radius " +
                               millimetres(disc.radius) + ", apex " + millimetres(off_centre) +
                               " from its centre)");
  KeratometryResult k;
  k.flat_radius = axial_radius_of_meridian(conic.flat_radius, conic.q, zone_radius);
  k.steep_radius = axial_radius_of_meridian(conic.steep_radius, conic.q, zone_radius);
  if (std::isnan(k.flat_radius) || std::isnan(k.steep_radius))
    return refuse(why_not, "a meridian turns back before the zone's edge: no axial radius there");
  k.flat_power = power_of_radius(k.flat_radius);
  k.steep_power = power_of_radius(k.steep_radius);
  k.axis_deg = conic.axis_deg;
  return k;
}
