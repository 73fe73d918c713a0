// fringe analyse: "profile" for a channel, then the figures optometry uses
// (best-fit sphere and conic, keratometry, Zernike terms), as text or as JSON.
#pragma once

#include <ostream>
#include <string>

#include "analysis/surface_figures.h"

struct AnalyseOptions {
  int channel = 0;
  FigureOptions figures;
};

// Runs "profile" for the channel in the current directory, then its
// figures. Throws what cmd_profile throws, and std::invalid_argument for an
// order outside 0..10.
SurfaceFigures cmd_analyse(const AnalyseOptions& options, std::ostream* progress);

// The figures as lines of text, or as one JSON object with the keys
// channel, fit_radius_mm, fit_power_D, apex_x_mm, apex_y_mm, fit_rms_um,
// apical_flat_mm, apical_steep_mm, apical_axis_deg, conic_q, conic_rms_um
// (the best-fit conic), flat_radius_mm, steep_radius_mm, flat_k_D,
// steep_k_D, axis_deg (keratometry), zernike (a list of {j, n, m, name, um})
// and zernike_rms_um; a figure that is not available is null (a term
// without a usual name too). JSON numbers read back to the same double.
std::string analyse_report(int channel, const SurfaceFigures& figures, bool json);
