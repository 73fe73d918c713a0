// The best-fit sphere of a set of surface heights: the sphere cap whose
// heights (along z) differ least from them in the least-squares sense.
#pragma once

#include <cmath>
#include <optional>
#include <string>
#include <vector>

// Radii beyond this (mm) count as no finite radius: the surface is flat as
// far as an eye or lens is concerned. The same limit holds for keratometry.
constexpr double kMaxFigureRadius = 1000.0;

// The cap z = z0 - c rho^2 / (1 + sqrt(1 - c^2 rho^2)), rho the distance from
// the apex (x0, y0): the sphere of radius 1 / c through the apex height z0,
// bulging towards +z for c > 0 (towards -z for c < 0). Lengths in mm.
struct SphereCap {
  double x0 = 0.0;
  double y0 = 0.0;
  double z0 = 0.0;
  double curvature = 0.0;  // 1/mm

  // NaN where the cap has no height (rho of at least the radius).
  double height(double x, double y) const {
    const double dx = x - x0, dy = y - y0;
    const double rho_sq = dx * dx + dy * dy;
    const double w_sq = 1.0 - curvature * curvature * rho_sq;
    if (!(w_sq > 0.0)) return std::nan("");
    return z0 - curvature * rho_sq / (1.0 + std::sqrt(w_sq));
  }
};

struct SphereFitResult {
  SphereCap cap;
  double radius = 0.0;  // 1 / curvature, mm
  double rms = 0.0;     // of the height residual, mm
  int iterations = 0;   // Levenberg-Marquardt steps taken
};

// Fits the cap to the points (x[i], y[i], z[i]) (mm): an algebraic sphere fit
// (x^2 + y^2 + z^2 + D x + E y + F z + G = 0, linear least squares) gives the
// start, then Levenberg-Marquardt steps minimise the sum of squared height
// differences over (x0, y0, z0, c) until a step changes nothing that
// matters. Without a result `why_not` (when given) says why: fewer than four
// points, points on one line, a flat surface (no finite radius, or one
// beyond kMaxFigureRadius), no convergence.
std::optional<SphereFitResult> fit_sphere(const std::vector<double>& x, const std::vector<double>& y,
                                          const std::vector<double>& z, std::string* why_not = nullptr);
