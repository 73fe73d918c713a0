// Which pixels the methods evaluate: the engine's evaluation ellipse as runs
// of a phase field.
#pragma once

#include <cstdint>
#include <vector>

#include "methods/phase_field.h"
#include "scan.h"

namespace fringe::methods {

// The evaluation ellipse as process_image builds it from MaskRadius,
// MaskXOfs, MaskYOfs and the pixel sizes: its run of each of the `height`
// rows of a picture `width` pixels wide (empty outside it). Throws
// std::bad_alloc.
std::vector<RowRun> evaluation_runs(int32_t width, int32_t height, const ScnPar& par);

// The same as runs of `field` (resized to the frames' size; the planes
// cleared when the runs change).
void evaluated_field(PhaseField& field, int32_t width, int32_t height, const ScnPar& par);

}  // namespace fringe::methods
