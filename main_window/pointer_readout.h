// The arithmetic of the pointer readout over the maps and the raw images,
// kept apart from the controls: the cell under the pointer, the square cell
// areas around it, where the value label goes, and the enlarged raw pixels.
#pragma once

#include <optional>

#include "render/picture.h"

// pointer_cell's answer for a pointer outside the map (a captured pointer
// dragged past the control's edge reports such positions).
constexpr int kOffMap = -1;

// Map cell under pointer coordinate `pixel` of a control `extent` pixels
// long: round(pixel / extent * 256), halves to even. The maps are drawn at
// 256 pixels, so normally the cell is the pixel. kOffMap unless the cell is
// one of 0..255.
int pointer_cell(int pixel, int extent);

// Cells x0..x1, y0..y1 of a map, bounds included.
struct CellArea {
  int x0 = 0;
  int x1 = -1;
  int y0 = 0;
  int y1 = -1;
};

// The square of sides side_x by side_y mm around cell (xi, yi) on a map of
// field_x by field_y mm: half-width h = side / field * 256 * 0.5 cells and
// bounds round(xi - h) .. round(xi + h), halves to even (0.2 mm on 10.24 mm
// puts both bounds on halves: 5 cells around an even cell, 7 around an odd
// one). Empty when a bound leaves the cells 0..255 or is not a number (a
// zero field size), so that nothing off the map is ever read. A negative
// side gives x1 < x0: an area without cells.
std::optional<CellArea> area_around(int xi, int yi, double side_x, double side_y, double field_x,
                                    double field_y);

// Where the value label goes along one axis, for the pointer at `pixel` in a
// map control of `extent` pixels whose edge lies at `origin` in the window:
// `ahead` past the pointer in the first half (10 < pixel < extent / 2), `back`
// before it in the second (extent / 2 < pixel < extent - 10). Within 10
// pixels of an edge, or exactly on the middle, the label keeps `current`.
int label_position(int pixel, int extent, int origin, int ahead, int back, int current);

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
