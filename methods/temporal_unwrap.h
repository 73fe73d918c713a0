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

// The coarsest period (field.psi just measured): field.phase = field.psi
// over the runs, as it stands: the coarsest period must span the field.
void temporal_first(PhaseField& field);
// A finer period (field.psi just measured with `lambda`): field.phase by
// temporal_phase over the phase of `coarser_lambda`. Pixels are not spared
// for a lack of modulation here: which ones have data is decided once every
// period's modulation is known.
void temporal_next(PhaseField& field, double coarser_lambda, double lambda);
// field.data: 1 where the least modulation of the periods is usable.
void temporal_finish(PhaseField& field);

}  // namespace fringe::methods
