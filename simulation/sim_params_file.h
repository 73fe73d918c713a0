// Filling a channel's simulation record from its settings files, as the
// workbench does at start-up.
#pragma once

#include <string>

#include "simulation/sim_params.h"

// Reads the scan settings file (pixel_size from "CamResX", fringe_period from
// "LambdaF", alpha_deg from "Alpha", offset_x from "MaskXOfs", offset_y from
// "MaskYOfs", in this order), then the image settings file (x_pixels and
// y_pixels from "XPixels" and "YPixels", truncated towards zero, radius from
// "Radius"). Throws FileError for a missing file and ConversionError for a
// missing key or a text that is not a number; the fields set before that
// keep their new values, the rest stay as they were.
void load_sim_params(SimParams& params, const std::string& scan_file,
                     const std::string& image_file);
