// Minimum and maximum along one row or one column of a height map, for the
// scales of the line scan plots. Values in the map's unit (mm).
//
// Both bounds of the line are included. Cells past the map's edges are not
// read: the line is clipped to the map, and a line with no cell left (last
// before first, or a row/column outside the map) gives 0.0 twice.
// Among equal values the last visited wins; a NaN cell makes both bounds NaN.
#pragma once

#include "analysis/height_matrix.h"
#include "analysis/value_range.h"

// Range of map(x, y) for x = x0..x1 along row y, visited left to right.
ValueRange column_range(const HeightMatrix& map, int x0, int x1, int y);

// Range of map(x, y) for y = y0..y1 down column x, visited top to bottom.
ValueRange row_range(const HeightMatrix& map, int y0, int y1, int x);
