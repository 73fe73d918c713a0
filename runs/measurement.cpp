#include "runs/measurement.h"

#include <new>
#include <string>

#include "analysis/reference_sphere.h"
#include "common/errors.h"
#include "common/settings_file.h"
#include "common/text_to_number.h"
#include "common/work_files.h"
#include "runs/channel_settings.h"
#include "runs/picture_scan.h"
#include "runs/profile_run.h"
#include "runs/simulation_run.h"
#include "runs/settings_check.h"
#include "runs/surface_settings.h"
#include "scan/default_par.h"
#include "simulation/fringe_synthesis.h"
#include "simulation/random_generator.h"

namespace {

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

Measurement measure(const MeasurementSettings& s, MeasurementContext& context, bool keep_picture) {
  const int channel = s.channel == 1 ? 1 : 0;
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
  HeightMatrix& map = m.maps.height_map;
  place_measured(m.profile, map, m.maps.profile);
  m.maps.measured_map = map;
  const double radius = text_to_double(settings_value(s.image, "Radius"));
  m.mask_radius = text_to_double(settings_value(s.scan, "MaskRadius"));
  sphere_through_apex(radius, m.maps.profile, map, m.maps.sphere_map);
  subtract_sphere(m.mask_radius, m.maps.profile, map, m.maps.sphere_map);
  if (keep_picture) m.picture = std::move(picture);
  return m;
}
