// The arithmetic of the pointer readout over the maps, kept apart from the
// controls: the cell under the pointer, the square cell areas around it and
// where the value label goes.
#pragma once

#include <optional>

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
