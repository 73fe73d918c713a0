// 3 x 3 binomial smoothing of a picture in place.
#pragma once

#include "render/picture.h"

// Each pass: interior rows top to bottom, each left to right, with weights
// 1 2 1 / 2 4 2 / 1 2 1 over 16 (rounded down) and a vertical 1-2-1 over 8
// for their first and last pixel; then the top row and then the bottom row
// with a horizontal 1-2-1 over 8. Results are written at once, so the row
// above and the pixel to the left enter with their new values and one pass
// is not symmetric. The four corners never change. 8-bit pictures are
// smoothed on their index bytes, 24-bit pictures on each of blue, green and
// red separately. passes <= 0 leaves the picture unchanged.
void binomial_filter(Picture& picture, int passes);
