// The run behind "apply": synthesise a channel's fringe image, show it,
// smooth it for display, store the smoothed picture and plot a short
// grey-level line scan.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "analysis/height_matrix.h"
#include "optics/optical_system.h"
#include "settings/method_settings.h"
#include "runs/run_observer.h"
#include "render/picture.h"
#include "simulation/sim_params.h"

// The image control's side: the control shows the top-left 256 x 256 pixels
// of the picture it holds, unscaled.
constexpr int kImageControlSide = 256;
// The row of scratch_map that holds the grey-level line scan.
constexpr int kScanRow = 100;
// Exclusive bound of the additive noise "apply" draws, grey levels.
constexpr int32_t kAdditiveRange = 5;

struct SimulationInputs {
  int channel = 0;               // 0 or 1
  double dynamic = 1.0;          // contrast track bar position / maximum
  double noise = 0.0;            // noise track bar position / maximum
  std::string max_noise_text = "64";  // the hidden maximum-noise box
  std::string passes_text = "3";      // the channel's filter iterations box
  uint32_t seed = 0;                  // the window passes the time in seconds
  // The channel's method (settings/method_settings.h); none: its method file.
  std::optional<MethodSettings> method = std::nullopt;
  // The camera and projector (optics/optical_system.h); none: the channel's
  // system file, telecentric without one.
  std::optional<OpticalSystem> system = std::nullopt;
};

// Overwrites params.dynamic and params.noise, writes sim0c.bmp and
// ./sim0c_filtered.bmp in the working directory, replaces `image` by the
// smoothed picture, cells (x, 100) of scratch_map by the grey levels of its
// row 128 and `scan_plot` by their plot (cells 113..143, 0..255).
// The fringe image shows params.surface (the sphere of params.radius unless
// a surface settings file says otherwise).
// Throws ConversionError for a text that is not an integer (before the
// synthesis, or after it for the pass count, as the window would stop),
// std::invalid_argument for a surface that cannot be simulated (before the
// synthesis; surface_problem says why), SettingsError for a system file
// that cannot be taken (before the synthesis), and
// FileError when the fringe image cannot be written, or cannot be loaded back
// (an image that could not be created shows the earlier file of that name).
void run_simulation(const SimulationInputs& inputs, SimParams& params, Picture& image,
                    Picture& scan_plot, HeightMatrix& scratch_map, RunObserver& observer);

// "apply" where no window shows it (the fringe tool, studies): the pictures
// the window would show are drawn into scratch pictures of its controls'
// sizes and thrown away. Throws what run_simulation throws.
void run_simulation_unseen(const SimulationInputs& inputs, SimParams& params, RunObserver& observer);

// The part of "apply" after the synthesis, which shows any fringe image of
// the channel: `image` becomes the picture in `fringe_file` (a bitmap), then
// that picture smoothed by passes_text binomial passes, which is written as
// ./sim0c_filtered.bmp; cells (x, 100) of scratch_map get the grey levels of
// its row 128 and `scan_plot` their plot. Throws FileError when the bitmap
// cannot be loaded (nothing changes then) or the smoothed one cannot be
// written, and ConversionError when passes_text is not an integer (`image`
// then shows the unsmoothed picture).
void show_fringe_image(int channel, const char* fringe_file, const std::string& passes_text,
                       Picture& image, Picture& scan_plot, HeightMatrix& scratch_map,
                       RunObserver& observer);

// The bytes of `row` of the picture, the index clamped to the control's rows
// and to the picture's; empty for an empty picture.
const uint8_t* clamped_scan_line(const Picture& image, int row);
