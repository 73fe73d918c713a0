// Temporal unwrapping across fringe periods, coarse to fine.
#pragma once

#include "methods/phase_field.h"

namespace fringe::methods {

// The absolute phase of a finer period from its wrapped phase `psi` and the
// absolute phase of the period before, `coarser` (period `coarser_lambda`,
// pixels): the turn that brings psi nearest to the coarser phase scaled to
// this period, psi + 2 pi * nearbyint((coarser * coarser_lambda / lambda -
// psi) / (2 pi)).
inline double temporal_phase(double psi, double coarser, double coarser_lambda, double lambda) {
  return psi + kTwoPi * std::nearbyint((coarser * coarser_lambda / lambda - psi) / kTwoPi);
}

// The coarsest period: field.phase = field.psi, field.data = field.valid.
void temporal_first(PhaseField& field);
// A finer period (field.psi and field.valid just measured with `lambda`):
// field.phase by temporal_phase over the phase of `coarser_lambda`; a pixel
// keeps data only where every period so far had it.
void temporal_next(PhaseField& field, double coarser_lambda, double lambda);

}  // namespace fringe::methods
