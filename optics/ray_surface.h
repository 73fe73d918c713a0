// Where a ray meets the surfaces the workbench measures, in the sphere's
// frame (apex at the origin, heights z negative away from it).
#pragma once

#include <cmath>
#include <optional>

#include "optics/vec3.h"

// The sphere of `radius` through the apex, its centre at (0, 0, -radius):
// the ray's first point on it (the smaller t > 0), nothing when it misses.
std::optional<double> ray_sphere(const Ray& ray, double radius);

// The conicoid of revolution z = -c rho^2 / (1 + sqrt(1 - (1 + q) c^2 rho^2))
// (the biconic of equal radii 1 / c): implicitly rho^2 + 2 z / c + (1 + q) z^2
// = 0, a quadric, so a quadratic in t. The first t > 0 on the sheet the sag
// formula describes (its root's argument positive); nothing otherwise.
std::optional<double> ray_conicoid(const Ray& ray, double curvature, double q);

// A surface given by its height z = h(x, y) that lies near a start: the
// point of the ray where z - h vanishes, by Newton's iteration on t from
// `start` (a closed-form intersection of a nearby quadric), the slope taken
// by a central difference. Nothing when the height is not a number there
// (off the surface) or the iteration does not settle in 30 steps.
template <typename Height>
std::optional<double> ray_height_surface(const Ray& ray, const Height& height, double start) {
  double t = start;
  const double step = 1e-6 * (std::fabs(start) + 1.0);
  for (int i = 0; i < 30; ++i) {
    const auto gap = [&](double s) {
      const Vec3 p = ray.at(s);
      return p.z - height(p.x, p.y);
    };
    const double g = gap(t);
    if (!std::isfinite(g)) return std::nullopt;
    const double slope = (gap(t + step) - gap(t - step)) / (2.0 * step);
    if (!(std::fabs(slope) > 0.0)) return std::nullopt;
    const double dt = g / slope;
    t -= dt;
    if (std::fabs(dt) < 1e-13 * (std::fabs(t) + 1.0)) return t > 0.0 ? std::optional<double>(t) : std::nullopt;
  }
  return std::nullopt;
}
