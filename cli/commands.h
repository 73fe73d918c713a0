// The subcommands of the fringe tool, free of argument parsing so that tests
// call them directly. Each works in the current directory (see
// enter_directory) and throws FileError or ConversionError with a message
// for the user.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

#include "analysis/mask_statistics.h"
#include "runs/profile_run.h"

// Writes the four default settings files into `dir` (created when missing).
void cmd_init(const std::string& dir);

struct SimulateOptions {
  int channel = 0;
  double contrast = 1.0;               // 0..1
  double noise = 0.0;                  // 0..1
  std::optional<uint32_t> seed;        // default: the time in seconds
  std::string max_noise = "64";        // grey levels
  std::optional<std::string> passes;   // default: the channel's NFilt
  // The surface to simulate as parse_surface_text reads it; empty: the
  // channel's surface settings file, or the sphere without one.
  std::string surface;
};
// Runs "apply" for the channel; returns the seed used.
uint32_t cmd_simulate(const SimulateOptions& options, std::ostream* progress);

struct ProfileResult {
  ProfileGeometry geometry;
  double mask_radius = 0.0;  // mm
  MaskStatistics stats;      // of the channel map inside the mask, mm
};
// The maps and the picture a profile run leaves, for the data export.
struct ProfileOutputs {
  HeightMatrix channel_map;   // measured minus sphere inside the mask, mm
  HeightMatrix measured_map;  // heights as read back, mm
  HeightMatrix sphere_map;    // the perfect sphere subtracted, mm
  Picture map_image{kMapSide, kMapSide};
};
// Runs "profile" for the channel.
ProfileResult cmd_profile(int channel, std::ostream* progress, ProfileOutputs* outputs = nullptr);

// The engine on one fringe picture (BMP, PNG or TIFF) with a check that its
// input files exist; a picture that cannot be read, or a profile that is not
// written, throws FileError with the file and the reason
// (runs/picture_scan.h), and no profile is written.
void cmd_scan(const std::string& image, const std::string& ini, const std::string& section,
              const std::optional<std::string>& reference, const std::string& out);

// Renders a height text file (256 x 256) into a 24-bit bitmap; range in
// microns.
void cmd_render(const std::string& heights, double min_um, double max_um, int levels,
                const std::string& out);

// "profile", then the data set of the channel under `base` (an absolute path
// or one relative to the current directory).
void cmd_export(int channel, const std::string& base, std::ostream* progress);

// One line, or a JSON object, describing a measurement.
std::string measure_summary(int channel, uint32_t seed, const SimulateOptions& options,
                            const ProfileResult& result, bool json);

// "PV .. um, RMS .. um, mean .. um inside the mask (.. cells, radius .. mm)".
std::string profile_summary(const ProfileResult& result);

// A number of the summaries: 6 significant digits ("%.6g"), "null" when not
// finite.
std::string summary_number(double value);
// A number of a JSON object the tool prints: the shortest text that reads
// back to the same double (round_trip_text), null when it is not finite.
std::string json_number(double value);
