// Dark level of a low-contrast fringe.
#pragma once

// How far a fringe of contrast g (0..1) is lowered so that its dark level
// sits at `floor` grey levels instead of 127 - 127 g. With b = 127 - 127 g
// the shift is b - floor, or 0 when floor >= b (contrast above (127 - floor) / 127).
double dark_level_shift(double g, int floor);
