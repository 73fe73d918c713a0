// Bilinear interpolation inside one rectangular cell.
#pragma once

// The cell has its corner at (x1, y1) and spans width along x and height
// along y; q11, q21, q22 and q12 are the values at (x1, y1), (x1 + width, y1),
// (x1 + width, y1 + height) and (x1, y1 + height). Returns the value at the
// point (x, y), interpolated first along x on both edges, then along y.
// A cell of zero width (or height) is a line: the x (or y) weight is then 0,
// so the point takes the values of the x1 (or y1) edge rather than 0 / 0.
double bilinear(double x1, double y1, double width, double height, double x, double y,
                double q11, double q21, double q22, double q12);
