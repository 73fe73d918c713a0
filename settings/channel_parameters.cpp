#include "settings/channel_parameters.h"

#include "common/errors.h"
#include "common/settings_file.h"
#include "common/text_to_number.h"
#include "scan/default_par.h"
#include "scan/grey_image.h"
#include "scan/private_profile.h"
#include "settings/settings_check.h"
#include "settings/surface_settings.h"
#include "settings/system_settings.h"

double ChannelParameters::comparison_mask_radius() const {
  if (!mask_radius_refusal.empty()) throw ConversionError(mask_radius_refusal);
  return mask_radius;
}

SimParams channel_sim_params(const ChannelSettings& files) {
  SimParams sim;
  load_sim_params(sim, files.scan, [&files] { return files.image; });
  sim.surface = channel_settings_surface(files.channel == 1 ? 1 : 0, files.surface);
  return sim;
}

ChannelParameters channel_parameters(const ChannelSettings& files, const std::string& max_noise_text) {
  ChannelParameters p;
  p.channel = files.channel == 1 ? 1 : 0;
  // A method file that cannot be taken stops the run before anything is made.
  p.method = read_method_settings(files.method, method_file(p.channel));
  p.sim = channel_sim_params(files);
  if (!p.method.classic()) p.sim.errors = p.method.errors;
  p.max_noise = text_to_int(max_noise_text);
  require_usable_surface(p.sim.surface);
  const auto drawable = [](int32_t side) { return side >= 1 && side <= kMaxImageSide; };
  // No picture: "apply" would have written none, and "profile" finds none.
  if (!drawable(p.sim.x_pixels) || !drawable(p.sim.y_pixels))
    throw file_error(FileAction::open, fringe_image_file(p.channel));
  // The system the pictures are taken with, checked against the picture's
  // size and the sphere.
  p.sim.system = read_system_settings(files.system, system_file(p.channel), p.sim.x_pixels, p.sim.y_pixels,
                                      p.sim.radius);
  // Read by "apply" after the synthesis, then the engine's file by "profile".
  p.smoothing_passes = text_to_int(settings_value(files.scan, "NFilt"));
  p.scan = scan_par_of_lines(files.scan);
  try {
    p.mask_radius = text_to_double(settings_value(files.scan, "MaskRadius"));
  } catch (const ConversionError& e) {
    p.mask_radius_refusal = e.what();
  }
  return p;
}

ScnPar scan_par_of_lines(const std::vector<std::string>& scan_lines, const std::string& section) {
  ScnPar par = kDefaultScnPar;
  load_scan_par(&par, ProfileFileText::of_text(lines_text(scan_lines)), section.c_str());
  return par;
}
