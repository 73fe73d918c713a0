// Statistics of a map over the cells inside the evaluation mask.
#pragma once

#include "analysis/height_matrix.h"

struct MaskStatistics {
  int count = 0;      // cells inside the mask
  double pv = 0.0;    // max - min, mm
  double rms = 0.0;   // population standard deviation about the mean, mm
  double mean = 0.0;  // mm
};

// Over the cells that in_evaluation_mask keeps for a field of width Wf (mm)
// centred at (Wf / 2, Wf / 2) and the mask radius Rm (mm). All 0 for an empty
// mask.
MaskStatistics mask_statistics(const HeightMatrix& map, double Wf, double Rm);
