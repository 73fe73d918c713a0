// Colour height maps: a window of a height map drawn in colour classes.
#pragma once

#include "analysis/height_matrix.h"
#include "render/colour_components.h"
#include "render/picture.h"

// Colour classes of the height maps, the difference map, the evaluation maps
// and every map the range controls redraw.
constexpr int kMapColourClasses = 20;
// The finer classes of channel 0's PV map and of the magnifier.
constexpr int kFineColourClasses = 25;

// Replaces `image` by a 24-bit picture of w = x1 - x0 + 1 by h = y1 - y0 + 1
// pixels in which pixel (c, r) shows map cell (c, r): the top-left w x h cells
// of the map; x0 and y0 set the size only and do not shift the cells read.
// Values min..max (mm) fall into n classes (level_thresholds); values outside
// min..max, NaN and the slice above the last threshold are white. Cells past
// the map's edge are white too. A window with no cell or with a side above
// kMaxPictureSide leaves the picture as it was.
void render_map(const HeightMatrix& map, int x0, int x1, int y0, int y1, int n, Picture& image,
                ColourComponent blue, ColourComponent red, ColourComponent green, double min, double max);

// The whole 256 x 256 map in the workbench's colours (blue, red, green
// components) over min..max (mm), in `classes` classes.
void render_full_map(const HeightMatrix& map, Picture& image, double min, double max,
                     int classes = kMapColourClasses);
