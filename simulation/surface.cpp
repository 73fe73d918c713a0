#include "simulation/surface.h"

#include <algorithm>
#include <cstdio>
#include <numbers>

namespace {

std::string number_of(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

bool radius_usable(double r) { return r >= kMinSurfaceRadius && r <= kMaxSurfaceRadius; }

std::string radius_problem(const char* name, double r) {
  return std::string(name) + " must lie between " + number_of(kMinSurfaceRadius) + " and " +
         number_of(kMaxSurfaceRadius) + " mm (read " + number_of(r) + ")";
}

}  // namespace

std::string surface_problem(const Surface& s) {
  if (s.model == SurfaceModel::sphere) return "";
  if (!radius_usable(s.rx)) return radius_problem("Rx", s.rx);
  if (!radius_usable(s.ry)) return radius_problem("Ry", s.ry);
  if (!std::isfinite(s.axis_deg))
    return "the axis must be a finite angle in degrees (read " + number_of(s.axis_deg) + ")";
  if (!(std::abs(s.q) <= kMaxConic))
    return "Q must lie between " + number_of(-kMaxConic) + " and " + number_of(kMaxConic) + " (read " +
           number_of(s.q) + ")";
  return "";
}

const char* surface_model_name(SurfaceModel model) {
  return model == SurfaceModel::biconic ? "biconic" : "sphere";
}

BiconicShape::BiconicShape(const Surface& s)
    : cos_(std::cos(s.axis_deg * std::numbers::pi / 180.0)),
      sin_(std::sin(s.axis_deg * std::numbers::pi / 180.0)),
      cx_(1.0 / s.rx),
      cy_(1.0 / s.ry),
      cx_sq_(cx_ * cx_),
      cy_sq_(cy_ * cy_),
      conic_(1.0 + s.q),
      floor_(-std::max(s.rx, s.ry)) {}
