// The surface a channel simulates: the sphere of its set radius (the
// workbench's own case) or an eye-like biconic surface.
//
// Coordinates in mm from the apex, x to the right and y up as the height maps
// show the surface; heights z in mm, 0 at the apex and negative away from it
// (the surface bulges towards the camera).
#pragma once

#include <cmath>
#include <string>

enum class SurfaceModel { sphere, biconic };

// A biconic with principal radii rx (the meridian at axis_deg) and ry (the
// meridian 90 degrees on), axis_deg counter-clockwise from the x axis, and
// the conic constant q of both meridians (0 sphere-like, -1 paraboloid, about
// -0.2 for a cornea). In coordinates (x', y') turned by the axis, with
// cx = 1 / rx and cy = 1 / ry, the sag is
//   s = (cx x'^2 + cy y'^2) / (1 + sqrt(1 - (1 + q) (cx^2 x'^2 + cy^2 y'^2)))
// and z = -s; where the root's argument is not positive the surface lies on
// the floor z = -max(rx, ry), as the sphere does outside its outline.
// For the sphere model the numbers are kept but not used: the sphere has the
// channel's set radius (SimParams::radius).
struct Surface {
  SurfaceModel model = SurfaceModel::sphere;
  double rx = 7.5;        // mm
  double ry = 7.5;        // mm
  double axis_deg = 0.0;  // degrees, any finite value (180 periodic)
  double q = 0.0;

  bool operator==(const Surface&) const = default;
};

// What a usable biconic keeps to: radii in kMinSurfaceRadius..kMaxSurfaceRadius
// mm, |q| <= kMaxConic, a finite axis.
constexpr double kMinSurfaceRadius = 0.1;
constexpr double kMaxSurfaceRadius = 1000.0;
constexpr double kMaxConic = 10.0;

// Empty for a usable surface (the sphere model always is); otherwise the
// first fault in words, e.g. "Rx must lie between 0.1 and 1000 mm (read -1)".
// NaN and infinities are faults.
std::string surface_problem(const Surface& surface);

// "sphere" or "biconic", the words of the settings file and the tool.
const char* surface_model_name(SurfaceModel model);

// A biconic ready for many height evaluations. Any numbers are accepted
// (check them with surface_problem first); values that are not numbers give
// the floor or NaN heights, never a fault.
class BiconicShape {
 public:
  explicit BiconicShape(const Surface& surface);

  // Height z at (x, y) (mm). Exactly the same at (-x, -y).
  double height(double x, double y) const {
    const double xr = x * cos_ + y * sin_;
    const double yr = y * cos_ - x * sin_;
    const double xx = xr * xr;
    const double yy = yr * yr;
    const double argument = 1.0 - conic_ * (cx_sq_ * xx + cy_sq_ * yy);
    if (!(argument > 0.0)) return floor_;
    return -(cx_ * xx + cy_ * yy) / (1.0 + std::sqrt(argument));
  }
  // The floor depth -max(rx, ry), mm.
  double floor_depth() const { return floor_; }

 private:
  double cos_, sin_;    // of the axis
  double cx_, cy_;      // 1/mm
  double cx_sq_, cy_sq_;
  double conic_;        // 1 + q
  double floor_;
};
