// 3 x 3 binomial smoothing of a picture in place.
#pragma once

#include "render/picture.h"

// Passes beyond this many are not run. The count comes from a box the user
// types into (the channel's filter iterations, which the scan module also
// takes as NFilt and caps alike); a pass over a full-size camera picture
// takes about a millisecond, so the cap bounds a run at about a second.
constexpr int kMaxBinomialPasses = 1024;

// Each pass: interior rows top to bottom, each left to right, with weights
// 1 2 1 / 2 4 2 / 1 2 1 over 16 (rounded down) and a vertical 1-2-1 over 8
// for their first and last pixel; then the top row and then the bottom row
// with a horizontal 1-2-1 over 8. Results are written at once, so the row
// above and the pixel to the left enter with their new values and one pass
// is not symmetric. The four corners never change. 8-bit pictures are
// smoothed on their index bytes, 24-bit pictures on each of blue, green and
// red separately. passes <= 0 leaves the picture unchanged.
//
// Runs min(passes, kMaxBinomialPasses) passes, and stops early once a pass
// changes no byte: a pass is a fixed function of the picture, so every later
// one would change nothing either and the result is the same.
void binomial_filter(Picture& picture, int passes);
