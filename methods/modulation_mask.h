// The modulation mask: which pixels' fringes are bright enough to measure.
#pragma once

#include <cstdint>

#include "methods/phase_field.h"

namespace fringe::methods {

// out[x] = `mark` where modulation[x] is positive and not below
// `least_modulation` (PhaseField::modulated), else 0, for x in first .. end - 1.
void modulation_mask(const double* modulation, int32_t first, int32_t end, double least_modulation, uint8_t mark,
                     uint8_t* out);
// The plain definition, from column `first` on.
void modulation_mask_plain(const double* modulation, int32_t first, int32_t end, double least_modulation,
                           uint8_t mark, uint8_t* out);

// field.data = `mark` over the runs where the field is modulated, else 0.
void mark_modulated(PhaseField& field, uint8_t mark);

}  // namespace fringe::methods
