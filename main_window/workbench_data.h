// The main window's data: every height map, colour range and simulation
// record that lives as long as the program. Plain C++, so the handlers' logic
// can be tested without a window.
#pragma once

#include "analysis/height_matrix.h"
#include "analysis/profile_run.h"
#include "simulation/sim_params.h"

// Colour classes of the PV map of channel 0 and of the magnifier.
constexpr int colour_levels = 25;
// Side of the statistics area on the difference map, mm.
constexpr double diff_stat_size = 0.2;
// Side of the magnifier's window, mm.
constexpr double magnifier_size = 2.5;
// Client size of the magnifier image.
constexpr int kMagnifierSide = 164;

struct WorkbenchData {
  WorkbenchData() = default;
  WorkbenchData(const WorkbenchData&) = delete;  // the pointers below point into it
  WorkbenchData& operator=(const WorkbenchData&) = delete;

  // Heights in mm, 256 x 256, addressed (x, y) from the top left.
  HeightMatrix height_map_0, height_map_1;      // measured minus sphere inside the mask
  HeightMatrix difference_map;                  // height_map_0 minus height_map_1
  HeightMatrix measured_map_0, measured_map_1;  // as read back, before the sphere
  HeightMatrix sphere_map_0, sphere_map_1;
  HeightMatrix pv_map_0, pv_map_1, rms_map_0, rms_map_1, mean_map_0, mean_map_1;
  HeightMatrix scratch_map;

  // profile_step_x/_y, profile_cols/_rows and field_size_x/_y of each channel.
  ProfileGeometry profile_0, profile_1;

  // Colour ranges, mm.
  double colour_min_0 = -0.005, colour_max_0 = 0.005;
  double colour_min_1 = -0.005, colour_max_1 = 0.005;
  double colour_min_diff = -0.005, colour_max_diff = 0.005;
  double pv_colour_min_0 = 0.0, pv_colour_max_0 = 0.006;
  double pv_colour_min_1 = 0.0, pv_colour_max_1 = 0.006;
  double rms_colour_min_0 = 0.0, rms_colour_max_0 = 0.006;
  double rms_colour_min_1 = 0.0, rms_colour_max_1 = 0.006;
  double mean_colour_min_0 = -0.0005, mean_colour_max_0 = 0.0005;
  double mean_colour_min_1 = -0.0005, mean_colour_max_1 = 0.0005;

  // The range pair the range controls of a channel adjust.
  double* colour_min_0_ptr = &colour_min_0;
  double* colour_max_0_ptr = &colour_max_0;
  double* colour_min_1_ptr = &colour_min_1;
  double* colour_max_1_ptr = &colour_max_1;

  // The matrix each map image shows.
  HeightMatrix* shown_map_0 = &height_map_0;
  HeightMatrix* shown_map_1 = &height_map_1;
  HeightMatrix* shown_map_diff = &difference_map;

  // The magnifier's value grid, one value per pixel of its image.
  HeightMatrix magnifier_rows{kMagnifierSide, kMagnifierSide, 0.0};

  SimParams sim_params_0, sim_params_1;
};
