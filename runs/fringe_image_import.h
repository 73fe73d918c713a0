// The run behind "open fringe image…": a camera picture (BMP, PNG or TIFF)
// becomes a channel's fringe image, shown as "apply" shows a simulated one
// and ready for "profile", which measures it with the channel's settings.
#pragma once

#include <string>

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
