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
#include <string>
#include <vector>

#include "analysis/height_matrix.h"
#include "analysis/height_text_file.h"
#include "analysis/surface_figures.h"
#include "scan/grey_image.h"
#include "methods/method_engine.h"
#include "scan/scan_engine.h"
#include "simulation/sim_params.h"

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

// One measurement's settings: the channel's files as lines and the main
// window's controls.
struct MeasurementSettings {
  int channel = 0;                 // 0 or 1: which files the lines stand for
  std::vector<std::string> scan;   // the channel's scan settings file, lines
  std::vector<std::string> image;  // its image settings file, lines
  // Its surface settings file, lines; empty when it has none (the sphere of
  // the image settings' radius).
  std::vector<std::string> surface;
  // Its method settings file, lines (settings/method_settings.h); empty when it
  // has none (the engine's quadrature on one picture, as always).
  std::vector<std::string> method;
  double contrast = 1.0;           // 0..1, as the contrast track bar
  double noise = 0.0;              // 0..1, as the noise track bar
  std::string max_noise_text = "64";  // grey levels, the hidden box
  uint32_t seed = 1;
};

// What a caller owns to measure: the engine's planes and the figures' Zernike
// fit, kept from one measurement to the next. One per thread.
struct MeasurementContext {
  ScanEngine engine;
  MethodEngine methods;
  FigureCache figures;
};

struct Measurement {
  SimParams params;          // the simulation record of the run
  GreyImageOwner picture;    // the fringe picture (frame 0 of a set), rows in bitmap order; kept when asked
  ProfileHeights profile;    // the whole profile as read back
  ChannelMaps maps;
  double mask_radius = 0.0;  // mm
};

// "apply" then "profile" of settings.channel in memory. Throws what they
// throw through the files, with the same words: ConversionError for a text
// that is not a number, std::invalid_argument for a surface that cannot be
// simulated, FileError naming the work file a step could not have made.
// `keep_picture`: whether the result holds the fringe picture (the engine
// otherwise takes its pixels).
Measurement measure(const MeasurementSettings& settings, MeasurementContext& context, bool keep_picture = false);

// The settings' simulation record as "apply" reads it from the files (the
// sizes, pixel size, fringe period, angle, offsets, radius and surface);
// contrast and noise stay at their defaults. Throws ConversionError.
SimParams measurement_sim_params(const MeasurementSettings& settings);

// Steps shared with the file path. place_measured: the profile's centre
// square onto `map` (kMapSide square), single gaps filled, and the geometry.
// sphere_through_apex: the perfect sphere of `radius` through the apex of the
// measured heights in `map`. subtract_sphere: `map` becomes measured minus
// sphere inside the mask of `mask_radius` (0.0 outside it).
void place_measured(const ProfileHeights& profile, HeightMatrix& map, ProfileGeometry& geometry);
void sphere_through_apex(double radius, const ProfileGeometry& geometry, const HeightMatrix& map,
                         HeightMatrix& sphere);
void subtract_sphere(double mask_radius, const ProfileGeometry& geometry, HeightMatrix& map,
                     const HeightMatrix& sphere);
