// A channel's method settings file (./method.ini, ./method_1.ini): how the
// channel's fringes are measured and which errors the synthesis adds. Without
// the file (or with Method=quadrature and no error source) the channel works
// exactly as it always has.
//
// File lines (CR LF, keys without regard to case, in the style of the image
// settings file):
//   Method=phase-shift   quadrature, phase-shift or fourier
//   Steps=8              phase steps per period, 3..64 (phase-shift only)
//   Periods=1280,80,10   fringe periods, pixels, coarse to fine; empty: the
//                        scan settings' LambdaF. The single-frame methods take
//                        the last (finest) one.
//   Gamma=1              projector gamma, > 0
//   Blur=0               defocus, Gaussian sigma in pixels, >= 0
//   Bits=8               camera bit depth, 8..16
//   Ambient=0            constant ambient level, grey levels (8-bit scale), >= 0
//   MinValid=0.25        the least fraction of the evaluation mask's cells a
//                        measurement must give a height, 0..1, else it is
//                        refused (runs/quality_check.h); written only when
//                        it differs from its default
// A missing key keeps its default.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "methods/fringe_method.h"
#include "methods/measurement_quality.h"
#include "simulation/frame_errors.h"
#include "simulation/fringe_frames.h"

struct MethodSettings {
  FringeMethod method = FringeMethod::quadrature;
  int steps = 4;
  std::vector<double> periods;  // empty: the scan settings' LambdaF
  FrameErrors errors;
  double min_valid = kDefaultMinValid;  // MinValid: not a matter of the frames

  // Whether the channel works as it always has: the engine's quadrature on
  // one picture without error sources.
  bool classic() const { return method == FringeMethod::quadrature && errors.none() && periods.empty(); }
};

// Values given on the command line for one run, over the channel's file.
struct MethodOverrides {
  std::optional<std::string> method;
  std::optional<int> steps;
  std::optional<std::string> periods;  // "1280,80,10"
  std::optional<double> gamma;
  std::optional<double> blur;
  std::optional<int> bits;
  std::optional<double> ambient;
  bool any() const { return method || steps || periods || gamma || blur || bits || ambient; }
};

// The file's lines for `settings`; numbers as the shortest text that reads
// back as the same value.
std::vector<std::string> method_settings_lines(const MethodSettings& settings);

// Reads the lines (empty: the defaults). Throws SettingsError naming `file`,
// the key and the text: `method.ini: Method = "fft" is not quadrature,
// phase-shift or fourier`, `method.ini: Steps must lie between 3 and 64
// (read 2)`, `method.ini: Periods = "80,1280" is not coarse to fine`, ...
MethodSettings read_method_settings(const std::vector<std::string>& lines, const std::string& file);

// `settings` with the overrides applied; throws std::invalid_argument naming
// the option (`--steps: 2 is outside 3..64`).
MethodSettings apply_method_overrides(MethodSettings settings, const MethodOverrides& overrides);

// The method file's lines with `overrides` applied, for a run that measures
// in memory: the lines as they are without overrides (none without a file),
// so that a study of the classic chain keeps its journal's fingerprint; else
// the lines of the file's settings (read_method_settings, naming `file`)
// with the overrides (apply_method_overrides). Throws as those do.
std::vector<std::string> overridden_method_lines(const std::vector<std::string>& lines, const std::string& file,
                                                 const MethodOverrides& overrides);

// The periods the frames are made with: the settings' periods, or
// {lambda_f} when it has none; a single-frame method takes only the last.
std::vector<double> method_periods(const MethodSettings& settings, double lambda_f);
// The frames "apply" makes for the settings, and the plan that measures them.
FrameSet method_frame_set(const MethodSettings& settings, double lambda_f);
MethodPlan method_plan(const MethodSettings& settings, double lambda_f);

// Empty, or the warning that the coarsest period does not cover a picture
// `width` pixels wide: "coarsest period 80 px does not cover the field of
// 1280 px: its first order is ambiguous".
std::string coarse_period_warning(const MethodSettings& settings, double lambda_f, int width);

// The work files of a channel's frame set of `count` frames of `bits`, one
// scheme whatever the depth: frame k is "./sim00_fkk.bmp" for 8 bits
// ("./sim00_f00.bmp", "./sim00_f01.bmp", ...), 16-bit PNG "./sim00_fkk.png"
// for deeper frames; the set is the files "sim00_f??.*", which no other work
// file matches. The channel's fringe image ("./sim00.bmp") holds frame 0
// besides (at 8 bits, or its top 8 bits), for the window and the engine's
// quadrature.
std::vector<std::string> frame_files(int channel, int count, int bits);

// "./method.ini" or "./method_1.ini"; any channel but 1 counts as 0.
const char* method_file(int channel);
// The channel's file's settings when it exists, else the defaults. Throws
// SettingsError for a file that cannot be taken.
MethodSettings channel_method_settings(int channel);
// Writes the file whole; throws FileError `Cannot create file "<file>"`.
void write_method_file(const std::string& file, const MethodSettings& settings);
