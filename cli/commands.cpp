#include "cli/commands.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <sstream>

#include "runs/data_export.h"
#include "analysis/height_text_file.h"
#include "cli/workspace.h"
#include "common/errors.h"
#include "common/round_trip_number.h"
#include "common/settings_file.h"
#include "common/text_to_number.h"
#include "common/work_files.h"
#include "runs/channel_settings.h"
#include "render/colour_map.h"
#include "runs/picture_scan.h"
#include "runs/simulation_run.h"
#include "runs/surface_settings.h"

namespace {

// Prints each status step without its trailing blanks.
class StreamObserver final : public RunObserver {
 public:
  explicit StreamObserver(std::ostream* out) : out_(out) {}
  void status(const std::string& text) override {
    if (out_ == nullptr) return;
    const auto end = text.find_last_not_of(' ');
    *out_ << (end == std::string::npos ? text : text.substr(0, end + 1)) << '\n';
  }
  void progress(int) override {}

 private:
  std::ostream* out_;
};

std::string number(double v) {
  if (!std::isfinite(v)) return "null";
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", v);
  return text;
}

}  // namespace

void cmd_init(const std::string& dir) {
  std::error_code error;
  std::filesystem::create_directories(dir, error);
  if (error) throw directory_error(FileAction::create, dir, ": " + error.message());
  write_default_settings(dir);
}

uint32_t cmd_simulate(const SimulateOptions& options, std::ostream* progress) {
  const ChannelSettings settings = workspace_settings(options.channel);
  SimParams params = workspace_sim_params(options.channel);
  params.surface =
      options.surface.empty() ? channel_surface(options.channel) : parse_surface_text(options.surface);
  SimulationInputs in;
  in.channel = options.channel;
  in.dynamic = options.contrast;
  in.noise = options.noise;
  in.seed = options.seed.value_or(static_cast<uint32_t>(std::time(nullptr)));
  in.max_noise_text = options.max_noise;
  in.passes_text = options.passes.value_or(settings_value(settings.scan, "NFilt"));
  StreamObserver observer(progress);
  run_simulation_unseen(in, params, observer);
  return in.seed;
}

ProfileResult cmd_profile(int channel, std::ostream* progress, ProfileOutputs* outputs) {
  const ChannelSettings settings = workspace_settings(channel);
  require_file(fringe_image_file(channel),
               " (run 'fringe simulate' first to write the fringe image)");
  UnseenProfile profile;
  StreamObserver observer(progress);
  run_profile_unseen(channel, settings_value(settings.image, "Radius"), settings_value(settings.scan, "MaskRadius"),
                     profile, observer);
  ProfileResult result;
  result.geometry = profile.geometry;
  result.mask_radius = profile.mask_radius;
  result.stats = mask_statistics(profile.channel_map(channel), result.geometry.field_x, result.mask_radius);
  if (outputs != nullptr) {
    outputs->channel_map = profile.channel_map(channel);
    outputs->measured_map = profile.measured_map;
    outputs->sphere_map = profile.sphere_map;
    outputs->map_image = profile.map_image;
  }
  return result;
}

void cmd_scan(const std::string& image, const std::string& ini, const std::string& section,
              const std::optional<std::string>& reference, const std::string& out) {
  require_file(image, "");
  require_file(ini, "");
  if (reference) require_file(*reference, "");
  scan_picture(image, reference, ini, section, out);
}

void cmd_render(const std::string& heights, double min_um, double max_um, int levels,
                const std::string& out) {
  HeightMatrix map;
  read_profile(heights, map, kMapSide, kMapSide);
  Picture image(kMapSide, kMapSide);
  render_full_map(map, image, min_um / kMicronsPerMm, max_um / kMicronsPerMm, levels);
  image.save_bmp(out);
}

void cmd_export(int channel, const std::string& base, std::ostream* progress) {
  ProfileOutputs out;
  const ProfileResult result = cmd_profile(channel, progress, &out);
  // The raw image as the workbench shows it after "apply": the smoothed one.
  const char* filtered = filtered_image_file(channel);
  Picture raw;
  raw.load_bmp(std::filesystem::exists(filtered) ? filtered : fringe_image_file(channel));
  save_data_set(base, raw, out.map_image, out.channel_map, out.measured_map,
                channel_files(channel).image,
                result.geometry.field_x, result.geometry.field_y);
}

std::string measure_summary(int channel, uint32_t seed, const SimulateOptions& options,
                            const ProfileResult& r, bool json) {
  const double um = kMicronsPerMm;
  std::ostringstream s;
  if (json) {
    s << "{\"channel\": " << channel << ", \"seed\": " << seed
      << ", \"contrast\": " << json_number(options.contrast) << ", \"noise\": " << json_number(options.noise)
      << ", \"field_mm\": " << json_number(r.geometry.field_x)
      << ", \"mask_radius_mm\": " << json_number(r.mask_radius) << ", \"mask_cells\": " << r.stats.count
      << ", \"pv_um\": " << json_number(r.stats.pv * um) << ", \"rms_um\": " << json_number(r.stats.rms * um)
      << ", \"mean_um\": " << json_number(r.stats.mean * um) << "}";
  } else {
    s << "channel " << channel << ": seed " << seed << ", contrast " << number(options.contrast)
      << ", noise " << number(options.noise) << ", " << profile_summary(r);
  }
  return s.str();
}

std::string profile_summary(const ProfileResult& r) {
  const double um = kMicronsPerMm;
  std::ostringstream s;
  s << "PV " << number(r.stats.pv * um) << " um, RMS " << number(r.stats.rms * um) << " um, mean "
    << number(r.stats.mean * um) << " um inside the mask (" << r.stats.count << " cells, radius "
    << number(r.mask_radius) << " mm)";
  return s.str();
}

std::string summary_number(double value) { return number(value); }

std::string json_number(double value) { return std::isfinite(value) ? round_trip_text(value) : "null"; }
