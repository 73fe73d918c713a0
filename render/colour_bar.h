// The continuous colour scale beside the maps.
#pragma once

#include "render/colour_components.h"
#include "render/picture.h"

// Replaces the picture by a 24-bit one of the same size in which row r shows
// level round(r / H * 255): level 0 in the top row, near 255 in the bottom
// row, without classes.
void draw_colour_bar(Picture& image, ColourComponent blue, ColourComponent red, ColourComponent green);
