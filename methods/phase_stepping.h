// N-step phase shifting: the wrapped phase and the modulation of each pixel
// from N frames of one fringe period, frame k shifted by 2 pi k / N.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "methods/measurement_quality.h"
#include "methods/phase_field.h"
#include "scan/grey_image.h"

namespace fringe::methods {

// The phase step of frame k of n: 2 pi k / n, computed in this order (as the
// synthesis computes it).
double phase_step(int k, int n);

// For columns x0 .. x0 + count - 1 of the rows `rows[0..n-1]` (8-bit
// samples, or 16-bit in machine order when `wide`): s = sum I_k sin(delta_k)
// and c = sum I_k cos(delta_k), k = 0..n-1 in this order, and the modulation
// b = (2 / n) * sqrt(s * s + c * c), into s, c, b[0..count-1]; `largest`
// rises to the largest sample read. The vector kernel gives each pixel
// exactly the plain definition's operations.
void phase_step_sums(const uint8_t* const* rows, int32_t n, bool wide, const double* sines, const double* cosines,
                     int32_t x0, int32_t count, double* s, double* c, double* b, double& largest);
// The plain definition, from column offset `from` of the run on.
void phase_step_sums_plain(const uint8_t* const* rows, int32_t n, bool wide, const double* sines,
                           const double* cosines, int32_t x0, int32_t count, double* s, double* c, double* b,
                           double& largest, int32_t from = 0);

// The same with the deviation of each pixel's samples from its fitted
// sinusoid: e = max(0, Q - (A * A / n + (2 / n) * (s * s + c * c))) / n, A
// the sum of the samples and Q the sum of their squares (k = 0..n-1 in this
// order), into e[0..count-1]: the mean squared distance of the samples from
// a + b cos(phi + delta_k) of the least-squares a, b, phi (grey levels
// squared). s, c and b are those phase_step_sums gives.
void phase_step_deviation(const uint8_t* const* rows, int32_t n, bool wide, const double* sines,
                          const double* cosines, int32_t x0, int32_t count, double* s, double* c, double* b,
                          double* e, double& largest);
void phase_step_deviation_plain(const uint8_t* const* rows, int32_t n, bool wide, const double* sines,
                                const double* cosines, int32_t x0, int32_t count, double* s, double* c, double* b,
                                double* e, double& largest, int32_t from = 0);

// Measures one period's frames (all of the field's size, 8-bit or 16-bit)
// over the field's runs: field.psi = atan2(-S, C) with the carrier of
// `lambda` removed, wrapped into (-pi, pi], where the modulation is positive;
// field.modulation = that modulation (`first`), or the lesser of it and the
// earlier periods' (not `first`). With `cells` (a measurement's quality,
// started on the field's runs), the samples' deviation from the fit
// (phase_step_deviation) of the cells' deviation rows, of several periods
// the largest, kept in field.deviation (PhaseField); of the `last` period
// the rows' modulation and deviation go to the cells. Returns the largest sample read. `work` holds a row's sums
// between calls.
double phase_step_period(std::span<const GreyImage* const> frames, double lambda, bool first, PhaseField& field,
                         std::vector<double>& work, QualityCells* cells = nullptr, bool last = true);

}  // namespace fringe::methods
