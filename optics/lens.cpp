#include "optics/lens.h"

#include <cmath>

Point2 distort(const Lens& lens, Point2 p) {
  const double xx = p.x * p.x, yy = p.y * p.y, xy = p.x * p.y;
  const double r2 = xx + yy;
  const double radial = 1.0 + r2 * (lens.k1 + r2 * lens.k2);
  return {p.x * radial + 2.0 * lens.p1 * xy + lens.p2 * (r2 + 2.0 * xx),
          p.y * radial + lens.p1 * (r2 + 2.0 * yy) + 2.0 * lens.p2 * xy};
}

namespace {

// The Jacobian of distort at p: [a b; c d].
struct Jacobian {
  double a, b, c, d;
};

Jacobian jacobian(const Lens& lens, Point2 p) {
  const double r2 = p.x * p.x + p.y * p.y;
  const double radial = 1.0 + r2 * (lens.k1 + r2 * lens.k2);
  const double dradial = 2.0 * lens.k1 + 4.0 * lens.k2 * r2;  // d radial / d(r^2), times 2 below via x, y
  return {radial + p.x * dradial * p.x + 2.0 * lens.p1 * p.y + 6.0 * lens.p2 * p.x,
          p.x * dradial * p.y + 2.0 * lens.p1 * p.x + 2.0 * lens.p2 * p.y,
          p.y * dradial * p.x + 2.0 * lens.p1 * p.x + 2.0 * lens.p2 * p.y,
          radial + p.y * dradial * p.y + 6.0 * lens.p1 * p.y + 2.0 * lens.p2 * p.x};
}

}  // namespace

double distortion_jacobian(const Lens& lens, Point2 p) {
  const Jacobian j = jacobian(lens, p);
  return j.a * j.d - j.b * j.c;
}

std::optional<Point2> undistort(const Lens& lens, Point2 target) { return undistort(lens, target, target); }

std::optional<Point2> undistort(const Lens& lens, Point2 target, Point2 start) {
  if (!lens.distorted()) return target;
  // Done when the distorted point is the target to within the rounding of
  // numbers of its size: Newton's steps gain nothing more.
  const double enough = 4e-16 * (std::fabs(target.x) + std::fabs(target.y) + 1e-3);
  Point2 p = start;
  for (int step = 0; step < 20; ++step) {
    const Point2 d = distort(lens, p);
    const double ex = d.x - target.x, ey = d.y - target.y;
    if (std::fabs(ex) + std::fabs(ey) <= enough) return p;
    const Jacobian j = jacobian(lens, p);
    const double det = j.a * j.d - j.b * j.c;
    if (!(det > 0.0)) return std::nullopt;
    p.x -= (j.d * ex - j.b * ey) / det;
    p.y -= (j.a * ey - j.c * ex) / det;
  }
  // Rounding may keep the residual a little above `enough`; accept what
  // lies within a few times it, nothing that has not converged.
  const Point2 d = distort(lens, p);
  if (std::fabs(d.x - target.x) + std::fabs(d.y - target.y) <= 16.0 * enough) return p;
  return std::nullopt;
}

Point2 pixel_of(const Lens& lens, Point2 undistorted) {
  const Point2 d = distort(lens, undistorted);
  const double s = lens.scale();
  return {lens.principal_x + s * d.x, lens.principal_y + s * d.y};
}

std::optional<Point2> normalised_of(const Lens& lens, Point2 pixel) {
  const double s = lens.scale();
  return undistort(lens, {(pixel.x - lens.principal_x) / s, (pixel.y - lens.principal_y) / s});
}

std::optional<Point2> normalised_of(const Lens& lens, Point2 pixel, Point2 start) {
  const double s = lens.scale();
  return undistort(lens, {(pixel.x - lens.principal_x) / s, (pixel.y - lens.principal_y) / s}, start);
}
