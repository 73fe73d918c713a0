// The magnifier: a small window of a height map enlarged bilinearly and shown
// in colour classes, or the raw pixels around the pointer over a fringe image.
#pragma once

#include "analysis/height_matrix.h"
#include "render/colour_components.h"
#include "render/picture.h"

// Enlarges cells x0..x1, y0..y1 (bounds included) of `map` into
// `magnifier_rows`, the magnifier's value grid of one value per pixel,
// addressed (i, j) = (pixel column, pixel row) and as large as `image`; then
// colours every pixel from its grid value in n classes over lo..hi (mm), as
// render_map colours a map: values outside lo..hi, NaN and the slice above
// the last threshold are white; with lo = hi only values equal to lo show,
// in the colour of class 0.
//
// The grid is rewritten only when the window is smaller than the picture in
// both directions and lies on the map; otherwise the previous enlargement is
// coloured again with the new range. The grid keeps its values between calls.
// A grid of another size than the picture is first reset to the picture's
// size, all 0.0; a picture that is not 24-bit becomes a 24-bit one of the
// same size.
void render_magnifier(const HeightMatrix& map, int x0, int x1, int y0, int y1, int n, Picture& image,
                      ColourComponent blue, ColourComponent red, ColourComponent green, double lo, double hi,
                      HeightMatrix& magnifier_rows);

// Raw pixels shown around the pointer: 21 x 21, from -10 to +10.
constexpr int kRawReach = 10;

// Fills `magnifier` with the raw pixels of columns x - 10..x + 10 and rows
// y - 10..y + 10, nearest neighbour: magnifier pixel (j, i) of Wm x Hm shows
// raw column x + round(j / Wm * 20) - 10 and row y + round(i / Hm * 20) - 10,
// so each raw pixel becomes a block of about 8 x 8 (the outermost get 4 or
// 5). An 8-bit raw pixel is a grey level (blue = green = red = its byte); a
// 24-bit one keeps its colour. A magnifier that is not 24-bit becomes a
// 24-bit picture of the same size.
// Draws nothing and answers false unless 10 < x < control_w - 10 and
// 10 < y < control_h - 10 and the 21 x 21 pixels lie on the raw picture
// (which may be smaller than its control).
bool enlarge_raw_pixels(const Picture& raw, int x, int y, int control_w, int control_h, Picture& magnifier);
