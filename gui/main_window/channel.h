// One measurement channel of the main window: its simulation record, the
// maps its runs leave, the colour range of each map and which map its image
// shows. Plain C++; the window holds two of them (WorkbenchData).
#pragma once

#include "analysis/height_matrix.h"
#include "analysis/local_evaluation.h"
#include "methods/measurement_quality.h"
#include "runs/measurement.h"
#include "simulation/sim_params.h"

// A colour range in mm.
struct ColourRange {
  double min = -0.005;
  double max = 0.005;
};

// The maps a channel's image can show: the height differences (the residual
// to the sphere) or one of the local evaluations of them.
enum class ChannelMap { height_differences, pv, rms, mean };

// The local evaluation a map shows; height_differences has none.
ChannelMap map_of_evaluation(LocalEvaluation kind);

// The maps "profile" leaves (height_map, measured_map, sphere_map and the
// profile's geometry) are the core's own type; the window adds the rest.
struct Channel : ChannelMaps {
  SimParams sim_params;
  // The quality of the last "profile" (methods/measurement_quality.h), also
  // of one refused for too little measured or for a picture without fringes.
  QualityMap quality;

  // Local evaluations of the height map, mm, 256 x 256.
  HeightMatrix pv_map, rms_map, mean_map;

  ColourRange height_range{-0.005, 0.005};
  ColourRange pv_range{0.0, 0.006};
  ColourRange rms_range{0.0, 0.006};
  ColourRange mean_range{-0.0005, 0.0005};

  // The map the channel's image shows, and the map whose range its range
  // controls adjust. They part when a pop-up item shows an evaluation: the
  // controls keep adjusting the range the selector chose last.
  ChannelMap shown = ChannelMap::height_differences;
  ChannelMap ranged = ChannelMap::height_differences;

  HeightMatrix& map(ChannelMap which);
  const HeightMatrix& map(ChannelMap which) const;
  ColourRange& range(ChannelMap which);

  const HeightMatrix& shown_map() const { return map(shown); }
  ColourRange& controlled_range() { return range(ranged); }
};
