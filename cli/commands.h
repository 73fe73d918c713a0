// The subcommands of the fringe tool, free of argument parsing so that tests
// call them directly. Each works in the current directory (see
// enter_directory) and throws FileError, ConversionError (SettingsError for
// a settings file, naming the file, the key and the text) or
// std::invalid_argument (an option outside its domain, named) with a message
// for the user.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "analysis/mask_statistics.h"
#include "exports/figures_json.h"
#include "settings/method_settings.h"
#include "runs/profile_run.h"
#include "runs/quality_check.h"
#include "simulation/surface.h"

// Writes the four default settings files into `dir` (created when missing),
// keeping those that exist as they are (a workspace's edited settings), or,
// with `force`, writing over them. Returns the files kept, in the order
// written (scnmod.ini, image.ini, scnmod_1.ini, image_1.ini).
std::vector<std::string> cmd_init(const std::string& dir, bool force = false);

struct SimulateOptions {
  int channel = 0;
  double contrast = 1.0;               // 0..1
  double noise = 0.0;                  // 0..1
  std::optional<uint32_t> seed;        // default: the time in seconds
  std::string max_noise = "64";        // grey levels, a whole number 0..255
  std::optional<std::string> passes;   // default: the channel's NFilt; 0..1024
  // The surface to simulate as parse_surface_text reads it; empty: the
  // channel's surface settings file, or the sphere without one.
  std::string surface;
  // The method and error sources for this run, over the channel's method file.
  MethodOverrides method;
  // A system file (settings/system_settings.h) the pictures are taken
  // through; empty: the channel's system.ini / system_1.ini, else telecentric.
  std::string system;
};
// The channel's method settings (its method.ini / method_1.ini, else the
// engine's quadrature) with `overrides` applied. Throws SettingsError for a
// file that cannot be taken, std::invalid_argument for an option outside its
// domain.
MethodSettings resolved_method(int channel, const MethodOverrides& overrides);
// Runs "apply" for the channel; returns the seed used. Checks the options
// against their domains first (option_checks.h: "--max-noise: -3 is outside
// 0..255"), then the channel's settings files (workspace_settings).
uint32_t cmd_simulate(const SimulateOptions& options, std::ostream* progress);

struct ProfileResult {
  ProfileGeometry geometry;
  double mask_radius = 0.0;  // mm
  MaskStatistics stats;      // of the channel map inside the mask, mm
  // The channel's surface file's surface (the sphere without one); none when
  // the file cannot be read, which a simulation of it has refused already.
  std::optional<Surface> surface;
  // The method the profile measured with (method_summary): "quadrature", or
  // e.g. "phase-shift 8 steps, period 10 px".
  std::string method;
  // The measurement's quality when the run was asked for it: the summaries
  // end with it (a line "quality: ...", JSON keys valid_fraction, ...).
  std::optional<QualitySummary> quality;
};
// The maps and the picture a profile run leaves, for the data export.
struct ProfileOutputs {
  HeightMatrix channel_map;   // measured minus sphere inside the mask, mm
  HeightMatrix measured_map;  // heights as read back, mm
  HeightMatrix sphere_map;    // the perfect sphere subtracted, mm
  Picture map_image{kMapSide, kMapSide};
};
// What "profile" measures through and writes besides its maps.
struct ProfilePoints {
  // A system file the pictures are measured through (the channel's system
  // file, else telecentric, when empty): the one that took them, or another
  // to see what a wrong or simplified model costs.
  std::string system;
  // A file for the measured points (.ply or .xyz, formats/point_cloud.h);
  // empty: none written.
  std::string points_file;
};
// Runs "profile" for the channel, with `method` (none: the channel's method
// file). `quality`: the quality asked for (runs/quality_check.h): refusals
// throw MeasurementRefused, and the result carries its summary. Throws
// std::invalid_argument for a points file of another extension (before the
// run), SettingsError for a system file that cannot be taken, FileError when
// the points cannot be written.
ProfileResult cmd_profile(int channel, std::ostream* progress, ProfileOutputs* outputs = nullptr,
                          const std::optional<MethodSettings>& method = std::nullopt,
                          QualityCheck* quality = nullptr, const ProfilePoints& extra = {});

// The engine on one fringe picture (BMP, PNG or TIFF) with a check that its
// input files exist; a picture that cannot be read, or a profile that is not
// written, throws FileError with the file and the reason
// (runs/picture_scan.h), and no profile is written. Unlike the engine's C
// API, which takes its defaults for what the file does not say, a parameter
// file without the section, or with a value of the engine's keys that is not
// a number, throws SettingsError naming the file and the key
// (check_scan_settings) before anything is written.
// `quality` as scan_picture takes it.
void cmd_scan(const std::string& image, const std::string& ini, const std::string& section,
              const std::optional<std::string>& reference, const std::string& out,
              QualityCheck* quality = nullptr);
// A frame set (PNG, TIFF or BMP, 8 or 16 bits, in the order projected) measured
// with a method other than the engine's quadrature: `method` and `steps`
// and `periods` ("1280,80,10"; none: the file's LambdaF) as the options give
// them. Checks the options, the parameter file (as cmd_scan does) and every
// frame (count as the method takes, one size and depth) before anything is
// written; then writes the profile whole.
// `quality` as write_method_profile takes it (refusals name the first frame).
void cmd_scan_frames(const std::vector<std::string>& frames, const std::string& ini, const std::string& section,
                     const MethodOverrides& method, const std::string& out, QualityCheck* quality = nullptr);

// Renders a height text file, a grid of any size (the engine's profile, a
// data set's heights), into a picture of the grid's own size: pixel (x, y)
// shows height (x, y), row 0 at the top. Heights min_um..max_um (microns)
// fall into `levels` colour classes; heights outside the range, and cells
// without a height, are white. The picture is written as its name asks:
// .bmp (24-bit bitmap) or .png, without regard to case. Throws
// std::invalid_argument, before anything is read or written, for a range
// whose maximum lies below its minimum (min_um = max_um is allowed: only
// that height is coloured), a non-finite limit, levels outside 1..256 or
// another extension; FileError as read_profile_grid and the writers throw.
void cmd_render(const std::string& heights, double min_um, double max_um, int levels,
                const std::string& out);

// "profile", then the data set of the channel under `base` (an absolute path
// or one relative to the current directory); its parameter list ends with the
// surface when the channel's surface file names other than the sphere.
void cmd_export(int channel, const std::string& base, std::ostream* progress, QualityCheck* quality = nullptr);

// One line, or a JSON object, describing a measurement (with its quality,
// when it was asked for, as the last line or the last keys). Where the surface
// simulated (options.surface, else result.surface) is not the sphere of the
// set radius, a second line "surface: biconic rx=7.6 ry=7.9 axis=30 q=-0.2"
// follows, or the object ends with "surface": {"model": "biconic",
// "rx_mm": 7.6, "ry_mm": 7.9, "axis_deg": 30, "q": -0.2}; the sphere's
// output is as it always was.
std::string measure_summary(int channel, uint32_t seed, const SimulateOptions& options,
                            const ProfileResult& result, bool json);

// "PV .. um, RMS .. um, mean .. um inside the mask (.. cells, radius .. mm)".
std::string profile_summary(const ProfileResult& result);

// A number of the summaries: 6 significant digits ("%.6g"), "null" when not
// finite.
std::string summary_number(double value);
// json_number (common/json_text.h): a number of a JSON object the tool
// prints, the shortest text that reads back to the same double.
