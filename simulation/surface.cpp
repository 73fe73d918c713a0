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

namespace {

std::string cone_problem(const Cone& c) {
  if (!(std::abs(c.height_um) <= kMaxConeHeight))
    return "the height must lie between " + number_of(-kMaxConeHeight) + " and " + number_of(kMaxConeHeight) +
           " microns (read " + number_of(c.height_um) + ")";
  if (!(std::abs(c.x_mm) <= kMaxConeOffset) || !(std::abs(c.y_mm) <= kMaxConeOffset))
    return "the centre must lie within " + number_of(kMaxConeOffset) + " mm of the apex (read x " +
           number_of(c.x_mm) + ", y " + number_of(c.y_mm) + ")";
  if (!(c.width_mm >= kMinConeWidth && c.width_mm <= kMaxConeWidth))
    return "the width must lie between " + number_of(kMinConeWidth) + " and " + number_of(kMaxConeWidth) +
           " mm (read " + number_of(c.width_mm) + ")";
  return "";
}

std::string base_problem(const Surface& s) {
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

}  // namespace

std::string surface_problem(const Surface& s) {
  if (std::string problem = base_problem(s); !problem.empty()) return problem;
  if (s.cones.size() > kMaxCones)
    return "at most " + std::to_string(kMaxCones) + " cones (read " + std::to_string(s.cones.size()) + ")";
  for (std::size_t k = 0; k < s.cones.size(); ++k)
    if (std::string problem = cone_problem(s.cones[k]); !problem.empty())
      return "cone " + std::to_string(k + 1) + ": " + problem;
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

namespace {

Surface drawn_base(const Surface& s, double sphere_radius) {
  if (s.model != SurfaceModel::sphere) return s;
  return {.model = SurfaceModel::biconic, .rx = sphere_radius, .ry = sphere_radius, .axis_deg = 0.0, .q = 0.0};
}

}  // namespace

SurfaceShape::SurfaceShape(const Surface& s, double sphere_radius) : base_(drawn_base(s, sphere_radius)) {
  for (const Cone& c : s.cones)
    cones_.push_back({c.height_um * 1e-3, c.x_mm, c.y_mm, 1.0 / (2.0 * c.width_mm * c.width_mm)});
}
