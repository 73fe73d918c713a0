// The surface a channel simulates: the sphere of its set radius (the
// workbench's own case) or an eye-like biconic surface.
//
// Coordinates in mm from the apex, x to the right and y up as the height maps
// show the surface; heights z in mm, 0 at the apex and negative away from it
// (the surface bulges towards the camera).
#pragma once

#include <cmath>
#include <cstddef>
#include <string>
#include <vector>

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
//
// Either model may carry cones: localised steepenings, each a Gaussian bump
// added to the heights (towards the camera, as the apex bulges):
//   z_cone(x, y) = z(x, y) + h exp(-((x - x0)^2 + (y - y0)^2) / (2 w^2))
// with h the cone's height, (x0, y0) its centre and w its width, the
// Gaussian's standard deviation (its full width at half height is
// 2 sqrt(2 ln 2) w, about 2.355 w). In sag (depth below the apex, positive
// away from the camera) the bump subtracts: a positive height brings the
// surface forward and bends it more sharply at the centre (its curvature
// grows by h / w^2 there), which is what a cone does to a cornea. Where the
// surface lies on its floor the cones add nothing.
struct Cone {
  double height_um = 0.0;  // microns, positive towards the camera
  double x_mm = 0.0;       // centre, mm from the apex
  double y_mm = 0.0;
  double width_mm = 1.0;   // the Gaussian's sigma, mm

  bool operator==(const Cone&) const = default;
};

struct Surface {
  SurfaceModel model = SurfaceModel::sphere;
  double rx = 7.5;        // mm
  double ry = 7.5;        // mm
  double axis_deg = 0.0;  // degrees, any finite value (180 periodic)
  double q = 0.0;
  std::vector<Cone> cones{};  // none: the surface as it always was

  bool operator==(const Surface&) const = default;
};

// Whether the synthesis draws the surface with the sphere's own rows
// (sphere_rows.h): the sphere of the set radius without cones, whose
// pictures stay exactly what they always were.
inline bool drawn_as_plain_sphere(const Surface& surface) {
  return surface.model == SurfaceModel::sphere && surface.cones.empty();
}

// What a usable biconic keeps to: radii in kMinSurfaceRadius..kMaxSurfaceRadius
// mm, |q| <= kMaxConic, a finite axis.
constexpr double kMinSurfaceRadius = 0.1;
constexpr double kMaxSurfaceRadius = 1000.0;
constexpr double kMaxConic = 10.0;
// What a usable cone keeps to: |height| <= kMaxConeHeight microns, width in
// kMinConeWidth..kMaxConeWidth mm, |centre| <= kMaxConeOffset mm on each
// axis, at most kMaxCones of them.
constexpr double kMaxConeHeight = 1000.0;
constexpr double kMinConeWidth = 0.01;
constexpr double kMaxConeWidth = 100.0;
constexpr double kMaxConeOffset = 100.0;
constexpr std::size_t kMaxCones = 9;

// Empty for a usable surface (the sphere model's numbers are not checked,
// its cones are); otherwise the first fault in words, e.g. "Rx must lie
// between 0.1 and 1000 mm (read -1)" or "cone 2: the width must lie between
// 0.01 and 100 mm (read 0)". NaN and infinities are faults.
std::string surface_problem(const Surface& surface);

// "sphere" or "biconic", the words of the settings file and the tool.
const char* surface_model_name(SurfaceModel model);

// The cone's bump alone at (x, y) (mm), in mm: the definition above.
inline double cone_height(const Cone& cone, double x, double y) {
  const double dx = x - cone.x_mm, dy = y - cone.y_mm;
  return cone.height_um * 1e-3 * std::exp(-(dx * dx + dy * dy) / (2.0 * cone.width_mm * cone.width_mm));
}

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

// The surface the synthesis draws: the biconic (or, for the sphere model,
// the sphere of `sphere_radius` drawn as the biconic of equal radii and no
// conic) plus its cones. Without cones the heights are BiconicShape's, bit
// for bit.
class SurfaceShape {
 public:
  SurfaceShape(const Surface& surface, double sphere_radius);

  double height(double x, double y) const {
    const double z = base_.height(x, y);
    if (cones_.empty() || z == base_.floor_depth()) return z;
    double bump = 0.0;
    for (const Bump& c : cones_) {
      const double dx = x - c.x, dy = y - c.y;
      bump += c.height * std::exp(-(dx * dx + dy * dy) * c.rate);
    }
    return z + bump;
  }
  double floor_depth() const { return base_.floor_depth(); }
  bool has_cones() const { return !cones_.empty(); }

 private:
  struct Bump {
    double height;  // mm
    double x, y;    // mm
    double rate;    // 1 / (2 w^2), 1/mm^2
  };
  BiconicShape base_;
  std::vector<Bump> cones_;
};
