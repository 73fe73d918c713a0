#include "runs/study_parameters.h"

#include <cctype>
#include <cmath>

#include "common/round_trip_number.h"
#include "common/settings_file.h"
#include "runs/diopters.h"
#include "scan/image_processing.h"
#include "simulation/surface.h"

namespace {

// Values are written as the shortest text that reads back to the same
// double, so the engine and the synthesis see exactly the value varied.
void set_scan(StudyRunSettings& s, const char* key, double value) {
  set_settings_value(s.scan, key, round_trip_text(value));
}
void set_image(StudyRunSettings& s, const char* key, double value) {
  set_settings_value(s.image, key, round_trip_text(value));
}

// A number of the run's biconic. A run that simulates the sphere (no surface
// file, or Model=sphere) first becomes the biconic of the sphere's radius,
// which draws the same surface, so that varying one number changes only it.
bool is_biconic(const std::vector<std::string>& surface) {
  std::string model = settings_value(surface, "Model");
  for (char& c : model) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return model == "biconic";
}

void set_surface(StudyRunSettings& s, const char* key, double value) {
  if (!is_biconic(s.surface)) {
    const std::string radius = settings_value(s.image, "Radius");
    s.surface = {"Model=biconic", "Rx=" + radius, "Ry=" + radius, "Axis=0", "Q=0"};
  }
  set_settings_value(s.surface, key, round_trip_text(value));
}

// Domains: what the workbench can measure, so that a typo ("noise=5")
// is caught before hours of runs. Fringe periods below 2 pixels cannot be
// sampled; above 200 the image holds too few fringes to unwrap.
constexpr StudyParameter kParameters[] = {
    {"contrast", "", "fringe contrast", {0.0, 1.0},
     [](StudyRunSettings& s, double v) { s.contrast = v; }},
    {"noise", "", "noise weight", {0.0, 1.0}, [](StudyRunSettings& s, double v) { s.noise = v; }},
    {"period", "px", "fringe period", {2.0, 200.0},
     [](StudyRunSettings& s, double v) {
       set_scan(s, "LambdaF", v);
       set_image(s, "LambdaF", v);
     }},
    {"angle", "°", "triangulation angle", {0.0, 90.0, true, true},
     [](StudyRunSettings& s, double v) {
       set_scan(s, "Alpha", v);
       set_image(s, "Alpha", v);
     }},
    {"radius", "mm", "sphere radius", {kMinRadius, kMaxRadius},
     [](StudyRunSettings& s, double v) { set_image(s, "Radius", v); }},
    {"mask_radius", "mm", "mask radius", {0.1, 10.0, true, false},
     [](StudyRunSettings& s, double v) { set_scan(s, "MaskRadius", v); }},
    {"passes", "", "smoothing passes", {0.0, kMaxSmoothingPasses, false, false, true},
     [](StudyRunSettings& s, double v) { set_scan(s, "NFilt", v); }},
    {"pixel_size", "mm", "pixel size", {0.001, 0.1},
     [](StudyRunSettings& s, double v) {
       set_scan(s, "CamResX", v);
       set_scan(s, "CamResY", v);
       set_image(s, "XRes", v);
       set_image(s, "YRes", v);
     }},
    {"rx", "mm", "biconic radius Rx", {kMinSurfaceRadius, kMaxSurfaceRadius},
     [](StudyRunSettings& s, double v) { set_surface(s, "Rx", v); }},
    {"ry", "mm", "biconic radius Ry", {kMinSurfaceRadius, kMaxSurfaceRadius},
     [](StudyRunSettings& s, double v) { set_surface(s, "Ry", v); }},
    {"axis", "°", "axis of Rx", {-360.0, 360.0},
     [](StudyRunSettings& s, double v) { set_surface(s, "Axis", v); }},
    {"q", "", "conic constant", {-kMaxConic, kMaxConic},
     [](StudyRunSettings& s, double v) { set_surface(s, "Q", v); }},
};

}  // namespace

std::span<const StudyParameter> study_parameters() { return kParameters; }

const StudyParameter* find_study_parameter(std::string_view name) {
  for (const StudyParameter& p : kParameters)
    if (name == p.name) return &p;
  return nullptr;
}

std::string study_parameter_names() {
  std::string names;
  for (const StudyParameter& p : kParameters) {
    if (!names.empty()) names += ", ";
    names += p.name;
  }
  return names;
}

std::string domain_violation(const StudyParameter& p, double value) {
  const ParameterDomain& d = p.domain;
  const std::string given = std::string(p.name) + "=" + round_trip_text(value);
  const bool below = d.min_open ? !(value > d.min) : !(value >= d.min);
  const bool above = d.max_open ? !(value < d.max) : !(value <= d.max);
  if (below || above) {
    const std::string lo = round_trip_text(d.min), hi = round_trip_text(d.max);
    if (d.min_open && d.max_open)
      return given + " must lie strictly between " + lo + " and " + hi;
    if (d.min_open) return given + " must be greater than " + lo + " and at most " + hi;
    if (d.max_open) return given + " must be at least " + lo + " and less than " + hi;
    return given + " is outside " + lo + ".." + hi;
  }
  if (d.whole && value != std::trunc(value)) return given + " is not a whole number";
  return "";
}

std::string parameter_title(const StudyParameter& p) {
  std::string title = p.name;
  if (*p.unit != '\0') title += std::string(" [") + p.unit + "]";
  return title;
}
