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
