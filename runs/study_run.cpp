#include "runs/study_run.h"

#include <filesystem>
#include <system_error>

#include "analysis/surface_figures.h"
#include "common/settings_file.h"
#include "common/text_to_number.h"
#include "common/work_files.h"
#include "runs/channel_settings.h"
#include "runs/profile_run.h"
#include "runs/settings_check.h"
#include "runs/simulation_run.h"
#include "runs/study_figures.h"
#include "runs/surface_settings.h"

void check_study_run_settings(const StudyRunSettings& s) {
  check_channel_settings(s.channel == 1 ? 1 : 0, s.scan, s.image, s.surface);
  text_to_int(s.max_noise_text);
}

std::vector<double> measure_study_run(const StudyRunSettings& s) {
  const int channel = s.channel == 1 ? 1 : 0;
  const ChannelFiles files = channel_files(channel);
  write_lines(files.scan, s.scan);
  write_lines(files.image, s.image);
  // Without lines the channel has no surface file and simulates its sphere.
  if (s.surface.empty()) {
    std::error_code ignored;
    std::filesystem::remove(surface_file(channel), ignored);
  } else {
    write_lines(surface_file(channel), s.surface);
  }

  // "apply": the record as start-up reads it from the files just written.
  SimParams params = channel_sim_params(channel);
  params.surface = channel_settings_surface(channel, s.surface);
  SimulationInputs in;
  in.channel = channel;
  in.dynamic = s.contrast;
  in.noise = s.noise;
  in.seed = s.seed;
  in.max_noise_text = s.max_noise_text;
  in.passes_text = settings_value(s.scan, "NFilt");
  SilentObserver silent;
  run_simulation_unseen(in, params, silent);

  // "profile"
  UnseenProfile profile;
  run_profile_unseen(channel, settings_value(s.image, "Radius"), settings_value(s.scan, "MaskRadius"), profile,
                     silent);
  const HeightMatrix& residual = profile.channel_map(channel);
  const double field = profile.geometry.field_x;
  // The figures of the surface, worked out once for all their columns.
  const SurfaceFigures surface =
      surface_figures(SurfaceMaps{profile.measured_map, profile.sphere_map, field, profile.mask_radius});
  const StudyRunMaps maps{.settings = s,
                          .residual = residual,
                          .measured = profile.measured_map,
                          .sphere = profile.sphere_map,
                          .geometry = profile.geometry,
                          .stats = mask_statistics(residual, field, profile.mask_radius),
                          .mask_radius = profile.mask_radius,
                          .period = params.fringe_period,
                          .pixel_size = params.pixel_size,
                          .angle = params.alpha_deg,
                          .radius = params.radius,
                          .surface = surface};
  std::vector<double> values;
  for (const StudyFigure& figure : study_figures()) values.push_back(figure.compute(maps));
  return values;
}
