// Local evaluation maps: PV, RMS or mean of a height map over the 7 x 7 cells
// around each cell.
#pragma once

#include "analysis/height_matrix.h"

enum class LocalEvaluation { pv, rms, mean };

// result(x, y) = the statistic of map over x - 3..x + 3, y - 3..y + 3 for
// 4 <= x, y <= 252; every other cell (the 4-cell border) is 0.0. result must
// not be map.
void local_evaluation_map(const HeightMatrix& map, LocalEvaluation kind, HeightMatrix& result);
