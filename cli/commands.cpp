#include "cli/commands.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <stdexcept>

#include "analysis/height_text_file.h"
#include "cli/option_checks.h"
#include "cli/quality_options.h"
#include "cli/workspace.h"
#include "common/errors.h"
#include "common/replace_file.h"
#include "common/round_trip_number.h"
#include "common/settings_file.h"
#include "common/text_to_number.h"
#include "common/work_files.h"
#include "formats/frame_picture.h"
#include "formats/picture_writers.h"
#include "formats/point_cloud.h"
#include "render/colour_map.h"
#include "runs/channel_frames.h"
#include "settings/channel_settings.h"
#include "exports/data_export.h"
#include "runs/picture_scan.h"
#include "settings/settings_check.h"
#include "runs/simulation_run.h"
#include "settings/surface_settings.h"
#include "settings/system_settings.h"

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

// The kinds of picture `render` writes, by the output's extension.
enum class PictureKind { bmp, png };

PictureKind picture_kind(const std::string& out) {
  std::string extension = std::filesystem::path(out).extension().string();
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (extension == ".bmp") return PictureKind::bmp;
  if (extension == ".png") return PictureKind::png;
  throw std::invalid_argument("--out " + out + ": the picture is written as .bmp or .png, " +
                              (extension.empty() ? std::string("and the name ends in neither")
                                                 : "not as " + extension));
}

std::string number(double v) {
  if (!std::isfinite(v)) return "null";
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", v);
  return text;
}

}  // namespace

std::vector<std::string> cmd_init(const std::string& dir, bool force) {
  std::error_code error;
  std::filesystem::create_directories(dir, error);
  if (error) throw directory_error(FileAction::create, dir, ": " + error.message());
  if (force) {
    write_default_settings(dir);
    return {};
  }
  // Settings the user edited stay; init on a workspace is harmless.
  const std::vector<std::string> written = write_missing_default_settings(dir);
  std::vector<std::string> kept;
  for (int channel : {0, 1})
    for (const char* file : {channel_files(channel).scan, channel_files(channel).image}) {
      const std::string path = (std::filesystem::path(dir) / file).string();  // as written names it
      if (std::find(written.begin(), written.end(), path) == written.end())
        kept.push_back((std::filesystem::path(dir) / std::filesystem::path(file).filename()).string());
    }
  return kept;
}

MethodSettings resolved_method(int channel, const MethodOverrides& overrides) {
  const ChannelSettings settings = workspace_settings(channel);
  return apply_method_overrides(read_method_settings(settings.method, method_file(channel)), overrides);
}

uint32_t cmd_simulate(const SimulateOptions& options, std::ostream* progress) {
  require_in_domain("--channel", options.channel, domains::channel);
  require_in_domain("--contrast", options.contrast, domains::unit);
  require_in_domain("--noise", options.noise, domains::unit);
  require_in_domain("--max-noise", options.max_noise, domains::max_noise);
  if (options.passes) require_in_domain("--passes", *options.passes, domains::passes);
  const ChannelSettings settings = workspace_settings(options.channel);
  SimParams params = channel_sim_params(options.channel);
  params.surface = options.surface.empty() ? channel_settings_surface(options.channel, settings.surface)
                                           : parse_surface_text(options.surface);
  SimulationInputs in;
  in.channel = options.channel;
  in.dynamic = options.contrast;
  in.noise = options.noise;
  in.seed = options.seed.value_or(static_cast<uint32_t>(std::time(nullptr)));
  in.max_noise_text = options.max_noise;
  in.passes_text = options.passes.value_or(settings_texts_of(settings).filters);
  in.method = resolved_method(options.channel, options.method);
  if (!options.system.empty()) in.system = read_system_file(options.system, params.x_pixels, params.y_pixels, params.radius);
  const std::string warning = coarse_period_warning(*in.method, params.fringe_period, params.x_pixels);
  if (!warning.empty()) std::cerr << "fringe: warning: " << warning << '\n';
  if (options.method.steps && in.method->method != FringeMethod::phase_shift)
    std::cerr << "fringe: warning: --steps counts the frames of phase-shift; the " << fringe_method_name(in.method->method)
              << " method measures one frame\n";
  StreamObserver observer(progress);
  run_simulation_unseen(in, params, observer);
  return in.seed;
}

