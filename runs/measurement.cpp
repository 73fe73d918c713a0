#include "runs/measurement.h"

#include <new>
#include <string>

#include "analysis/reference_sphere.h"
#include "common/errors.h"
#include "common/settings_file.h"
#include "common/text_to_number.h"
#include "common/work_files.h"
#include "settings/channel_settings.h"
#include "settings/method_settings.h"
#include "simulation/fringe_frames.h"
#include "runs/picture_scan.h"
#include "runs/profile_run.h"
#include "runs/simulation_run.h"
#include "settings/settings_check.h"
#include "settings/surface_settings.h"
#include "scan/default_par.h"
#include "simulation/fringe_synthesis.h"
#include "simulation/random_generator.h"

namespace {

// "profile" after the scan: the profile as read onto the map, the perfect
// sphere through its apex, the difference inside the mask.
void compare_with_sphere(const MeasurementSettings& s, Measurement& m) {
  HeightMatrix& map = m.maps.height_map;
  place_measured(m.profile, map, m.maps.profile);
  m.maps.measured_map = map;
  const double radius = text_to_double(settings_value(s.image, "Radius"));
  m.mask_radius = text_to_double(settings_value(s.scan, "MaskRadius"));
  sphere_through_apex(radius, m.maps.profile, map, m.maps.sphere_map);
  subtract_sphere(m.mask_radius, m.maps.profile, map, m.maps.sphere_map);
}

}  // namespace

SimParams measurement_sim_params(const MeasurementSettings& s) {
  SimParams params;
  load_sim_params(params, s.scan, [&s] { return s.image; });
  params.surface = channel_settings_surface(s.channel == 1 ? 1 : 0, s.surface);
  return params;
}

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

void sphere_through_apex(double radius, const ProfileGeometry& g, const HeightMatrix& map, HeightMatrix& sphere) {
  const int c = kMapSide / 2;
  const double apex = (map(c - 1, c) + map(c + 1, c) + map(c, c - 1) + map(c, c + 1)) * 0.25;
  perfect_sphere(radius, g.field_x, kMapSide, 0.0, 0.0, apex, sphere);
}

void subtract_sphere(double mask_radius, const ProfileGeometry& g, HeightMatrix& map, const HeightMatrix& sphere) {
  masked_difference(g.field_x, g.field_x * 0.5, g.field_x * 0.5, mask_radius, map, sphere, map);
}

namespace {

// Releases a profile grid however the measurement ends.
struct GridGuard {
  ScnMatrix grid{};
  ~GridGuard() { mat_free(&grid); }
};

// "apply" then "profile" for a method other than the classic one: the frame
// set, then the method on it (the engine's quadrature on the one frame, at
// its period, for Method=quadrature with error sources).
Measurement measure_frames(const MeasurementSettings& s, const MethodSettings& method, MeasurementContext& context,
                           bool keep_picture) {
  const int channel = s.channel == 1 ? 1 : 0;
  Measurement m;
  m.params = measurement_sim_params(s);
  m.params.noise = s.noise;
  m.params.dynamic = s.contrast;
  m.params.errors = method.errors;
  const int32_t max_noise = text_to_int(s.max_noise_text);
  require_usable_surface(m.params.surface);
  const FrameSet set = method_frame_set(method, m.params.fringe_period);
  uint64_t generator = seeded_state(s.seed);
  std::vector<GreyImageOwner> frames = make_fringe_frames(m.params, set, max_noise, kAdditiveRange, generator);
  if (frames.empty()) throw file_error(FileAction::open, fringe_image_file(channel));
  text_to_int(settings_value(s.scan, "NFilt"));

  ScnPar par = kDefaultScnPar;
  load_scan_par(&par, ProfileFileText::of_text(lines_text(s.scan)), scan_section);
  const MethodPlan plan = method_plan(method, par.LambdaF);
  GridGuard measured;
  const ScnMatrix* profile = &measured.grid;
  if (method.method == FringeMethod::quadrature) {
    par.LambdaF = plan.periods.back();
    GreyImageOwner scanned;
    if (keep_picture) {
      scanned.reset(img_create_rows_unfilled(frames[0]->type, frames[0]->width, frames[0]->height));
      if (!scanned) throw std::bad_alloc();
      img_copy(scanned.get(), frames[0].get());
    }
    if (context.engine.scan(scanned ? *scanned : *frames[0], par) != ScanEngine::Outcome::scanned)
      throw file_error(FileAction::read, fringe_image_file(channel), ": the engine cannot take the picture");
    profile = &context.engine.profile();
  } else {
    std::vector<const GreyImage*> given;
    for (const GreyImageOwner& frame : frames) given.push_back(frame.get());
    context.methods.profile(given, plan, par, measured.grid);
  }
  require_readable_profile(*profile, profile_file(channel));
  m.profile = profile_as_read(*profile);
  compare_with_sphere(s, m);
  if (keep_picture) m.picture = std::move(frames[0]);
  return m;
}

}  // namespace

Measurement measure(const MeasurementSettings& s, MeasurementContext& context, bool keep_picture) {
  const int channel = s.channel == 1 ? 1 : 0;
  // Refused before anything is made.
  const MethodSettings method = read_method_settings(s.method, method_file(channel));
  if (!method.classic()) return measure_frames(s, method, context, keep_picture);
  Measurement m;

  // "apply", in the order its steps read their texts.
  m.params = measurement_sim_params(s);
  m.params.noise = s.noise;
  m.params.dynamic = s.contrast;
  const int32_t max_noise = text_to_int(s.max_noise_text);
  require_usable_surface(m.params.surface);
  uint64_t generator = seeded_state(s.seed);
  GreyImageOwner picture = make_fringe_picture(m.params, max_noise, kAdditiveRange, generator);
  // No picture: "apply" would have written none, and "profile" finds none.
  if (!picture) throw file_error(FileAction::open, fringe_image_file(channel));
  // The display smoothing's pass count, which "apply" reads after the synthesis.
  text_to_int(settings_value(s.scan, "NFilt"));

  // "profile"
  ScnPar par = kDefaultScnPar;
  load_scan_par(&par, ProfileFileText::of_text(lines_text(s.scan)), scan_section);
  GreyImageOwner scanned;
  if (keep_picture) {
    scanned.reset(img_create_rows_unfilled(picture->type, picture->width, picture->height));
    if (!scanned) throw std::bad_alloc();
    img_copy(scanned.get(), picture.get());
  }
  GreyImage& given = scanned ? *scanned : *picture;
  if (context.engine.scan(given, par) != ScanEngine::Outcome::scanned)
    throw file_error(FileAction::read, fringe_image_file(channel), ": the engine cannot take the picture");
  require_readable_profile(context.engine.profile(), profile_file(channel));
  m.profile = profile_as_read(context.engine.profile());
  compare_with_sphere(s, m);
  if (keep_picture) m.picture = std::move(picture);
  return m;
}
