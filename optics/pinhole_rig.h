// A pinhole system placed for one picture: camera rays of pixels, points
// projected into the camera and the projector, and the triangulation of a
// camera ray with a projector column.
#pragma once

#include <optional>

#include "optics/lens.h"
#include "optics/optical_system.h"
#include "optics/vec3.h"

class PinholeRig {
 public:
  // `system` must be pinhole and pass system_problem.
  PinholeRig(const OpticalSystem& system, double offset_x, double offset_y);

  // The ray of the camera pixel (column, row) through the distorted lens:
  // from the camera's centre, its direction (xn, yn, -1) for the
  // undistorted normalised point (t then counts depth along the axis).
  // Nothing where the distortion cannot be undone.
  std::optional<Ray> camera_ray(Point2 pixel) const;
  // The ray of a normalised (undistorted) camera point.
  Ray camera_ray_normalised(Point2 normalised) const {
    return {pose_.camera_centre, {normalised.x, normalised.y, -1.0}};
  }
  // The camera pixel of a point, nothing behind the camera.
  std::optional<Point2> camera_pixel(Vec3 point) const;
  // The projector pixel (u, v) of a point, nothing behind the projector.
  std::optional<Point2> projector_pixel(Vec3 point) const;
  // Whether a projector pixel lies on its image (half a pixel beyond the
  // outer pixel centres).
  bool lit(Point2 projector) const;

  // The t of `ray` where it meets the projector's surface of constant
  // column u (pixels): the plane of the undistorted column first, then, for
  // a distorted projector lens, again with the column undistorted at the row
  // where the last point lands, until t settles. Nothing when the ray runs
  // along the surface or behind the projector.
  std::optional<double> meet_projector_column(const Ray& ray, double u) const;

  const OpticalSystem& system() const { return system_; }
  const PinholePose& pose() const { return pose_; }

 private:
  std::optional<double> meet_plane(const Ray& ray, double normalised_u) const;

  OpticalSystem system_;
  PinholePose pose_;
};
