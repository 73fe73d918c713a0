// The figures of a measured surface as one JSON object: what
// `fringe analyse --json` prints and what the Python module's analyse()
// returns as a dict, from the same text so that the keys and values agree.
#pragma once

#include <string>

#include "analysis/surface_figures.h"
#include "common/json_text.h"

// One JSON object with the keys channel, fit_radius_mm, fit_power_D,
// apex_x_mm, apex_y_mm, fit_rms_um, apical_flat_mm, apical_steep_mm,
// apical_axis_deg, conic_q, conic_rms_um (the best-fit conic),
// flat_radius_mm, steep_radius_mm, flat_k_D, steep_k_D, axis_deg
// (keratometry), zernike (a list of {j, n, m, name, um}) and zernike_rms_um;
// a figure that is not available is null (a term without a usual name too).
std::string surface_figures_json(int channel, const SurfaceFigures& figures);
