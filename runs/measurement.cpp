#include "runs/measurement.h"

#include <cmath>
#include <new>
#include <span>
#include <stdexcept>
#include <string>

#include "analysis/reference_sphere.h"
#include "common/errors.h"
#include "common/work_files.h"
#include "methods/triangulated_points.h"
#include "optics/pinhole_rig.h"
#include "scan/profile_calculation.h"
#include "runs/measured_points.h"
#include "runs/picture_scan.h"
#include "runs/profile_run.h"
#include "runs/simulation_run.h"
#include "settings/method_settings.h"
#include "settings/surface_settings.h"
#include "simulation/fringe_frames.h"
#include "simulation/fringe_synthesis.h"
#include "simulation/random_generator.h"

namespace {

void place_measured(const ProfileHeights& profile, HeightMatrix& map, ProfileGeometry& g) {
  const ProfileGrid grid = place_profile(profile, map, kMapSide, kMapSide);
  g.step_x = grid.step_x;
  g.step_y = grid.step_y;
  g.cols = grid.side_x;
  g.rows = grid.side_y;
  g.field_x = g.cols * g.step_x;
  g.field_y = g.rows * g.step_y;
  fill_single_gaps(map);
}

// A copy of the picture for the engine, which takes the pixels it is given.
GreyImageOwner copy_of(const GreyImage& picture) {
  GreyImageOwner copy(img_create_rows_unfilled(picture.type, picture.width, picture.height));
  if (!copy) throw std::bad_alloc();
  img_copy(copy.get(), &picture);
  return copy;
}

}  // namespace

MeasurementSettings measurement_settings(const ChannelSettings& files, const std::string& method_file,
                                         const MethodOverrides& method, const std::optional<Surface>& surface,
                                         double contrast, double noise, const std::string& max_noise_text,
                                         uint32_t seed) {
  MeasurementSettings s;
  s.channel = files.channel == 1 ? 1 : 0;
  s.scan = files.scan;
  s.image = files.image;
  s.surface = surface ? surface_settings_lines(*surface) : files.surface;
  s.method = overridden_method_lines(files.method, method_file, method);
  s.system = files.system;
  s.contrast = contrast;
  s.noise = noise;
  s.max_noise_text = max_noise_text;
  s.seed = seed;
  return s;
}

MeasurementParameters measurement_parameters(const MeasurementSettings& s) {
  MeasurementParameters p;
  p.channel = channel_parameters(s, s.max_noise_text);
  p.contrast = s.contrast;
  p.noise = s.noise;
  p.seed = s.seed;
  return p;
}

SimParams measurement_sim_params(const MeasurementSettings& s) { return channel_sim_params(s); }

void compare_with_sphere(const ProfileHeights& profile, ChannelMaps& maps, const std::function<SphereRadii()>& radii,
                         const std::function<void(const ChannelMaps&)>& sphere_made) {
  HeightMatrix& map = maps.height_map;
  const ProfileGeometry& g = maps.profile;
  place_measured(profile, map, maps.profile);
  maps.measured_map = map;
  const SphereRadii r = radii();
  const int c = kMapSide / 2;
  const double apex = (map(c - 1, c) + map(c + 1, c) + map(c, c - 1) + map(c, c + 1)) * 0.25;
  perfect_sphere(r.radius, g.field_x, kMapSide, 0.0, 0.0, apex, maps.sphere_map);
  if (sphere_made) sphere_made(maps);
  masked_difference(g.field_x, g.field_x * 0.5, g.field_x * 0.5, r.mask_radius, map, maps.sphere_map, map);
}

Measurement measure(const MeasurementSettings& settings, MeasurementContext& context, bool keep_picture,
                    QualityCheck* quality) {
  return measure(measurement_parameters(settings), context, keep_picture, quality);
}

Measurement measure(const MeasurementParameters& p, MeasurementContext& context, bool keep_picture,
                    QualityCheck* quality) {
  const ChannelParameters& channel = p.channel;
  const MethodSettings& method = channel.method;
  Measurement m;
  m.params = channel.sim;
  m.params.noise = p.noise;
  m.params.dynamic = p.contrast;
  const OpticalSystem reconstruction = p.reconstruction.value_or(m.params.system);
  if (p.reconstruction) {
    const std::string why = system_problem(reconstruction, m.params.radius, m.params.x_pixels, m.params.y_pixels);
    if (!why.empty()) throw std::invalid_argument("the reconstruction system cannot measure: " + why);
  }

  // "apply": the classic picture, or the method's frame set (frame 0 is the
  // picture shown).
  uint64_t generator = seeded_state(p.seed);
  std::vector<GreyImageOwner> frames;
  if (method.classic()) {
    GreyImageOwner picture = make_fringe_picture(m.params, channel.max_noise, kAdditiveRange, generator);
    if (picture) frames.push_back(std::move(picture));
  } else {
    frames = make_fringe_frames(m.params, method_frame_set(method, m.params.fringe_period), channel.max_noise,
                                kAdditiveRange, generator);
  }
  // No picture: "apply" would have written none, and "profile" finds none.
  if (frames.empty()) throw file_error(FileAction::open, fringe_image_file(channel.channel));

  // "profile"
  ScnPar par = channel.scan;
  if (quality != nullptr) quality->settings_min_valid = method.min_valid;
  const std::string name = "channel " + std::to_string(channel.channel);
  GridGuard measured;
  const ScnMatrix* profile = &measured.grid;
  if (method.method == FringeMethod::quadrature && reconstruction.pinhole())
    throw std::invalid_argument(kPinholeNeedsPhase);
  if (method.method == FringeMethod::quadrature) {
    // The engine's own method on the one picture, at the frame's period.
    if (!method.classic()) par.LambdaF = method_plan(method, par.LambdaF).periods.back();
    GreyImageOwner scanned = keep_picture ? copy_of(*frames[0]) : nullptr;
    if (checked_engine_scan(context.engine, scanned ? *scanned : *frames[0], par, nullptr, quality, name) !=
        ScanEngine::Outcome::scanned)
      throw file_error(FileAction::read, fringe_image_file(channel.channel), ": the engine cannot take the picture");
    profile = &context.engine.profile();
  } else {
    std::vector<const GreyImage*> given;
    for (const GreyImageOwner& frame : frames) given.push_back(frame.get());
    const MethodPlan plan = method_plan(method, par.LambdaF);
    if (reconstruction.pinhole()) {
      const PinholeRig rig(reconstruction, m.params.offset_x, m.params.offset_y);
      PixelPoints points;
      triangulated_profile(context.methods, given, plan, par, rig, m.params.offset_x, m.params.offset_y,
                           m.params.fringe_period, measured.grid, p.keep_points ? &points : nullptr);
      checked_pinhole_profile(context.methods, given, plan, par, measured.grid, quality, name);
      if (p.keep_points) m.points = map_frame_points(points);
    } else {
      checked_method_profile(context.methods, given, plan, par, measured.grid, quality, name);
      if (p.keep_points) telecentric_points(context.methods, given, plan, par, m.params.offset_x, m.params.offset_y, m.points);
    }
  }
  require_readable_profile(*profile, profile_file(channel.channel));
  m.profile = profile_as_read(*profile);
  if (p.keep_points && method.method == FringeMethod::quadrature) profile_points(m.profile, par, m.params.offset_x, m.params.offset_y, m.points);
  compare_with_sphere(m.profile, m.maps, [&] {
    m.mask_radius = channel.comparison_mask_radius();
    return SphereRadii{m.params.radius, m.mask_radius};
  });
  if (keep_picture) m.picture = std::move(frames[0]);
  return m;
}
