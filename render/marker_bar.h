// A thick horizontal bar marking a position along a strip.
#pragma once

#include "render/picture.h"

// Clears the picture to the brush with a pen frame, then draws with the
// current pen, at c = round(H * fraction): the seven rows c + 3 down to
// c - 3 when 4 < c < H - 4, otherwise the single row c.
void draw_marker_bar(Picture& image, double fraction);
