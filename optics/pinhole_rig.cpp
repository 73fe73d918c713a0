#include "optics/pinhole_rig.h"

#include <cmath>

PinholeRig::PinholeRig(const OpticalSystem& system, double offset_x, double offset_y)
    : system_(system), pose_(pinhole_pose(system, offset_x, offset_y)) {}

std::optional<Ray> PinholeRig::camera_ray(Point2 pixel) const {
  const std::optional<Point2> n = normalised_of(system_.camera.lens, pixel);
  if (!n) return std::nullopt;
  return camera_ray_normalised(*n);
}

std::optional<Point2> PinholeRig::camera_pixel(Vec3 point) const {
  const Vec3 p = point - pose_.camera_centre;
  const double depth = -p.z;
  if (!(depth > 0.0)) return std::nullopt;
  return pixel_of(system_.camera.lens, {p.x / depth, p.y / depth});
}

std::optional<Point2> PinholeRig::projector_pixel(Vec3 point) const {
  const Vec3 p = point - pose_.projector_centre;
  const double depth = dot(p, pose_.projector_axis);
  if (!(depth > 0.0)) return std::nullopt;
  return pixel_of(system_.projector.lens, {dot(p, pose_.projector_u) / depth, dot(p, pose_.projector_v) / depth});
}

bool PinholeRig::lit(Point2 q) const {
  return q.x >= -0.5 && q.x <= system_.projector.width - 0.5 && q.y >= -0.5 && q.y <= system_.projector.height - 0.5;
}

std::optional<double> PinholeRig::meet_plane(const Ray& ray, double xn) const {
  // The points whose normalised projector column is xn: (p - P).(u - xn a) = 0.
  const Vec3 normal = pose_.projector_u - xn * pose_.projector_axis;
  const double along = dot(ray.direction, normal);
  if (along == 0.0) return std::nullopt;
  const double t = dot(pose_.projector_centre - ray.origin, normal) / along;
  if (!(t > 0.0)) return std::nullopt;
  return t;
}

std::optional<double> PinholeRig::meet_projector_column(const Ray& ray, double u) const {
  const Lens& lens = system_.projector.lens;
  const double s = lens.scale();
  const double xd = (u - lens.principal_x) / s;
  std::optional<double> t = meet_plane(ray, xd);
  if (!t || !lens.distorted()) return t;
  // The column's undistorted normalised coordinate depends on the row the
  // point lands on: take the row of the last point, undistort, meet again.
  for (int step = 0; step < 20; ++step) {
    const Vec3 p = ray.at(*t) - pose_.projector_centre;
    const double depth = dot(p, pose_.projector_axis);
    if (!(depth > 0.0)) return std::nullopt;
    const Point2 seen = distort(lens, {dot(p, pose_.projector_u) / depth, dot(p, pose_.projector_v) / depth});
    const std::optional<Point2> n = undistort(lens, {xd, seen.y});
    if (!n) return std::nullopt;
    const std::optional<double> next = meet_plane(ray, n->x);
    if (!next) return std::nullopt;
    const double change = *next - *t;
    t = next;
    if (std::fabs(change) < 1e-13 * *t) break;
  }
  return t;
}
