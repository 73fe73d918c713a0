#include "cli/analyse_command.h"

#include <cstdio>
#include <sstream>

#include "cli/commands.h"
#include "exports/figures_json.h"

namespace {

const char* reference_words(ZernikeReference reference) {
  return reference == ZernikeReference::best_fit_sphere ? "the best-fit sphere" : "the set sphere";
}

std::string not_available(const std::string& why) { return "not available (" + why + ")"; }

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
  if (f.aberrations) {
    const CornealAberrations& a = *f.aberrations;
    s << "corneal aberrations (OSA/ANSI, n 1.376, pupil " << summary_number(a.pupil_diameter_mm)
      << " mm): higher-order RMS " << summary_number(a.higher_order_rms_um) << " um, Z(4,0) "
      << summary_number(a.spherical_um) << " um, coma " << summary_number(a.coma_um) << " um, trefoil "
      << summary_number(a.trefoil_um) << " um\n";
  } else {
    s << "corneal aberrations: " << not_available(f.aberrations_note) << '\n';
  }
  if (f.indices) {
    const KeratoconusIndices& k = *f.indices;
    s << "keratoconus indices: central K " << summary_number(k.central_k_D) << " D ("
      << index_category_name(k.central_k_category) << "), I-S " << summary_number(k.i_s_D) << " D ("
      << index_category_name(k.i_s_category) << "), SRAX " << summary_number(k.srax_deg) << " deg ("
      << index_category_name(k.srax_category, true) << "), KISA% " << summary_number(k.kisa_percent) << " ("
      << index_category_name(k.kisa_category) << ")\n";
  } else {
    s << "keratoconus indices: " << not_available(f.indices_note) << '\n';
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
  return json ? surface_figures_json(channel, figures) : text_report(channel, figures);
}
