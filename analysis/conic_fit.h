// The best-fit conic (biconic) surface of a set of heights: the surface
// model the simulation draws, fitted along z in the least-squares sense.
//
// About its apex (x0, y0, z0), with (u, v) = (x - x0, y - y0), the surface is
//   z = z0 - N / (1 + sqrt(1 - (1 + Q) M)),
//   N = (u v) C (u v)^T,  M = |C (u v)^T|^2,
// C the symmetric curvature matrix [[a, b], [b, d]] (1/mm). Turned into its
// principal directions C is diag(1 / Rx, 1 / Ry), and the formula is the
// biconic of radii Rx, Ry along those directions with one conic constant Q
// (0 a sphere-like meridian, -1 a paraboloid, about -0.2 for a cornea).
// Fitting a, b, d instead of (Rx, Ry, axis) keeps the fit smooth where the
// radii meet: a sphere has no axis, but its C is as well determined as any.
//
// A cap bulging towards +z (the map's heights) has C positive definite; a
// hollow one negative definite; a saddle is no conic surface of the model.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "analysis/sphere_fit.h"

// A conic constant beyond this is taken as a fit that ran away: no eye or
// lens surface comes near it, and the fourth-order term it stands for is
// then poorly determined by the cells.
constexpr double kMaxFittedConic = 10.0;

// Principal radii closer than this (mm) are one radius as far as the figure
// goes: the flat axis of such a surface is not available. It lies just above
// what a noise-free measurement of a sphere shows as astigmatism (a few
// microns of radius), and well below the 0.02 mm a keratometer reads to, so
// a sphere reports no axis and any real astigmatism reports its axis.
constexpr double kSphereLikeRadiusDifference = 0.01;

struct ConicSurface {
  double x0 = 0.0, y0 = 0.0, z0 = 0.0;  // apex, mm
  double a = 0.0, b = 0.0, d = 0.0;     // curvature matrix, 1/mm
  double q = 0.0;                       // conic constant

  // Height at (x, y) (mm); NaN where the root's argument is not positive.
  double height(double x, double y) const;
};

struct ConicFitResult {
  ConicSurface surface;
  // Apical radii of the principal meridians, mm, signed like the best-fit
  // sphere's radius (positive for a cap bulging towards +z). Flat is the
  // larger in size.
  double flat_radius = 0.0;
  double steep_radius = 0.0;
  // The flat meridian's direction, degrees counter-clockwise from x,
  // 0 <= axis < 180; none when the radii differ by less than
  // kSphereLikeRadiusDifference.
  std::optional<double> axis_deg;
  double q = 0.0;
  double rms = 0.0;     // of the height residual, mm
  int iterations = 0;   // Levenberg-Marquardt steps taken
};

// Fits the model to the points (x[i], y[i], z[i]) (mm), starting from the
// sphere cap `start` (the best-fit sphere of the same points), by
// Levenberg-Marquardt steps over (x0, y0, z0, a, b, d, Q), at most a bounded
// number of them. Without a result `why_not` (when given) says why: fewer
// than 8 points, points on one line, no convergence, a surface flat in some
// direction (a radius beyond kMaxFigureRadius), a saddle, or |Q| beyond
// kMaxFittedConic.
std::optional<ConicFitResult> fit_conic(const std::vector<double>& x, const std::vector<double>& y,
                                        const std::vector<double>& z, const SphereCap& start,
                                        std::string* why_not = nullptr);
