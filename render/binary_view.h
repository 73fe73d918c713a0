// The binary view: cells above and below zero marked in two colours on a
// map's picture.
#pragma once

#include "analysis/height_matrix.h"
#include "render/picture.h"

// Colours of the channel maps' view and of the difference map's view.
constexpr CanvasColour kBinaryPositive = 0x00FF00;      // pure green
constexpr CanvasColour kBinaryNegative = 0x0000FF;      // pure red
constexpr CanvasColour kBinaryDiffPositive = 0x000000;  // black
constexpr CanvasColour kBinaryDiffNegative = 2000;      // red 208, green 7

// Pixel (x, y) of the picture becomes `positive` where map(x, y) > 0 and
// `negative` where it is below 0 or not a number; cells equal to 0 keep the
// picture's colour. Covers cells 0..255 that the picture has.
void paint_binary_view(Picture& image, const HeightMatrix& map, CanvasColour positive,
                       CanvasColour negative);
