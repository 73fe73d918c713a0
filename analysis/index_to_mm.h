// Map cell index to position in mm from the map's left (x) or top (y) edge:
// cell i lies at i / 256 of the field size. The pointer readout over the
// difference map passes channel 0's field sizes (field_size_x_0,
// field_size_y_0), which the window owns; 10.24 mm until a profile run.
#pragma once

// The share of the field one cell takes. 1/256 is a power of two, so
// index * (1/256) is exact and only the product with the field size rounds.
constexpr double kCellFraction = 1.0 / 256.0;

double index_to_mm_x(int index, double field_size_x);
double index_to_mm_y(int index, double field_size_y);
