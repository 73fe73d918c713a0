// Spatial unwrapping of one period's wrapped phase by a flood fill.
#pragma once

#include <cstdint>
#include <vector>

#include "methods/phase_field.h"

namespace fringe::methods {

// The pixel the fill starts from: (width div 2, height div 2) when it is
// modulated, else the modulated pixel nearest to it (squared distance), the
// first such in row order, columns left to right; false when none is.
bool flood_start(const PhaseField& field, int32_t& x, int32_t& y);

// field.phase and field.data from field.psi for the modulated pixels
// (PhaseField::modulated): the start pixel
// keeps its wrapped phase; each pixel reached from a neighbour (up, down,
// left, right of the pixel taken from the stack, in this order) gets the
// neighbour's phase plus the wrapped difference of their wrapped phases. An
// edge whose wrapped difference exceeds pi * |flaw_threshold| / 128 (the
// engine's flaw threshold, 1/256 period) is not crossed; a threshold of 128
// or more crosses every edge. Pixels not reached get no data.
// `stack` is work room kept between calls.
void flood_unwrap(PhaseField& field, int32_t flaw_threshold, std::vector<uint32_t>& stack);

}  // namespace fringe::methods
