// 3 x 3 mean smoothing of a picture in place (the hidden "mean" button).
#pragma once

#include "render/picture.h"

// A larger n acts as this many: both the passes and the border smoothings of
// each pass are bounded, n * n of them in all. The window calls the filter
// with a fixed small n; the bound keeps any caller's run to a few seconds.
constexpr int kMaxMeanPasses = 1024;

// Each of the n passes: interior rows top to bottom, each left to right, the
// plain mean of the 3 x 3 neighbourhood (sum / 9, integer division) and a
// vertical 1-2-1 over 8 for their first and last pixel; then n times in
// succession the top row and then the bottom row with a horizontal 1-2-1
// over 8. So the border rows are smoothed n times per pass, n * n times in
// all. Results are written at once, as in binomial_filter. 8-bit pictures are
// smoothed on their index bytes, 24-bit pictures on each channel separately.
// n <= 0 leaves the picture unchanged.
//
// n is taken as min(n, kMaxMeanPasses). The passes stop early once one
// changes no byte, and a pass's border smoothings once one changes neither
// border row (a border row depends on itself alone): what follows would
// change nothing, so the result is the same.
void mean_filter(Picture& picture, int n);