ProfileResult cmd_profile(int channel, std::ostream* progress, ProfileOutputs* outputs,
                          const std::optional<MethodSettings>& method, QualityCheck* quality,
                          const ProfilePoints& extra) {
  const std::optional<PointFormat> format =
      extra.points_file.empty() ? std::nullopt : point_format_of(extra.points_file);
  if (!extra.points_file.empty() && !format)
    throw std::invalid_argument("--points: \"" + extra.points_file + "\" is not a .ply or .xyz file");
  const ChannelSettings settings = workspace_settings(channel);
  require_file(fringe_image_file(channel),
               " (run 'fringe simulate' first to write the fringe image)");
  std::optional<OpticalSystem> system;
  if (!extra.system.empty()) {
    const SimParams sim = channel_sim_params(channel);
    system = read_system_file(extra.system, sim.x_pixels, sim.y_pixels, sim.radius);
  }
  UnseenProfile profile;
  StreamObserver observer(progress);
  const ChannelSettingsTexts texts = settings_texts_of(settings);
  run_profile_unseen(channel, texts.radius, texts.maskradius, profile, observer, method, quality, system,
                     format.has_value());
  if (format)
    replace_file(extra.points_file,
                 *format == PointFormat::ply ? ply_points_bytes(profile.points) : xyz_points_bytes(profile.points));
  if (!profile.steps_warning.empty()) std::cerr << "fringe: warning: " << profile.steps_warning << '\n';
  ProfileResult result;
  if (quality != nullptr) result.quality = summarise_quality(quality->map);
  result.method = profile.method_used;
  const ChannelMaps& maps = profile.channels[channel == 1 ? 1 : 0];
  result.geometry = maps.profile;
  result.mask_radius = profile.mask_radius;
  try {
    result.surface = channel_settings_surface(channel, settings.surface);
  } catch (const SettingsError&) {
    // Not needed to profile; `measure --surface` stands in for the file.
  }
  result.stats = mask_statistics(maps.height_map, result.geometry.field_x, result.mask_radius);
  if (outputs != nullptr) {
    outputs->channel_map = maps.height_map;
    outputs->measured_map = maps.measured_map;
    outputs->sphere_map = maps.sphere_map;
    outputs->map_image = profile.map_image;
  }
  return result;
}

void cmd_scan(const std::string& image, const std::string& ini, const std::string& section,
              const std::optional<std::string>& reference, const std::string& out, QualityCheck* quality) {
  require_file(image, "");
  require_file(ini, "");
  if (reference) require_file(*reference, "");
  check_scan_settings(read_lines(ini), ini, section);
  scan_picture(image, reference, ini, section, out, Durability::synced, quality);
}

void cmd_scan_frames(const std::vector<std::string>& frames, const std::string& ini, const std::string& section,
                     const MethodOverrides& overrides, const std::string& out, QualityCheck* quality) {
  const MethodSettings method = apply_method_overrides(MethodSettings{}, overrides);
  if (method.method == FringeMethod::quadrature)
    throw std::invalid_argument("--method: the frame set is measured by phase-shift or fourier; "
                                "scan one picture with the engine's quadrature without --method");
  require_file(ini, "");
  const std::vector<std::string> lines = read_lines(ini);
  check_scan_settings(lines, ini, section);
  const ScnPar par = scan_par_of_lines(lines, section);
  const MethodPlan plan = method_plan(method, par.LambdaF);
  const std::string strays = window_pictures_among(frames);
  if (const std::string refusal = frame_count_refusal(plan, frames.size()); !refusal.empty()) {
    // One period without --steps: the set's own count is most likely the steps meant.
    const bool guess = strays.empty() && method.method == FringeMethod::phase_shift && !overrides.steps &&
                       plan.periods.size() == 1 && frames.size() >= 3 && frames.size() <= 64;
    throw std::invalid_argument(refusal + ": " + counted_files(frames) + (strays.empty() ? "" : "; " + strays) +
                                (guess ? " (for a set of " + std::to_string(frames.size()) + " steps give --steps " +
                                             std::to_string(frames.size()) + ")"
                                       : ""));
  }
  if (!strays.empty()) throw std::invalid_argument(strays);
  std::vector<GreyImageOwner> pictures;
  for (const std::string& file : frames) {
    require_file(file, "");
    pictures.push_back(read_frame_picture(file));
    const std::string mismatch = frame_size_mismatch(*pictures.back(), *pictures.front(), frames.front());
    if (!mismatch.empty()) throw file_error(FileAction::read, file, ": " + mismatch);
  }
  const std::string warning = coarse_period_warning(method, par.LambdaF, pictures.front()->width);
  if (!warning.empty()) std::cerr << "fringe: warning: " << warning << '\n';
  if (const std::string steps = checked_frame_steps(pictures, plan, frames); !steps.empty())
    std::cerr << "fringe: warning: " << steps << '\n';
  write_method_profile(pictures, plan, par, out, Durability::synced, quality, frames.front());
}

