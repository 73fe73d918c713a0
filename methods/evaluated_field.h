// Which pixels the methods evaluate: the engine's evaluation ellipse as runs
// of a phase field.
#pragma once

#include <cstdint>

#include "methods/phase_field.h"
#include "scan.h"

namespace fringe::methods {

// The evaluation ellipse as process_image builds it from MaskRadius,
// MaskXOfs, MaskYOfs and the pixel sizes, as runs of `field` (resized to the
// frames' size; the planes cleared when the runs change).
void evaluated_field(PhaseField& field, int32_t width, int32_t height, const ScnPar& par);

}  // namespace fringe::methods
