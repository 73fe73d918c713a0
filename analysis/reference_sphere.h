// The perfect sphere that a measured profile is compared with, the masked
// difference that replaces a channel map by measured minus sphere, and the
// plain difference of two maps. Heights and lengths in mm; maps addressed
// (x, y) with x from the left and y from the top.
#pragma once

#include "analysis/index_to_mm.h"
#include "analysis/vector_2d.h"

#include "analysis/height_matrix.h"

// Heights of a sphere cap of radius R (mm) whose apex lies at height h0 (mm)
// in the middle of an n x n grid covering a field of width Wf (mm):
// cell (x, y) lies at u = (x - c) * g - ox, v = (y - c) * g - oy with the
// step g = Wf / n and the centre index c = (n - 1) / 2 (127.5 for n = 256),
// and holds sqrt(R * R - r2) - R + h0 with r2 = u * u + v * v, or h0 - R
// where r2 >= R * R (outside the sphere's outline). Note the order of the
// offsets: oy before ox. Fills target cells (x, y) for x, y < n that lie in
// the target; other cells keep their values. Always returns true.
bool perfect_sphere(double R, double Wf, int n, double oy, double ox, double h0, HeightMatrix& target);

// Out(x, y) = A(x, y) - B(x, y) where the cell's position
// (x / 256 * Wf, y / 256 * Wf) lies strictly closer than Rm - 0.1 mm to the
// centre (cx, cy) (mm), and 0.0 elsewhere; with Rm <= 0.1 every cell becomes
// 0.0. The field width serves both axes. Covers x, y = 0..255, clipped to the
// cells all three maps have. Out may be A or B (the profile run replaces the
// channel map in place). Always returns true.
// True where cell (x, y) of a 256-cell map lies inside the evaluation mask of
// masked_difference: strictly closer than Rm - 0.1 mm to (cx, cy).
inline bool in_evaluation_mask(double Wf, double cx, double cy, double Rm, int x, int y) {
  const Vector2D d = vector_difference({x * kCellFraction * Wf, y * kCellFraction * Wf}, {cx, cy});
  return Rm - 0.1 > vector_length(d);
}

bool masked_difference(double Wf, double cx, double cy, double Rm, const HeightMatrix& A,
                       const HeightMatrix& B, HeightMatrix& Out);

// Out(x, y) = A(x, y) - B(x, y) for x < nx, y < ny, clipped to the cells all
// three maps have. Out may be A or B.
void subtract_maps(const HeightMatrix& A, const HeightMatrix& B, HeightMatrix& Out, int nx, int ny);
