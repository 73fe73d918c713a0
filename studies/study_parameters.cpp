#include "studies/study_parameters.h"

#include <cctype>
#include <cmath>
#include <limits>

#include "common/round_trip_number.h"
#include "common/settings_file.h"
#include "analysis/diopters.h"
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

// A number of the run's first cone (Cone1Height, ...), on whichever model
// the run simulates: a run without a surface file becomes the sphere with
// the cone. The centre and width need the cone's height from the file or
// from cone_height.
void set_cone(StudyRunSettings& s, const char* part, double value) {
  if (s.surface.empty()) s.surface = {"Model=sphere"};
  set_settings_value(s.surface, std::string("Cone1") + part, round_trip_text(value));
}

// A line of the run's method settings (settings/method_settings.h). Without a
// method file the lines start empty and the file's defaults fill the rest.
void set_method(StudyRunSettings& s, const char* key, double value) {
  set_settings_value(s.method, key, round_trip_text(value));
}

// In the order of FringeMethod, so that an index is the enum's value.
constexpr const char* kMethodNames[] = {"quadrature", "phase-shift", "fourier"};

constexpr double kUnbounded = std::numeric_limits<double>::infinity();

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
    {"cone_height", "µm", "height of cone 1", {-kMaxConeHeight, kMaxConeHeight},
     [](StudyRunSettings& s, double v) { set_cone(s, "Height", v); }},
    {"cone_x", "mm", "centre x of cone 1", {-kMaxConeOffset, kMaxConeOffset},
     [](StudyRunSettings& s, double v) { set_cone(s, "X", v); }},
    {"cone_y", "mm", "centre y of cone 1", {-kMaxConeOffset, kMaxConeOffset},
     [](StudyRunSettings& s, double v) { set_cone(s, "Y", v); }},
    {"cone_width", "mm", "width (sigma) of cone 1", {kMinConeWidth, kMaxConeWidth},
     [](StudyRunSettings& s, double v) { set_cone(s, "Width", v); }},
    // The method's domains are those its settings file takes.
    {"method", "", "fringe-analysis method", {0.0, 2.0, false, false, true},
     [](StudyRunSettings& s, double v) {
       set_settings_value(s.method, "Method", kMethodNames[static_cast<std::size_t>(v)]);
     },
     kMethodNames},
    {"steps", "", "phase steps per period", {3.0, 64.0, false, false, true},
     [](StudyRunSettings& s, double v) { set_method(s, "Steps", v); }},
    {"gamma", "", "projector gamma", {0.0, kUnbounded, true, false},
     [](StudyRunSettings& s, double v) { set_method(s, "Gamma", v); }},
    {"blur", "px", "defocus blur sigma", {0.0, 4096.0},
     [](StudyRunSettings& s, double v) { set_method(s, "Blur", v); }},
    {"bits", "", "camera bit depth", {8.0, 16.0, false, false, true},
     [](StudyRunSettings& s, double v) { set_method(s, "Bits", v); }},
    {"ambient", "grey levels", "ambient level", {0.0, 254.0},
     [](StudyRunSettings& s, double v) { set_method(s, "Ambient", v); }},
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

std::string parameter_names_words(const StudyParameter& p) {
  std::string words;
  for (std::size_t i = 0; i < p.names.size(); ++i)
    words += (i == 0 ? "" : i + 1 == p.names.size() ? " or " : ", ") + std::string(p.names[i]);
  return words;
}

std::string parameter_value_text(const StudyParameter& p, double value) {
  if (!p.names.empty() && value >= 0.0 && value < static_cast<double>(p.names.size()) && value == std::trunc(value))
    return p.names[static_cast<std::size_t>(value)];
  return round_trip_text(value);
}

std::string parameter_value_text(std::string_view name, double value) {
  const StudyParameter* p = find_study_parameter(name);
  return p != nullptr ? parameter_value_text(*p, value) : round_trip_text(value);
}

std::optional<double> parameter_value(const StudyParameter& p, std::string_view text) {
  if (p.names.empty()) return round_trip_number(text);
  for (std::size_t i = 0; i < p.names.size(); ++i)
    if (text == p.names[i]) return static_cast<double>(i);
  return std::nullopt;
}

std::string domain_violation(const StudyParameter& p, double value) {
  const ParameterDomain& d = p.domain;
  const std::string given = std::string(p.name) + "=" + round_trip_text(value);
  const bool below = d.min_open ? !(value > d.min) : !(value >= d.min);
  // An unbounded domain still takes finite numbers only.
  const bool above = (d.max_open ? !(value < d.max) : !(value <= d.max)) || std::isinf(value);
  if (!p.names.empty() && (below || above || value != std::trunc(value)))
    return given + " is not " + parameter_names_words(p);
  if (below || above) {
    const std::string lo = round_trip_text(d.min), hi = round_trip_text(d.max);
    if (std::isinf(d.max)) return given + (d.min_open ? " must be greater than " : " must be at least ") + lo;
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
