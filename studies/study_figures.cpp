#include "studies/study_figures.h"

#include <cmath>
#include <limits>
#include <optional>
#include <string>

#include "analysis/residual_figures.h"
#include "analysis/vector_2d.h"

namespace {

constexpr double kNotAvailable = std::numeric_limits<double>::quiet_NaN();

// A figure of the surface, or not available (an empty CSV field, null in
// JSON, left out of the summaries).
template <typename Figure, typename Value>
double figure_of(const std::optional<Figure>& figure, Value value) {
  return figure ? value(*figure) : kNotAvailable;
}

// A screening index of the measurement, or its error against the truth
// (measured less true), or whether its category is the true one (1 or 0).
template <typename Value>
double index_of(const StudyRunMaps& r, Value value) {
  return figure_of(r.surface.indices, value);
}
template <typename Value>
double index_error(const StudyRunMaps& r, Value value) {
  if (!r.surface.indices || !r.truth.indices) return kNotAvailable;
  return value(*r.surface.indices) - value(*r.truth.indices);
}
template <typename Value>
double aberration_error(const StudyRunMaps& r, Value value) {
  if (!r.surface.aberrations || !r.truth.aberrations) return kNotAvailable;
  return value(*r.surface.aberrations) - value(*r.truth.aberrations);
}
template <typename Category>
double detected(const StudyRunMaps& r, Category category) {
  if (!r.surface.indices || !r.truth.indices) return kNotAvailable;
  return category(*r.surface.indices) == category(*r.truth.indices) ? 1.0 : 0.0;
}

constexpr StudyFigure kFigures[] = {
    {"pv_um", "PV", "µm", false,
     [](const StudyRunMaps& r) { return r.stats.pv * kMicronsPerMm; }},
    {"rms_um", "RMS", "µm", false,
     [](const StudyRunMaps& r) { return r.stats.rms * kMicronsPerMm; }},
    {"mean_um", "mean", "µm", false,
     [](const StudyRunMaps& r) { return r.stats.mean * kMicronsPerMm; }},
    {"coverage", "coverage", "", false,
     [](const StudyRunMaps& r) {
       return mask_coverage(r.measured, r.geometry.field_x, r.mask_radius);
     }},
    {"order_errors", "order errors", "", true,
     [](const StudyRunMaps& r) {
       const double step = order_height_step(r.period, r.pixel_size, r.angle);
       return static_cast<double>(
           order_error_count(r.residual, r.measured, r.geometry.field_x, r.mask_radius, step));
     }},
    {"fit_radius_mm", "best-fit radius", "mm", false,
     [](const StudyRunMaps& r) {
       return figure_of(r.surface.sphere, [](const SphereFigure& s) { return s.radius_mm; });
     }},
    {"flat_k_D", "flat K", "D", false,
     [](const StudyRunMaps& r) {
       return figure_of(r.surface.keratometry, [](const KeratometryResult& k) { return k.flat_power; });
     }},
    {"steep_k_D", "steep K", "D", false,
     [](const StudyRunMaps& r) {
       return figure_of(r.surface.keratometry, [](const KeratometryResult& k) { return k.steep_power; });
     }},
    {"axis_deg", "axis", "°", false,
     [](const StudyRunMaps& r) {
       return figure_of(r.surface.keratometry,
                        [](const KeratometryResult& k) { return k.axis_deg.value_or(kNotAvailable); });
     }},
    {"astig_um", "astigmatism", "µm", false,
     [](const StudyRunMaps& r) {
       // The magnitude of the pair j = 3 and j = 5 (oblique and vertical
       // astigmatism).
       return figure_of(r.surface.zernike, [](const ZernikeFigure& z) {
         return z.coefficients_um.size() > 5 ? vector_length({z.coefficients_um[3], z.coefficients_um[5]})
                                             : kNotAvailable;
       });
     }},
    {"conic_q", "conic constant Q", "", false,
     [](const StudyRunMaps& r) {
       return figure_of(r.surface.conic, [](const ConicFigure& c) { return c.q; });
     }},
    // The clinical figures (OSA/ANSI over a 6 mm pupil, screening indices),
    // their errors against the exact surface and whether the measured
    // category is the true one.
    {"hoa_rms_um", "higher-order RMS", "µm", false,
     [](const StudyRunMaps& r) {
       return figure_of(r.surface.aberrations, [](const CornealAberrations& a) { return a.higher_order_rms_um; });
     }},
    {"z40_um", "Z(4, 0)", "µm", false,
     [](const StudyRunMaps& r) {
       return figure_of(r.surface.aberrations, [](const CornealAberrations& a) { return a.spherical_um; });
     }},
    {"central_k_D", "central K", "D", false,
     [](const StudyRunMaps& r) { return index_of(r, [](const KeratoconusIndices& k) { return k.central_k_D; }); }},
    {"i_s_D", "I-S", "D", false,
     [](const StudyRunMaps& r) { return index_of(r, [](const KeratoconusIndices& k) { return k.i_s_D; }); }},
    {"srax_deg", "SRAX", "°", false,
     [](const StudyRunMaps& r) { return index_of(r, [](const KeratoconusIndices& k) { return k.srax_deg; }); }},
    {"kisa_percent", "KISA%", "%", false,
     [](const StudyRunMaps& r) { return index_of(r, [](const KeratoconusIndices& k) { return k.kisa_percent; }); }},
    {"hoa_error_um", "higher-order RMS error", "µm", false,
     [](const StudyRunMaps& r) {
       return aberration_error(r, [](const CornealAberrations& a) { return a.higher_order_rms_um; });
     }},
    {"z40_error_um", "Z(4, 0) error", "µm", false,
     [](const StudyRunMaps& r) { return aberration_error(r, [](const CornealAberrations& a) { return a.spherical_um; }); }},
    {"i_s_error_D", "I-S error", "D", false,
     [](const StudyRunMaps& r) { return index_error(r, [](const KeratoconusIndices& k) { return k.i_s_D; }); }},
    {"srax_error_deg", "SRAX error", "°", false,
     [](const StudyRunMaps& r) { return index_error(r, [](const KeratoconusIndices& k) { return k.srax_deg; }); }},
    {"kisa_error_percent", "KISA% error", "%", false,
     [](const StudyRunMaps& r) { return index_error(r, [](const KeratoconusIndices& k) { return k.kisa_percent; }); }},
    {"i_s_detected", "I-S category as true", "", false,
     [](const StudyRunMaps& r) { return detected(r, [](const KeratoconusIndices& k) { return k.i_s_category; }); }},
    {"kisa_detected", "KISA% category as true", "", false,
     [](const StudyRunMaps& r) { return detected(r, [](const KeratoconusIndices& k) { return k.kisa_category; }); }},
};

}  // namespace

std::span<const StudyFigure> study_figures() { return kFigures; }

int find_study_figure(std::string_view name) {
  for (std::size_t i = 0; i < std::size(kFigures); ++i)
    if (name == kFigures[i].name) return static_cast<int>(i);
  return -1;
}

std::string figure_title(const StudyFigure& figure) {
  std::string title = figure.label;
  if (*figure.unit != '\0') title += std::string(" [") + figure.unit + "]";
  return title;
}
