// Bilinear resampling of height grids: the profile square onto the 256 x 256
// map, and a small window of a map onto the magnifier's value grid. Grids are
// addressed (x, y) / (i, j), x and i from the left, y and j from the top.
#pragma once

#include "analysis/height_matrix.h"

// Enlarges or reduces `square` onto the first width x height cells of
// `result` with corners aligned: result column 0 is square column 0 and
// result column width - 1 is square column nx - 1 (likewise for rows).
// Throws std::invalid_argument when result is smaller than width x height or
// a size is not positive.
void resample_bilinear(const HeightMatrix& square, int width, int height, HeightMatrix& result);
// The same from an nx x ny grid stored as HeightMatrix stores its cells
// (column after column of ny values), such as a run of whole columns of a
// larger grid.
void resample_bilinear(const double* cells, int nx, int ny, int width, int height, HeightMatrix& result);

// Enlarges the window x0..x1, y0..y1 of `map` (bounds included) onto the first
// out_w x out_h cells of `output` (i = 0..out_w - 1 across, j down). Sample
// (i, j) sits at window position (i / out_w * w, j / out_h * h), so the right
// and bottom borders repeat the border cells. Output is written only when the
// window is strictly smaller than out_w x out_h in both directions; a window
// that is empty or leaves the map, or an output grid smaller than
// out_w x out_h, also leaves `output` unchanged.
void resample_window(const HeightMatrix& map, int x0, int x1, int y0, int y1, int out_w, int out_h,
                     HeightMatrix& output);
