#include "methods/temporal_unwrap.h"

#include "methods/modulation_mask.h"

#include <algorithm>

namespace fringe::methods {

void temporal_first(PhaseField& field) {
  for (int32_t y = 0; y < field.height; ++y) {
    const RowRun run = field.runs[static_cast<std::size_t>(y)];
    const auto from = static_cast<std::ptrdiff_t>(field.at(run.first, y));
    const auto to = static_cast<std::ptrdiff_t>(field.at(run.end, y));
    std::copy(field.psi.begin() + from, field.psi.begin() + to, field.phase.begin() + from);
  }
}

void temporal_next(PhaseField& field, double coarser_lambda, double lambda) {
  for (int32_t y = 0; y < field.height; ++y) {
    const RowRun run = field.runs[static_cast<std::size_t>(y)];
    for (std::size_t i = field.at(run.first, y), end = field.at(run.end, y); i < end; ++i)
      field.phase[i] = temporal_phase(field.psi[i], field.phase[i], coarser_lambda, lambda);
  }
}

void temporal_finish(PhaseField& field) { mark_modulated(field, 1); }

}  // namespace fringe::methods
