// Statistics over a rectangle of a height map: the cells (x, y) with
// x0 <= x <= x1 and y0 <= y <= y1, both bounds included, x from the left and
// y from the top of the map. Values and results are in the map's unit (mm).
//
// Every cell of the area counts, including 0.0 outside the evaluation mask and
// the no-height value -10.0. Callers normally keep the area inside the map; an
// area reaching past the map is clipped to the map's cells, and an area with
// no cell left (x1 < x0, y1 < y0, or wholly outside) is empty: every
// statistic of an empty area is 0.0 (area_range gives 0.0 twice).
// A NaN cell makes the result NaN; infinite cells follow IEEE arithmetic.
#pragma once

#include "analysis/height_matrix.h"
#include "analysis/value_range.h"

// Minimum and maximum of the area, visited x outer, y inner.
ValueRange area_range(const HeightMatrix& map, int x0, int x1, int y0, int y1);

// Peak-to-valley: max - min of the area; never negative.
double area_pv(const HeightMatrix& map, int x0, int x1, int y0, int y1);

// Arithmetic mean; the sum runs x outer, y inner, rounded after each addition.
double area_mean(const HeightMatrix& map, int x0, int x1, int y0, int y1);

// Population standard deviation of the area's values about area_mean: the
// square root of the summed squared deviations divided by the cell count (not
// the count less one).
double area_rms(const HeightMatrix& map, int x0, int x1, int y0, int y1);