void cmd_render(const std::string& heights, double min_um, double max_um, int levels,
                const std::string& out) {
  const PictureKind kind = picture_kind(out);
  require_in_domain("--min", min_um, domains::any);
  require_in_domain("--max", max_um, domains::any);
  require_in_domain("--levels", levels, domains::levels);
  if (max_um < min_um)
    throw std::invalid_argument("--max " + round_trip_text(max_um) + " lies below --min " + round_trip_text(min_um) +
                                ": the colour range runs from --min up to --max");
  const ProfileHeights grid = read_profile_grid(heights);
  const HeightMatrix& map = grid.heights;
  Picture picture;
  render_map(map, 0, map.nx() - 1, 0, map.ny() - 1, levels, picture, colour_blue, colour_red, colour_green,
             min_um / kMicronsPerMm, max_um / kMicronsPerMm);
  if (kind == PictureKind::png)
    save_png(rgb_samples(picture), out);
  else
    picture.save_bmp(out);
}

void cmd_export(int channel, const std::string& base, std::ostream* progress, QualityCheck* quality) {
  // The parameter list names the surface: a file that cannot be read stops here.
  const Surface surface = channel_settings_surface(channel, workspace_settings(channel).surface);
  ProfileOutputs out;
  const ProfileResult result = cmd_profile(channel, progress, &out, std::nullopt, quality);
  // The raw image as the workbench shows it after "apply": the smoothed one.
  const char* filtered = filtered_image_file(channel);
  Picture raw;
  raw.load_bmp(std::filesystem::exists(filtered) ? filtered : fringe_image_file(channel));
  save_data_set(base, raw, out.map_image, out.channel_map, out.measured_map,
                channel_files(channel).image,
                result.geometry.field_x, result.geometry.field_y, surface);
}

namespace {

// The cones of a surface as a JSON member, nothing without cones.
std::string cones_json(const std::vector<Cone>& cones) {
  if (cones.empty()) return "";
  std::string text = ", \"cones\": [";
  for (std::size_t k = 0; k < cones.size(); ++k) {
    const Cone& c = cones[k];
    text += std::string(k == 0 ? "" : ", ") + "{\"height_um\": " + json_number(c.height_um) +
            ", \"x_mm\": " + json_number(c.x_mm) + ", \"y_mm\": " + json_number(c.y_mm) +
            ", \"width_mm\": " + json_number(c.width_mm) + "}";
  }
  return text + "]";
}

}  // namespace

std::string measure_summary(int channel, uint32_t seed, const SimulateOptions& options,
                            const ProfileResult& r, bool json) {
  const double um = kMicronsPerMm;
  // The surface this measurement simulated; the sphere's output stays as it was.
  const Surface surface =
      options.surface.empty() ? r.surface.value_or(Surface{}) : parse_surface_text(options.surface);
  const bool sphere = drawn_as_plain_sphere(surface);
  std::ostringstream s;
  if (json) {
    s << "{\"channel\": " << channel << ", \"seed\": " << seed
      << ", \"contrast\": " << json_number(options.contrast) << ", \"noise\": " << json_number(options.noise)
      << ", \"field_mm\": " << json_number(r.geometry.field_x)
      << ", \"mask_radius_mm\": " << json_number(r.mask_radius) << ", \"mask_cells\": " << r.stats.count
      << ", \"pv_um\": " << json_number(r.stats.pv * um) << ", \"rms_um\": " << json_number(r.stats.rms * um)
      << ", \"mean_um\": " << json_number(r.stats.mean * um);
    if (!sphere)
      s << ", \"surface\": {\"model\": " << json_string(surface_model_name(surface.model))
        << ", \"rx_mm\": " << json_number(surface.rx) << ", \"ry_mm\": " << json_number(surface.ry)
        << ", \"axis_deg\": " << json_number(surface.axis_deg) << ", \"q\": " << json_number(surface.q)
        << cones_json(surface.cones) << "}";
    if (r.method != "quadrature" && !r.method.empty()) s << ", \"method\": " << json_string(r.method);
    if (r.quality) s << ", " << quality_json_keys(*r.quality);
    s << "}";
  } else {
    s << "channel " << channel << ": seed " << seed << ", contrast " << number(options.contrast)
      << ", noise " << number(options.noise) << ", " << profile_summary(r);
    // A second line, so that the first stays as scripts read it.
    if (!sphere) s << "\nsurface: " << surface_summary(surface);
    if (r.method != "quadrature" && !r.method.empty()) s << "\nmethod: " << r.method;
    if (r.quality) s << '\n' << quality_line(*r.quality);
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
