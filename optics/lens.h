// A lens as the pinhole model with Brown-Conrady distortion sees it: a
// principal distance (the focal length of the model), square pixels of a
// pitch, a principal point, and the radial (k1, k2) and tangential (p1, p2)
// distortion of normalised image coordinates.
//
// Normalised coordinates (x, y) = (X / Z, Y / Z) of a point in the device's
// frame are distorted into
//   r^2 = x^2 + y^2,  radial = 1 + k1 r^2 + k2 r^4
//   xd = x radial + 2 p1 x y + p2 (r^2 + 2 x^2)
//   yd = y radial + p1 (r^2 + 2 y^2) + 2 p2 x y
// and land on the pixel (cx + f xd / pitch, cy + f yd / pitch): column and
// row, the row growing with y.
#pragma once

#include <optional>

struct Lens {
  double focal_mm = 40.0;        // principal distance, mm
  double pitch_mm = 0.005;       // pixel pitch, mm
  double principal_x = 639.5;    // principal point, pixels (column)
  double principal_y = 511.5;    // (row)
  double k1 = 0.0;
  double k2 = 0.0;
  double p1 = 0.0;
  double p2 = 0.0;

  bool operator==(const Lens&) const = default;

  // Pixels per unit of normalised coordinate: f / pitch.
  double scale() const { return focal_mm / pitch_mm; }
  bool distorted() const { return k1 != 0.0 || k2 != 0.0 || p1 != 0.0 || p2 != 0.0; }
};

struct Point2 {
  double x = 0.0;
  double y = 0.0;
};

// The distortion above.
Point2 distort(const Lens& lens, Point2 undistorted);
// Its inverse by Newton's iteration from the distorted point itself (or
// from `start`, a neighbouring pixel's answer, which saves a step or two),
// until the distorted point is the target to the rounding of doubles (about
// 1e-16 of a normalised unit, far below a nanometre on the sensor); nothing
// when it does not converge in 20 steps (beyond where the distortion folds).
std::optional<Point2> undistort(const Lens& lens, Point2 distorted);
std::optional<Point2> undistort(const Lens& lens, Point2 distorted, Point2 start);
// The determinant of the distortion's Jacobian at a point: where it is not
// positive the image folds over itself.
double distortion_jacobian(const Lens& lens, Point2 undistorted);

// Pixel of a normalised (undistorted) point, and the normalised point of a
// pixel (nothing where undistort finds none).
Point2 pixel_of(const Lens& lens, Point2 undistorted);
std::optional<Point2> normalised_of(const Lens& lens, Point2 pixel);
std::optional<Point2> normalised_of(const Lens& lens, Point2 pixel, Point2 start);
