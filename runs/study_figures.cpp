#include "runs/study_figures.h"

#include <string>

#include "analysis/residual_figures.h"

namespace {

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
