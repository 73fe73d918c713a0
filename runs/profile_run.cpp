#include "runs/profile_run.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <stdexcept>

#include "analysis/height_text_file.h"
#include "analysis/reference_sphere.h"
#include "common/errors.h"
#include "common/text_to_number.h"
#include "common/work_files.h"
#include "methods/triangulated_points.h"
#include "runs/channel_frames.h"
#include "runs/measured_points.h"
#include "settings/channel_settings.h"
#include "settings/system_settings.h"
#include "common/settings_file.h"
#include "runs/picture_scan.h"
#include "render/colour_map.h"

namespace {

constexpr int kProgressMax = 100;

const char* const kExtracting = "extracting height data             ";
const char* const kReference = "extracting reference heights               ";
const char* const kDifferences = "calculating differences             ";
const char* const kDone = "done                               ";

}  // namespace

void require_readable(const char* file) {
  std::FILE* f = std::fopen(file, "rb");
  if (f == nullptr) throw file_error(FileAction::open, file);
  std::fclose(f);
}

void fill_single_gaps(HeightMatrix& map) {
  for (int x = 1; x < kMapSide - 1; ++x) {
    for (int y = 0; y < kMapSide; ++y) {
      if (map(x, y) != kNoHeight) continue;
      const double left = map(x - 1, y);
      const double right = map(x + 1, y);
      if (left != kNoHeight && right != kNoHeight) map(x, y) = (left + right) * 0.5;
    }
  }
}

namespace {

// The channel's system file checked against its image settings' picture and
// sphere; telecentric without one.
OpticalSystem channel_system_of_files(int channel) {
  std::error_code error;
  if (!std::filesystem::exists(system_file(channel), error)) return OpticalSystem{};
  const SimParams sim = channel_sim_params(channel);
  return channel_system(channel, sim.x_pixels, sim.y_pixels, sim.radius);
}

}  // namespace

void run_profile_comparison(ProfileRun& run, RunObserver& observer) {
  const bool first = run.channel != 1;
  const int channel = first ? 0 : 1;
  const char* const image_file = fringe_image_file(channel);
  const char* const profile = profile_file(channel);
  ChannelMaps& maps = *run.channels[static_cast<std::size_t>(channel)];
  HeightMatrix& map = maps.height_map;
  require_readable(image_file);

  observer.status(kExtracting);
  // A fringe image the engine cannot read, or a profile it could not write,
  // stops the run here: the earlier result must not pass for the new one.
  const MethodSettings method = run.method ? *run.method : channel_method_settings(channel);
  if (run.quality != nullptr) run.quality->settings_min_valid = method.min_valid;
  const OpticalSystem system = run.system ? *run.system : channel_system_of_files(channel);
  if (method.classic() && system.pinhole()) throw std::invalid_argument(kPinholeNeedsPhase);
  if (method.classic()) {
    run.method_used = method_summary(method, 0.0);
    require_single_picture(channel);
    scan_picture(image_file, std::nullopt, channel_files(channel).scan, scan_section, profile,
                 Durability::atomic_only, run.quality);  // a working file
  } else {
    const std::vector<std::string> scan_lines = read_lines(channel_files(channel).scan);
    run.method_used = method_summary(method, scan_par_of_lines(scan_lines).LambdaF);
    run.steps_warning = scan_channel_frames(channel, method, scan_lines, Durability::atomic_only, run.quality, system,
                                            run.points);
  }
  // The earlier maps stay when the profile cannot be read back.
  const ProfileHeights whole = read_profile_grid(profile);
  if (run.points != nullptr && method.classic()) {
    const ScnPar par = scan_par_of_lines(read_lines(channel_files(channel).scan));
    run.points->clear();
    profile_points(whole, par, par.MaskXOfs, par.MaskYOfs, *run.points);
  }

  observer.status(kReference);
  if (first) observer.progress(static_cast<int>(std::nearbyint(kProgressMax * 0.9)));
  observer.status(kDifferences);

  compare_with_sphere(
      whole, maps, [&run] { return SphereRadii{text_to_double(run.radius_text), text_to_double(run.mask_radius_text)}; },
      [channel](const ChannelMaps& made) {
        // A working file, written again by every run.
        write_heights(sphere_file(channel), made.sphere_map, kMapSide, kMapSide, made.profile.step_x,
                      made.profile.step_y, Durability::atomic_only);
      });
  render_full_map(map, run.map_image, run.colour_min, run.colour_max);
  observer.picture_changed();

  subtract_maps(run.channels[0]->height_map, run.channels[1]->height_map, run.difference_map, kMapSide, kMapSide);
  render_full_map(run.difference_map, run.diff_image, run.colour_min_diff, run.colour_max_diff);
  observer.picture_changed();

  observer.progress(static_cast<int>(std::nearbyint(kProgressMax * 1.0)));
  observer.status(kDone);
}

void run_profile_unseen(int channel, const std::string& radius_text, const std::string& mask_radius_text,
                        UnseenProfile& out, RunObserver& observer, const std::optional<MethodSettings>& method,
                        QualityCheck* quality, const std::optional<OpticalSystem>& system, bool keep_points) {
  ProfileRun run{.channel = channel,
                 .channels = {&out.channels[0], &out.channels[1]},
                 .difference_map = out.difference_map,
                 .radius_text = radius_text,
                 .mask_radius_text = mask_radius_text,
                 .map_image = out.map_image,
                 .diff_image = out.diff_image,
                 .method = method,
                 .system = system,
                 .points = keep_points ? &out.points : nullptr,
                 .quality = quality};
  run_profile_comparison(run, observer);
  out.method_used = run.method_used;
  out.steps_warning = run.steps_warning;
  out.mask_radius = text_to_double(mask_radius_text);
}
