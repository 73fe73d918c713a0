// Line scan plots: one row or one column of a height map drawn as a polyline
// into a small picture beside the map, with an optional red position marker
// and the line's minimum and maximum as label texts.
//
// Horizontal scans put the maximum on the top edge (row 0) and the minimum on
// the bottom bound (row H, just outside the picture); vertical scans put the
// maximum on the left edge and the minimum on column W. Cells first..last
// span the width (height) from 0 to W (H). Only cells inside the map are read:
// a line partly past the map's edge is plotted where it lies on the map; a
// line with no cell on the map gets the frame and the marker only, and empty
// labels. first = last plots its one cell at position 0.
#pragma once

#include <string>

#include "analysis/height_matrix.h"
#include "render/picture.h"

// Texts for the two labels of a scan: scale * minimum and scale * maximum as
// general number text with 2 significant digits and 2 exponent digits.
struct ScanLabels {
  std::string min;
  std::string max;
};

// Plots map(x, y) for x = first..last scaled to the fixed range lo..hi, in
// the current pen, over a white picture with a one-pixel frame; no marker.
// Values outside lo..hi run off the picture and are clipped.
void draw_scan_fixed_range(Picture& image, const HeightMatrix& map, int first, int last, int y, double lo,
                           double hi);

// Row y of the map scaled to its own minimum and maximum, with a vertical red
// marker at column round(W * marker_fraction). Leaves the pen black.
void draw_horiz_scan(Picture& image, const HeightMatrix& map, int first, int last, int y,
                     double marker_fraction);
ScanLabels draw_horiz_scan(Picture& image, const HeightMatrix& map, int first, int last, int y,
                           double marker_fraction, double scale);

// Column x of the map scaled to its own minimum and maximum, with a
// horizontal red marker at row round(H * marker_fraction). Leaves the pen
// black.
void draw_vert_scan(Picture& image, const HeightMatrix& map, int first, int last, int x,
                    double marker_fraction);
ScanLabels draw_vert_scan(Picture& image, const HeightMatrix& map, int first, int last, int x,
                          double marker_fraction, double scale);
