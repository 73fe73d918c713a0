// The measurement chain in memory: synthesis, scan, profile, comparison with
// the perfect sphere, on settings held as the lines of a channel's files and
// a context the caller owns. No static state and no work file: threads that
// each own a context measure side by side, and a measurement gives exactly
// what "apply" followed by "profile" gives through the work files for the
// same settings and seed (the profile's heights as its file states them).
//
// The file path (profile_run.h, simulation_run.h, picture_scan.h) runs the
// same pieces with its files between them.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "analysis/height_matrix.h"
#include "analysis/height_text_file.h"
#include "analysis/surface_figures.h"
#include "runs/true_figures.h"
#include "scan/grey_image.h"
#include "methods/method_engine.h"
#include "runs/quality_check.h"
#include "optics/optical_system.h"
#include "optics/vec3.h"
#include "scan/scan_engine.h"
#include "settings/channel_parameters.h"
#include "simulation/sim_params.h"
#include "simulation/surface.h"

// Spacing and extent of a channel's profile as read back.
struct ProfileGeometry {
  double step_x = 0.0;        // mm per profile point
  double step_y = 0.0;
  int cols = 0;               // both hold the side of the square crop
  int rows = 0;
  double field_x = 10.24;     // extent of the map, mm
  double field_y = 10.24;
};

// What a channel's "profile" leaves: its maps, 256 x 256, addressed (x, y)
// from the top left, heights in mm.
struct ChannelMaps {
  HeightMatrix height_map;    // measured minus sphere inside the mask
  HeightMatrix measured_map;  // as read back, single gaps filled, before the sphere
  HeightMatrix sphere_map;    // the perfect sphere through the measured apex
  ProfileGeometry profile;    // spacing and extent of the profile read back
};

// One measurement's settings: the channel's files as lines (channel,
// scan, image, surface and method; settings/channel_settings.h) and the main
// window's controls.
struct MeasurementSettings : ChannelSettings {
  double contrast = 1.0;           // 0..1, as the contrast track bar
  double noise = 0.0;              // 0..1, as the noise track bar
  std::string max_noise_text = "64";  // grey levels, the hidden box
  uint32_t seed = 1;
};

// A measurement's settings from a channel's files as read: the method
// options over its method file (named `method_file` in messages;
// overridden_method_lines), `surface` standing in for its surface file when
// given, and the controls. Throws what overridden_method_lines throws.
MeasurementSettings measurement_settings(const ChannelSettings& files, const std::string& method_file,
                                         const MethodOverrides& method, const std::optional<Surface>& surface,
                                         double contrast, double noise, const std::string& max_noise_text,
                                         uint32_t seed = 1);

// The same as numbers: the channel's parameters read once
// (settings/channel_parameters.h) and the controls.
struct MeasurementParameters {
  ChannelParameters channel;
  double contrast = 1.0;  // 0..1
  double noise = 0.0;     // 0..1
  uint32_t seed = 1;
  // The system the pictures are measured with when it is not the one that
  // took them (channel.sim.system): the cost of a wrong or simplified model.
  // One that cannot measure (system_problem) is refused with
  // std::invalid_argument before anything is made.
  std::optional<OpticalSystem> reconstruction;
  // Whether the measurement keeps its points in space (Measurement::points).
  bool keep_points = false;
};

// The settings turned into numbers, throwing what channel_parameters throws.
MeasurementParameters measurement_parameters(const MeasurementSettings& settings);

// What a caller owns to measure: the engine's planes and the figures' Zernike
// fit, kept from one measurement to the next. One per thread.
struct MeasurementContext {
  ScanEngine engine;
  MethodEngine methods;
  FigureCache figures;
  TrueFiguresCache truth;  // a study's truth, kept while its surface and cells stay
};

struct Measurement {
  SimParams params;          // the simulation record of the run
  GreyImageOwner picture;    // the fringe picture (frame 0 of a set), rows in bitmap order; kept when asked
  ProfileHeights profile;    // the whole profile as read back
  ChannelMaps maps;
  double mask_radius = 0.0;  // mm
  // When asked for: every measured pixel's point in the maps' frame (x to the
  // right, y up as the maps show the surface, z the height along the camera
  // axis), mm. A pinhole system triangulates them; the telecentric one
  // places each pixel's height (the engine's formula, relative to the carrier)
  // at the pixel's position, or for the engine's quadrature each profile
  // cell's at the cell's.
  std::vector<Vec3> points;
};

// "apply" then "profile" of the channel in memory: the classic picture
// scanned by the engine's quadrature, or the method's frame set measured by
// the method (the engine's quadrature on the one frame, at its period, for
// Method=quadrature with error sources). Throws what they throw through the
// files, with the same words: FileError naming the work file a step could
// not have made, std::invalid_argument for frames the method cannot take,
// the ConversionError of a mask radius that is not a number.
// `keep_picture`: whether the result holds the fringe picture (the engine
// otherwise takes its pixels).
// `quality`: the quality asked for (runs/quality_check.h; its
// settings_min_valid set from the method settings): a picture without
// fringes or too little measured throws MeasurementRefused ("channel 0:
// no fringes: ..."); none (the studies): no quality, no refusal.
// Measured with a pinhole system (the reconstruction's, else the channel's),
// the phase-shift and Fourier methods' absolute phase becomes a point per
// pixel by triangulation (methods/triangulated_points.h), whose heights on
// the grid's positions are block-fitted into the profile as the methods'
// own heights are; the engine's quadrature gives no phase to triangulate and
// is refused with std::invalid_argument.
Measurement measure(const MeasurementParameters& parameters, MeasurementContext& context, bool keep_picture = false,
                    QualityCheck* quality = nullptr);
// measure(measurement_parameters(settings)): a text that is not a number,
// a method or surface file that cannot be taken stop it first.
Measurement measure(const MeasurementSettings& settings, MeasurementContext& context, bool keep_picture = false,
                    QualityCheck* quality = nullptr);

// The settings' simulation record as "apply" reads it from the files (the
// sizes, pixel size, fringe period, angle, offsets, radius and surface);
// contrast and noise stay at their defaults. Throws ConversionError.
SimParams measurement_sim_params(const MeasurementSettings& settings);

// The radii of the comparison with the sphere, mm.
struct SphereRadii {
  double radius = 7.5;       // the perfect sphere's
  double mask_radius = 3.3;  // the evaluation mask's
};

// "profile"'s comparison, for the measurement, the file path and the Python
// module alike: the profile's centre square onto maps.height_map (kMapSide
// square, single gaps filled) and maps.measured_map, with its geometry; then
// the radii, asked for only now (the file path reads their texts once the
// measured heights are in the maps, and a text that is not a number leaves
// them so); the perfect sphere of the radius through the apex of the measured
// heights into maps.sphere_map; `sphere_made` (when given) sees it before
// height_map becomes measured minus sphere inside the mask (0.0 outside it).
void compare_with_sphere(const ProfileHeights& profile, ChannelMaps& maps, const std::function<SphereRadii()>& radii,
                         const std::function<void(const ChannelMaps&)>& sphere_made = nullptr);
