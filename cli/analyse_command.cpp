#include "cli/analyse_command.h"

#include <cstdio>
#include <sstream>

#include "cli/commands.h"

namespace {

const char* reference_words(ZernikeReference reference) {
  return reference == ZernikeReference::best_fit_sphere ? "the best-fit sphere" : "the set sphere";
}

std::string not_available(const std::string& why) { return "not available (" + why + ")"; }

// "name": value pairs of one JSON object, a figure that is absent as null.
class JsonObject {
 public:
  void add(const char* key, const std::string& text) {
    out_ << (first_ ? "{" : ", ") << '"' << key << "\": " << text;
    first_ = false;
  }
  void add(const char* key, double value, bool available = true) {
    add(key, available ? json_number(value) : std::string("null"));
  }
  std::string close() { return out_.str() + (first_ ? "{}" : "}"); }

 private:
  std::ostringstream out_;
  bool first_ = true;
};

std::string json_report(int channel, const SurfaceFigures& f) {
  JsonObject o;
  o.add("channel", std::to_string(channel));
  const SphereFigure sphere = f.sphere.value_or(SphereFigure{});
  o.add("fit_radius_mm", sphere.radius_mm, f.sphere.has_value());
  o.add("fit_power_D", sphere.power_D, f.sphere.has_value());
  o.add("apex_x_mm", sphere.apex_x_mm, f.sphere.has_value());
  o.add("apex_y_mm", sphere.apex_y_mm, f.sphere.has_value());
  o.add("fit_rms_um", sphere.rms_um, f.sphere.has_value());
  const ConicFigure conic = f.conic.value_or(ConicFigure{});
  o.add("apical_flat_mm", conic.flat_radius_mm, f.conic.has_value());
  o.add("apical_steep_mm", conic.steep_radius_mm, f.conic.has_value());
  o.add("apical_axis_deg", conic.axis_deg.value_or(0.0), conic.axis_deg.has_value());
  o.add("conic_q", conic.q, f.conic.has_value());
  o.add("conic_rms_um", conic.rms_um, f.conic.has_value());
  const KeratometryResult k = f.keratometry.value_or(KeratometryResult{});
  o.add("flat_radius_mm", k.flat_radius, f.keratometry.has_value());
  o.add("steep_radius_mm", k.steep_radius, f.keratometry.has_value());
  o.add("flat_k_D", k.flat_power, f.keratometry.has_value());
  o.add("steep_k_D", k.steep_power, f.keratometry.has_value());
  o.add("axis_deg", k.axis_deg.value_or(0.0), k.axis_deg.has_value());
  std::ostringstream terms;
  terms << '[';
  if (f.zernike) {
    const std::vector<double>& c = f.zernike->coefficients_um;
    for (std::size_t j = 0; j < c.size(); ++j) {
      const ZernikeIndex nm = zernike_nm(static_cast<int>(j));
      const std::string name = zernike_name(static_cast<int>(j));
      terms << (j == 0 ? "" : ", ") << "{\"j\": " << j << ", \"n\": " << nm.n << ", \"m\": " << nm.m
            << ", \"name\": " << (name.empty() ? "null" : '"' + name + '"')
            << ", \"um\": " << json_number(c[j]) << '}';
    }
  }
  terms << ']';
  o.add("zernike", f.zernike ? terms.str() : std::string("null"));
  o.add("zernike_rms_um", f.zernike ? f.zernike->rms_um : 0.0, f.zernike.has_value());
  return o.close();
}

std::string text_report(int channel, const SurfaceFigures& f) {
  std::ostringstream s;
  s << "channel " << channel << ": " << mask_cells_text(f.cells, f.disc) << '\n';
  s << "best-fit sphere: ";
  if (f.sphere)
    s << "R " << summary_number(f.sphere->radius_mm) << " mm (" << summary_number(f.sphere->power_D)
      << " D), apex x " << summary_number(f.sphere->apex_x_mm) << " mm, y "
      << summary_number(f.sphere->apex_y_mm) << " mm, RMS " << summary_number(f.sphere->rms_um) << " um\n";
  else
    s << not_available(f.sphere_note) << '\n';
  s << "best-fit conic: ";
  if (f.conic) {
    const ConicFigure& c = *f.conic;
    s << "apical flat " << summary_number(c.flat_radius_mm) << " mm, steep " << summary_number(c.steep_radius_mm)
      << " mm, axis " << (c.axis_deg ? summary_number(*c.axis_deg) + " deg" : "not available (no astigmatism)")
      << ", Q " << summary_number(c.q) << ", RMS " << summary_number(c.rms_um) << " um\n";
  } else {
    s << not_available(f.conic_note) << '\n';
  }
  s << "keratometry (3 mm zone): ";
  if (f.keratometry) {
    const KeratometryResult& k = *f.keratometry;
    s << "flat " << summary_number(k.flat_radius) << " mm (" << summary_number(k.flat_power)
      << " D), steep " << summary_number(k.steep_radius) << " mm (" << summary_number(k.steep_power)
      << " D), axis " << (k.axis_deg ? summary_number(*k.axis_deg) + " deg" : "not available (no astigmatism)")
      << '\n';
  } else {
    s << not_available(f.keratometry_note) << '\n';
  }
  if (f.zernike) {
    s << "Zernike terms of the residual to " << reference_words(f.zernike->reference) << " (order "
      << f.zernike->order << "), um:\n   j   n   m          um\n";
    char line[96];
    for (std::size_t j = 0; j < f.zernike->coefficients_um.size(); ++j) {
      const ZernikeIndex nm = zernike_nm(static_cast<int>(j));
      std::snprintf(line, sizeof line, "%4zu %3d %3d %12s", j, nm.n, nm.m,
                    summary_number(f.zernike->coefficients_um[j]).c_str());
      const std::string name = zernike_name(static_cast<int>(j));
      s << line << (name.empty() ? "" : "  " + name) << '\n';
    }
    s << "RMS left after the fit: " << summary_number(f.zernike->rms_um) << " um\n";
  } else {
    s << "Zernike terms: " << not_available(f.zernike_note) << '\n';
  }
  return s.str();
}

}  // namespace

SurfaceFigures cmd_analyse(const AnalyseOptions& options, std::ostream* progress) {
  ProfileOutputs outputs;
  const ProfileResult result = cmd_profile(options.channel, progress, &outputs);
  return surface_figures({outputs.measured_map, outputs.sphere_map, result.geometry.field_x, result.mask_radius},
                         options.figures);
}

std::string analyse_report(int channel, const SurfaceFigures& figures, bool json) {
  return json ? json_report(channel, figures) : text_report(channel, figures);
}
