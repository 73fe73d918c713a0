#include "optics/ray_surface.h"

#include <cmath>

namespace {

// The roots of a t^2 + b t + c = 0 in rising order, computed without the
// cancellation of the textbook formula; false when there is none.
bool quadratic_roots(double a, double b, double c, double& t0, double& t1) {
  if (a == 0.0) {
    if (b == 0.0) return false;
    t0 = t1 = -c / b;
    return true;
  }
  const double discriminant = b * b - 4.0 * a * c;
  if (!(discriminant >= 0.0)) return false;
  const double q = -0.5 * (b + std::copysign(std::sqrt(discriminant), b));
  t0 = q / a;
  t1 = q != 0.0 ? c / q : t0;
  if (t0 > t1) std::swap(t0, t1);
  return true;
}

}  // namespace

std::optional<double> ray_sphere(const Ray& ray, double radius) {
  // |o + t d - c|^2 = R^2 with c = (0, 0, -R): relative to the apex,
  // o'^2 + 2 R o'z ... expanded about the centre.
  const Vec3 centre{0.0, 0.0, -radius};
  const Vec3 oc = ray.origin - centre;
  const double a = dot(ray.direction, ray.direction);
  const double b = 2.0 * dot(oc, ray.direction);
  const double c = dot(oc, oc) - radius * radius;
  double t0 = 0.0, t1 = 0.0;
  if (!quadratic_roots(a, b, c, t0, t1)) return std::nullopt;
  if (t0 > 0.0) return t0;
  if (t1 > 0.0) return t1;
  return std::nullopt;
}

std::optional<double> ray_conicoid(const Ray& ray, double curvature, double q) {
  if (curvature == 0.0) {
    // The plane z = 0.
    if (ray.direction.z == 0.0) return std::nullopt;
    const double t = -ray.origin.z / ray.direction.z;
    return t > 0.0 ? std::optional<double>(t) : std::nullopt;
  }
  const Vec3& o = ray.origin;
  const Vec3& d = ray.direction;
  const double e = 1.0 + q;
  const double a = d.x * d.x + d.y * d.y + e * d.z * d.z;
  const double b = 2.0 * (o.x * d.x + o.y * d.y) + 2.0 * d.z / curvature + 2.0 * e * o.z * d.z;
  const double c = o.x * o.x + o.y * o.y + 2.0 * o.z / curvature + e * o.z * o.z;
  double roots[2];
  if (!quadratic_roots(a, b, c, roots[0], roots[1])) return std::nullopt;
  for (const double t : roots) {
    if (!(t > 0.0)) continue;
    // The sag formula's sheet: 1 - (1 + q) c^2 rho^2 > 0 and the height on
    // the side of the apex, -z c (1 + q) <= 1 (for q > -1; every root of a
    // paraboloid or hyperboloid lies on it).
    const Vec3 p = ray.at(t);
    const double rho_sq = p.x * p.x + p.y * p.y;
    if (!(1.0 - e * curvature * curvature * rho_sq >= 0.0)) continue;
    if (e > 0.0 && -p.z * curvature * e > 1.0) continue;
    return t;
  }
  return std::nullopt;
}
