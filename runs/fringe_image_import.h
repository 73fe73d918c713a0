// The run behind "open fringe image…": a camera picture (BMP, PNG or TIFF)
// becomes a channel's fringe image, shown as "apply" shows a simulated one
// and ready for "profile", which measures it with the channel's settings.
#pragma once

#include <string>
#include <vector>

#include "analysis/height_matrix.h"
#include "render/picture.h"
#include "runs/run_observer.h"

struct FringeImageImport {
  int channel = 0;           // 0 or 1
  std::string picture_file;  // any kind formats/camera_picture.h reads
  std::string passes_text;   // smoothing passes of the displayed picture
};

// Reads the picture into the engine's grey levels, writes them as the
// channel's fringe image (./sim00.bmp or ./sim01.bmp, 8-bit with the grey
// ramp) and then shows it (runs/simulation_run.h: show_fringe_image).
// Throws, before anything is written or shown: FileError naming the picture
// and the reason when it cannot be read, ConversionError when passes_text is
// not an integer. Throws FileError `Cannot create file "./sim0c.bmp"` when
// the fringe image cannot be written (the earlier one stays, nothing else
// changes).
void run_fringe_image_import(const FringeImageImport& inputs, Picture& image, Picture& scan_plot,
                             HeightMatrix& scratch_map, RunObserver& observer);

struct FringeImageSetImport {
  int channel = 0;                         // 0 or 1
  std::vector<std::string> picture_files;  // the frames in order (settings/method_settings.h)
  std::string passes_text;                 // smoothing passes of the displayed picture
};

// "open fringe image set…": the pictures become the channel's frame set, as
// "apply" writes one for its method settings (runs/channel_frames.h), and
// frame 0 is shown as run_fringe_image_import shows a picture.
//
// Every picture is read first (formats/frame_picture.h: 16-bit samples
// kept) and checked, so that nothing is written or shown when any fails:
// * the number of pictures must be the number of frames the channel's
//   method settings take (method file, periods defaulting to the scan
//   settings' LambdaF): std::invalid_argument
//   `the channel's method (phase-shift 4 steps, period 10 px) takes 4 frames; 3 pictures were given:
//   a.png, b.png, c.png`;
// * every picture has the size of the first, and the depth the settings'
//   Bits name: 8-bit pictures for Bits=8, 16-bit ones with no sample beyond
//   the Bits for a deeper camera (a 12-bit camera's frames hold 0..4095):
//   FileError `Cannot read file "<picture>": <reason>`.
// Then as run_fringe_image_import: FileError naming a picture that cannot be
// read, ConversionError for passes_text, SettingsError for method settings
// that cannot be taken, FileError for a frame that cannot be written.
void run_fringe_image_set_import(const FringeImageSetImport& inputs, Picture& image, Picture& scan_plot,
                                 HeightMatrix& scratch_map, RunObserver& observer);
