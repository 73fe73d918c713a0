// A channel's settings as the measurement chain takes them: its files (and
// the hidden maximum-noise box) read and checked once into numbers, in the
// order "apply" and then "profile" read their texts, so that the chain after
// it parses nothing and a bad text stops it with the words and at the point
// the work-file path would.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/work_files.h"
#include "scan.h"
#include "settings/channel_settings.h"
#include "settings/method_settings.h"
#include "simulation/sim_params.h"

struct ChannelParameters {
  int channel = 0;        // 0 or 1
  MethodSettings method;  // the method file's settings; the defaults without one
  // The simulation record as "apply" reads it (sizes, pixel size, period,
  // angle, offsets, radius, surface; the method's error sources when it is
  // not the classic one); contrast and noise stay at their defaults.
  SimParams sim;
  int32_t max_noise = 64;        // grey levels, the hidden box
  int32_t smoothing_passes = 3;  // NFilt: the display smoothing "apply" reads
  ScnPar scan{};                 // the scan settings as the engine reads them
  // MaskRadius as "profile" reads it for the comparison with the sphere, mm.
  // "profile" reads that text only after the scan, so a text that is not a
  // number is refused there too: comparison_mask_radius() throws its
  // ConversionError; mask_radius_refusal holds its words (empty when read).
  double mask_radius = 0.0;
  std::string mask_radius_refusal;

  double comparison_mask_radius() const;
};

// The one conversion of a channel's files. Throws, in this order, what the
// chain would throw: SettingsError for a method file it refuses;
// ConversionError for the scan settings' CamResX, LambdaF, Alpha, MaskXOfs
// and MaskYOfs, then the image settings' XPixels, YPixels and Radius;
// SettingsError for the surface file; ConversionError for the maximum noise;
// std::invalid_argument for a surface that cannot be simulated; FileError
// `Cannot open file "./sim00.bmp"` for sides no picture can have (outside
// 1..4096: "apply" writes no fringe image, "profile" finds none);
// SettingsError for a system file it refuses (settings/system_settings.h);
// ConversionError for NFilt. A key the engine reads and cannot take keeps its
// default, as the engine's file reader does.
ChannelParameters channel_parameters(const ChannelSettings& files, const std::string& max_noise_text);

// The simulation record alone (no method, no maximum noise): the first
// reads of channel_parameters, with the same errors.
SimParams channel_sim_params(const ChannelSettings& files);

// The engine's parameters from a scan settings file's lines, as the engine
// reads its file: a key that is missing or not a number keeps its default.
ScnPar scan_par_of_lines(const std::vector<std::string>& scan_lines, const std::string& section = scan_section);
