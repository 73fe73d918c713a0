// The phase steps a period's phase-shifted frames hold, measured from the
// frames alone (no plan): what a camera's frames show when they were taken
// in another order, twice, or at other steps than planned.
//
// Each frame k is modelled, pixel by pixel, as A(x) + B(x) cos(phi(x) + d_k):
// the background, the fringe amplitude and the phase are the pixel's, the
// step d_k the frame's. For steps d the pixels' least-squares fit of A,
// B cos(phi), B sin(phi) leaves trace(G) - F(d), G the frames' products
// summed over the modulated pixels (an N x N matrix, one pass over the
// frames) and F(d) = trace((Phi' Phi)^-1 Phi' G Phi), Phi's rows (1, cos d_k,
// sin d_k). The steps measured are those of the largest F: the plan's steps
// moved by an alternating fit (each frame's step from the others' pixels),
// then Newton steps to the optimum. With noise alike in every frame the
// optimum is the frames' steps (G's noise adds to its diagonal only), and
// the curvature there gives their standard errors: covariance 2 sigma^2
// (-H)^-1, sigma^2 what the fit leaves per degree of freedom.
//
// Three frames fit any three steps, and four leave the steps free to move
// along a curve; their steps come from each frame's own fringes instead:
// each frame demodulated with the carrier (2 pi / period a pixel) and summed
// over windows of two periods holds its first order alone, and the angle of
// sum z_k conj(z_0) over the windows is frame k's step (a hundredth of a
// radian off, or a few where the surface and a projector's harmonics bend
// the fringes).
//
// The fit cannot tell the steps d_k with the phase phi from the steps -d_k
// with the phase -phi. The fringes can: their phase rises along a row with
// the carrier, so the sense in which the fitted phase runs along the rows
// fixes the sense of the steps.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "scan/grey_image.h"

struct MeasuredSteps {
  // Frame k's phase from frame 0's, rad, wrapped into (-pi, pi], in the sense
  // in which the fringes' phase rises along a row: 2 pi k / n (wrapped) for
  // a sound set of n steps. phases[0] is 0.
  std::vector<double> phases;
  // The standard error of phases[k] from the noise (frame 0's included),
  // rad; NaN along_rows.
  std::vector<double> errors;
  // Frame k's fringe amplitude over the median frame's: about 1 each in a
  // sound set, about 0 for a frame without fringes.
  std::vector<double> amplitudes;
  // What the fitted sinusoids leave, rms, in grey levels of the frames;
  // NaN along_rows.
  double noise = 0.0;
  std::size_t cells = 0;   // modulated pixels summed over
  bool measured = false;   // false: no step could be measured (see measure_phase_steps)
  bool along_rows = false; // the steps of 3 or 4 frames, from each frame's own fringes
  // 3 or 4 frames of fringes coarser than an eighth of the frame, which
  // neither way can measure: `phases` are the plan's in the sense the rows
  // show, which tells a reversed set alone.
  bool plan_only = false;
};

// The steps of `frames` (one period's, n >= 3, all of one size and kind, 8 or
// 16 bits as the methods take them), made with fringes of `period` pixels,
// from the plan's steps `planned` on. Pixels are used where the modulation
// the samples show, the root of 2/n times the sum of their squared
// deviations from their mean, is positive and at least 1 % of the largest
// sample read (the methods' rule), on rows spread evenly over the frames so
// that the pass costs about as much whatever n is. Not `measured` when there
// is nothing to fit: no modulated pixel, or steps that leave the fit
// singular.
MeasuredSteps measure_phase_steps(std::span<const GreyImage* const> frames, std::span<const double> planned,
                                  double period);
