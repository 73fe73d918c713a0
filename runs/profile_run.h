// The run behind "profile": reconstruct a channel's heights with the scan
// module, compare them with a perfect sphere inside the evaluation mask and
// render the channel map and the difference map.
#pragma once

#include <array>
#include <optional>
#include <string>

#include "analysis/height_matrix.h"
#include "optics/optical_system.h"
#include "optics/vec3.h"
#include "runs/measurement.h"
#include "runs/quality_check.h"
#include "settings/method_settings.h"
#include "runs/run_observer.h"
#include "render/picture.h"


// Everything one channel's run reads and writes. The difference map is
// always channel 0 minus channel 1, whichever channel runs.
struct ProfileRun {
  int channel = 0;
  // Both channels' maps (runs/measurement.h): the run writes those of
  // `channel` and reads the other's height map for the difference.
  std::array<ChannelMaps*, 2> channels;
  HeightMatrix& difference_map;
  std::string radius_text;       // sphere radius, mm
  std::string mask_radius_text;  // evaluation mask radius, mm
  double colour_min = -0.005;    // range of the channel map, mm
  double colour_max = 0.005;
  double colour_min_diff = -0.005;
  double colour_max_diff = 0.005;
  Picture& map_image;
  Picture& diff_image;
  // The channel's method (settings/method_settings.h); none: its method file.
  std::optional<MethodSettings> method = std::nullopt;
  // The system the frames are measured through; none: the channel's system
  // file, telecentric without one.
  std::optional<OpticalSystem> system = std::nullopt;
  // When given, filled by the run with the measured points
  // (runs/measured_points.h): triangulated through a pinhole system, else
  // each pixel's height (each profile cell's for the engine's quadrature).
  std::vector<Vec3>* points = nullptr;
  // Filled by the run: the method it measured with, in a few words
  // (method_summary), for the window to show beside the channel.
  std::string method_used = {};
  // Filled by the run: the warning of a phase-shift set whose steps differ
  // a little from the plan (runs/channel_frames.h), else empty.
  std::string steps_warning = {};
  // The quality asked for (runs/quality_check.h; its settings_min_valid set
  // from the method settings): a picture without fringes or too little
  // measured throws MeasurementRefused before the profile file is written,
  // and nothing changes but the check's map; none: no quality, no refusal.
  QualityCheck* quality = nullptr;
};

// Throws FileError `Cannot open file "<name>"` unless the file can be read.
void require_readable(const char* file);

// Steps from "extracting height data" to "done". Reads ./sim0c.bmp and the
// channel's scan settings, writes ./profile0c.txt and perfect_sphere0c.txt.
// Throws FileError when the channel has no fringe image or one that cannot be
// read as a picture (runs/picture_scan.h; nothing changes then), the engine
// could not write the profile (the earlier file and the
// maps stay) or the profile cannot be read back (the maps keep their
// contents),
// and ConversionError when a radius text is not a number (the maps then hold
// the measured heights, the pictures are not redrawn).
void run_profile_comparison(ProfileRun& run, RunObserver& observer);

// What "profile" leaves where no window shows it (the fringe tool, studies).
struct UnseenProfile {
  std::array<ChannelMaps, 2> channels;
  HeightMatrix difference_map;
  Picture map_image{kMapSide, kMapSide};
  Picture diff_image{kMapSide, kMapSide};
  double mask_radius = 0.0;  // mm, read from its text after the run
  std::string method_used;   // the run's method in a few words (method_summary)
  std::string steps_warning;  // as ProfileRun's
  std::vector<Vec3> points;   // when asked for: as ProfileRun's
};

// run_profile_comparison of `channel` into `out` (default colour ranges);
// throws what it throws, and ConversionError when the mask radius text is not
// a number.
void run_profile_unseen(int channel, const std::string& radius_text, const std::string& mask_radius_text,
                        UnseenProfile& out, RunObserver& observer,
                        const std::optional<MethodSettings>& method = std::nullopt,
                        QualityCheck* quality = nullptr, const std::optional<OpticalSystem>& system = std::nullopt,
                        bool keep_points = false);

// Fills every no-height cell whose two horizontal neighbours both have a
// height with their mean; cells in columns 0 and 255 and runs of two or more
// stay as they are.
void fill_single_gaps(HeightMatrix& map);
