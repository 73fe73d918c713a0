// Heights from the unwrapped phase of the finest period, by the engine's
// triangulation.
#pragma once

#include <cstdint>

#include "methods/phase_field.h"
#include "scan.h"

namespace fringe::methods {

// Heights of columns first .. end - 1: k_lambda * phase[x] / (2 pi) where
// data[x] is 1 and the height is a float (stored_height), else no_data.
// The vector kernel gives each column exactly these operations.
void phase_heights(const double* phase, const uint8_t* data, float* out, int32_t first, int32_t end,
                   double k_lambda, float no_data);
void phase_heights_plain(const double* phase, const uint8_t* data, float* out, int32_t first, int32_t end,
                         double k_lambda, float no_data);

// The triangulation of the engine for a period of `lambda` pixels:
// height = k * lambda * phase / (2 pi), k = CamResX / tan(Alpha), the height
// whose fringe shift (relative to the carrier about column width div 2) the
// phase measures.
struct PhaseHeights {
  PhaseHeights(const ScnPar& par, double lambda);
  // Row y of the field (width values): heights where the field has data,
  // `no_data` elsewhere and for heights no float holds.
  void row(const PhaseField& field, int32_t y, float* out) const;

  double k;
  double lambda;
  float no_data;
};

}  // namespace fringe::methods
