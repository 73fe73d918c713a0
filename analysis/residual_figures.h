// Figures of a measurement against the truth beyond PV, RMS and mean: how
// much of the evaluation mask holds data, and how many of its cells landed
// on a wrong fringe order. Maps are 256 x 256 as the profile run leaves them;
// the mask is in_evaluation_mask's for a field of width Wf (mm) centred at
// (Wf / 2, Wf / 2) and a mask radius Rm (mm), as mask_statistics uses it.
#pragma once

#include "analysis/height_matrix.h"

// Height in mm between two neighbouring fringe orders: one period on the
// flat (period_px pixels of pixel_mm mm) seen under the triangulation angle,
// period_px * pixel_mm / tan(angle_deg). Infinite for an angle of 0, 0 for 90
// degrees (tan of 90 degrees in double is about 1.6e16).
double order_height_step(double period_px, double pixel_mm, double angle_deg);

// The share of mask cells whose measured height is not kNoHeight, 0..1; 0 for
// an empty mask.
double mask_coverage(const HeightMatrix& measured, double Wf, double Rm);

// The mask cells with data (measured not kNoHeight) whose residual is larger
// in magnitude than half an order step (mm): the unwrapping put them on a
// neighbouring fringe order, or farther. Cells without data are not counted
// here; mask_coverage reports them.
int order_error_count(const HeightMatrix& residual, const HeightMatrix& measured, double Wf,
                      double Rm, double order_step);
