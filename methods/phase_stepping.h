// N-step phase shifting: the wrapped phase and the modulation of each pixel
// from N frames of one fringe period, frame k shifted by 2 pi k / N.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "methods/phase_field.h"
#include "scan/grey_image.h"

namespace fringe::methods {

// The phase step of frame k of n: 2 pi k / n, computed in this order (as the
// synthesis computes it).
double phase_step(int k, int n);

// S = sum I_k sin(delta_k) and C = sum I_k cos(delta_k), k = 0..n-1 in this
// order, for columns x0 .. x0 + count - 1 of the rows `rows[0..n-1]` (8-bit
// samples, or 16-bit in machine order when `wide`), into s[0..count-1] and
// c[0..count-1]. The vector kernel gives each pixel exactly these operations.
void phase_step_sums(const uint8_t* const* rows, int32_t n, bool wide, const double* sines, const double* cosines,
                     int32_t x0, int32_t count, double* s, double* c);
// The plain definition, from column offset `from` of the run on.
void phase_step_sums_plain(const uint8_t* const* rows, int32_t n, bool wide, const double* sines,
                           const double* cosines, int32_t x0, int32_t count, double* s, double* c,
                           int32_t from = 0);

// The largest sample of `frames` within the field's runs.
int32_t largest_sample(std::span<const GreyImage* const> frames, const PhaseField& field);

// Measures one period's frames (all of the field's size, 8-bit or 16-bit)
// over the field's runs: field.psi = atan2(-S, C) with the carrier of
// `lambda` removed, wrapped into (-pi, pi]; field.valid = 1 where the
// modulation B = (2 / N) sqrt(S^2 + C^2) is positive and not below
// `least_modulation`. `work` holds the sums of a row between calls.
void phase_step_period(std::span<const GreyImage* const> frames, double lambda, double least_modulation,
                       PhaseField& field, std::vector<double>& work);

}  // namespace fringe::methods
