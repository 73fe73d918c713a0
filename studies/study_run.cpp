#include "studies/study_run.h"

#include "analysis/mask_statistics.h"
#include "analysis/surface_figures.h"
#include "common/text_to_number.h"
#include "runs/measurement.h"
#include "runs/true_figures.h"
#include "settings/method_settings.h"
#include "settings/settings_check.h"
#include "studies/study_figures.h"

StudyRunSettings study_base_settings(const ChannelSettings& files, const std::string& method_file,
                                     const MethodOverrides& method, double contrast, double noise,
                                     const std::string& max_noise_text) {
  return measurement_settings(files, method_file, method, std::nullopt, contrast, noise, max_noise_text);
}

void check_study_run_settings(const StudyRunSettings& s) {
  const int channel = s.channel == 1 ? 1 : 0;
  check_channel_settings(channel, s.scan, s.image, s.surface);
  // As measure reads them, so that a method file it would refuse stops the
  // study here rather than failing every run.
  if (!s.method.empty()) read_method_settings(s.method, method_file(channel));
  text_to_int(s.max_noise_text);
}

std::vector<double> measure_study_run(const StudyRunSettings& s, MeasurementContext& context) {
  const Measurement m = measure(s, context);
  const ChannelMaps& maps = m.maps;
  const double field = maps.profile.field_x;
  // The figures of the surface, worked out once for all their columns.
  FigureOptions options;
  options.power_maps = false;  // no column shows them
  options.cache = &context.figures;
  const SurfaceFigures surface =
      surface_figures(SurfaceMaps{maps.measured_map, maps.sphere_map, field, m.mask_radius}, options);
  const TrueFigures& truth = context.truth.of(m.params, maps.measured_map, field, m.mask_radius);
  const StudyRunMaps run_maps{.settings = s,
                              .residual = maps.height_map,
                              .measured = maps.measured_map,
                              .sphere = maps.sphere_map,
                              .geometry = maps.profile,
                              .stats = mask_statistics(maps.height_map, field, m.mask_radius),
                              .mask_radius = m.mask_radius,
                              .period = m.params.fringe_period,
                              .pixel_size = m.params.pixel_size,
                              .angle = m.params.alpha_deg,
                              .radius = m.params.radius,
                              .surface = surface,
                              .truth = truth};
  std::vector<double> values;
  for (const StudyFigure& figure : study_figures()) values.push_back(figure.compute(run_maps));
  return values;
}

std::vector<double> measure_study_run(const StudyRunSettings& s) {
  MeasurementContext context;
  return measure_study_run(s, context);
}
