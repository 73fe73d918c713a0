#include "methods/temporal_unwrap.h"

namespace fringe::methods {

void temporal_first(PhaseField& field) {
  for (int32_t y = 0; y < field.height; ++y) {
    const RowRun run = field.runs[static_cast<std::size_t>(y)];
    for (std::size_t i = field.at(run.first, y), end = field.at(run.end, y); i < end; ++i) {
      field.data[i] = field.valid[i];
      field.phase[i] = field.psi[i];
    }
  }
}

void temporal_next(PhaseField& field, double coarser_lambda, double lambda) {
  for (int32_t y = 0; y < field.height; ++y) {
    const RowRun run = field.runs[static_cast<std::size_t>(y)];
    for (std::size_t i = field.at(run.first, y), end = field.at(run.end, y); i < end; ++i) {
      field.data[i] = field.data[i] & field.valid[i];
      if (field.data[i] != 0) field.phase[i] = temporal_phase(field.psi[i], field.phase[i], coarser_lambda, lambda);
    }
  }
}

}  // namespace fringe::methods
