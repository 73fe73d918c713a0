// The pinhole model against closed forms: pixel rays and projections without
// distortion, the centred sphere and the conicoid, the distortion against its
// inverse, triangulation returning the point a ray and a projector column
// came from, and the systems that cannot measure refused by their key.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "optics/lens.h"
#include "optics/optical_system.h"
#include "optics/pinhole_rig.h"
#include "optics/ray_surface.h"

namespace {

OpticalSystem undistorted_system() {
  OpticalSystem s = default_pinhole_system();
  s.camera.lens.k1 = s.projector.lens.k1 = 0.0;
  return s;
}

TEST(PinholeOptics, PixelRaysAndProjectionsAgreeWithTheClosedForm) {
  const OpticalSystem s = undistorted_system();
  const PinholeRig rig(s, 0.0, 0.0);
  const double scale = s.camera.lens.focal_mm / s.camera.lens.pitch_mm;
  const struct {
    double column, row;
  } pixels[] = {{639.5, 511.5}, {300.0, 200.0}, {1000.0, 800.0}, {100.25, 900.75}, {640.0, 12.0}};
  for (const auto& px : pixels) {
    SCOPED_TRACE(std::to_string(px.column) + ", " + std::to_string(px.row));
    const std::optional<Ray> ray = rig.camera_ray({px.column, px.row});
    ASSERT_TRUE(ray);
    // From the camera's centre, 80 mm above the apex, with the slope of the
    // pixel's distance from the principal point over the focal length.
    EXPECT_EQ(ray->origin.z, 80.0);
    EXPECT_NEAR(ray->direction.x, (px.column - 639.5) / scale, 1e-15);
    EXPECT_NEAR(ray->direction.y, (px.row - 511.5) / scale, 1e-15);
    EXPECT_EQ(ray->direction.z, -1.0);
    // Any point of the ray lands on the pixel again.
    for (const double t : {10.0, 80.0, 95.0}) {
      const std::optional<Point2> back = rig.camera_pixel(ray->at(t));
      ASSERT_TRUE(back);
      EXPECT_NEAR(back->x, px.column, 1e-9);
      EXPECT_NEAR(back->y, px.row, 1e-9);
    }
    // The centred sphere: the first root of |o + t d - c| = R.
    const std::optional<double> t = ray_sphere(*ray, 7.5);
    ASSERT_TRUE(t);
    const Vec3 p = ray->at(*t);
    const double dx = ray->direction.x, dy = ray->direction.y;
    const double a = dx * dx + dy * dy + 1.0, b = -2.0 * (80.0 + 7.5), c = (80.0 + 7.5) * (80.0 + 7.5) - 7.5 * 7.5;
    const double closed = (-b - std::sqrt(b * b - 4.0 * a * c)) / (2.0 * a);
    EXPECT_NEAR(*t, closed, 1e-9);
    EXPECT_NEAR(std::hypot(p.x, p.y, p.z + 7.5), 7.5, 1e-12);
    EXPECT_GT(p.z, -7.5);  // the front of the sphere, towards the camera
  }
  // The principal ray meets the apex 80 mm down, and a ray beside the sphere misses it.
  EXPECT_DOUBLE_EQ(*ray_sphere(*rig.camera_ray({639.5, 511.5}), 7.5), 80.0);
  EXPECT_FALSE(ray_sphere(Ray{{20.0, 0.0, 80.0}, {0.0, 0.0, -1.0}}, 7.5));
}

TEST(PinholeOptics, TheDefaultSystemSeesAtTheApexWhatTheTelecentricOneSees) {
  const OpticalSystem s = default_pinhole_system();
  const PinholeRig rig(s, 0.0, 0.0);
  // 0.01 mm a pixel at the apex, and the apex on the projector's principal point.
  EXPECT_NEAR(rig.camera_pixel({0.01, 0.0, 0.0})->x - rig.camera_pixel({0.0, 0.0, 0.0})->x, 1.0, 1e-6);
  EXPECT_NEAR(rig.projector_pixel({0.0, 0.0, 0.0})->x, s.projector.lens.principal_x, 1e-9);
  EXPECT_NEAR(s.projector_distance(), 80.0, 1e-12);
  // A fringe period (0.1 mm on the flat) is the projector's period there, and
  // a height moves the fringe as the telecentric formula says, x + z tan(a).
  const double period_flat = rig.projector_pixel({0.001, 0.0, 0.0})->x - rig.projector_pixel({-0.001, 0.0, 0.0})->x;
  EXPECT_NEAR(period_flat / 0.002 * 0.1, s.projector.period, 1e-4);
  const double along_z = rig.projector_pixel({0.0, 0.0, 0.001})->x - rig.projector_pixel({0.0, 0.0, -0.001})->x;
  EXPECT_NEAR(along_z / period_flat, std::tan(std::numbers::pi / 6.0), 1e-4);
}

TEST(PinholeOptics, DistortionAndItsInverseAgree) {
  const struct {
    const char* name;
    double k1, k2, p1, p2;
  } lenses[] = {{"none", 0, 0, 0, 0},
                {"barrel", -0.2, 0, 0, 0},
                {"pincushion", 0.3, 0.5, 0, 0},
                {"tangential", 0, 0, 2e-3, -1e-3},
                {"all", -0.25, 0.8, -1e-3, 2e-3}};
  const Point2 points[] = {{0.0, 0.0}, {0.1, 0.0}, {-0.08, 0.06}, {0.11, -0.1}, {1e-6, -2e-6}};
  for (const auto& l : lenses) {
    SCOPED_TRACE(l.name);
    const Lens lens{40.0, 0.005, 639.5, 511.5, l.k1, l.k2, l.p1, l.p2};
    for (const Point2 p : points) {
      const std::optional<Point2> back = undistort(lens, distort(lens, p));
      ASSERT_TRUE(back);
      EXPECT_NEAR(back->x, p.x, 1e-14);
      EXPECT_NEAR(back->y, p.y, 1e-14);
      const std::optional<Point2> n = normalised_of(lens, pixel_of(lens, p));
      ASSERT_TRUE(n);
      EXPECT_NEAR(n->x, p.x, 1e-12);
      EXPECT_NEAR(n->y, p.y, 1e-12);
    }
  }
  // Barrel distortion pulls a corner in, pincushion pushes it out.
  EXPECT_LT(distort({40, 0.005, 0, 0, -0.2, 0, 0, 0}, {0.1, 0.0}).x, 0.1);
  EXPECT_GT(distort({40, 0.005, 0, 0, 0.2, 0, 0, 0}, {0.1, 0.0}).x, 0.1);
}

TEST(PinholeOptics, TheConicoidIsTheSphereOrTheParaboloidInClosedForm) {
  const Ray rays[] = {{{0.0, 0.0, 80.0}, {0.0, 0.0, -1.0}},
                      {{0.0, 0.0, 80.0}, {0.04, -0.03, -1.0}},
                      {{-1.0, 2.0, 80.0}, {0.02, -0.05, -1.0}}};
  for (const Ray& ray : rays) {
    EXPECT_NEAR(*ray_conicoid(ray, 1.0 / 7.5, 0.0), *ray_sphere(ray, 7.5), 1e-9);
    const Vec3 p = ray.at(*ray_conicoid(ray, 0.125, -1.0));
    EXPECT_NEAR(p.z, -0.125 * (p.x * p.x + p.y * p.y) / 2.0, 1e-12);
    // A surface given by its heights, from a start near it.
    const auto sphere = [](double x, double y) { return std::sqrt(56.25 - x * x - y * y) - 7.5; };
    EXPECT_NEAR(*ray_height_surface(ray, sphere, 79.0), *ray_sphere(ray, 7.5), 1e-9);
  }
}

TEST(PinholeOptics, TriangulationReturnsThePointItsRayAndColumnCameFrom) {
  OpticalSystem tangential = default_pinhole_system();
  tangential.camera.lens.p1 = 1e-3;
  tangential.projector.lens.p2 = -2e-3;
  tangential.projector.lens.k2 = 0.4;
  const struct {
    const char* name;
    OpticalSystem system;
    double offset_x, offset_y;
  } systems[] = {{"undistorted", undistorted_system(), 0.0, 0.0},
                 {"default", default_pinhole_system(), 0.0, 0.0},
                 {"tangential, apex off centre", tangential, 0.4, -0.3}};
  const Vec3 points[] = {{0.0, 0.0, 0.0}, {2.0, 1.0, std::sqrt(56.25 - 5.0) - 7.5}, {-3.0, -2.5, -1.2},
                         {4.5, -3.9, -2.0}};
  for (const auto& c : systems) {
    SCOPED_TRACE(c.name);
    const PinholeRig rig(c.system, c.offset_x, c.offset_y);
    for (const Vec3& p : points) {
      const std::optional<Point2> pixel = rig.camera_pixel(p);
      const std::optional<Point2> column = rig.projector_pixel(p);
      ASSERT_TRUE(pixel && column);
      const std::optional<Ray> ray = rig.camera_ray(*pixel);
      ASSERT_TRUE(ray);
      const std::optional<double> t = rig.meet_projector_column(*ray, column->x);
      ASSERT_TRUE(t);
      const Vec3 q = ray->at(*t);
      EXPECT_NEAR(q.x, p.x, 1e-9);
      EXPECT_NEAR(q.y, p.y, 1e-9);
      EXPECT_NEAR(q.z, p.z, 1e-9);
    }
  }
}

TEST(PinholeOptics, SystemsThatCannotMeasureAreRefusedByTheirKey) {
  const auto changed = [](auto change) {
    OpticalSystem s = default_pinhole_system();
    change(s);
    return s;
  };
  const struct {
    const char* key;
    OpticalSystem system;
  } cases[] = {
      {"CameraFocalLength", changed([](OpticalSystem& s) { s.camera.lens.focal_mm = 0.0; })},
      {"CameraFocalLength", changed([](OpticalSystem& s) { s.camera.lens.focal_mm = -40.0; })},
      {"ProjectorFocalLength", changed([](OpticalSystem& s) { s.projector.lens.focal_mm = -1.0; })},
      {"CameraPixelPitch", changed([](OpticalSystem& s) { s.camera.lens.pitch_mm = 0.0; })},
      {"CameraK1", changed([](OpticalSystem& s) { s.camera.lens.k1 = -40.0; })},
      {"ProjectorK2", changed([](OpticalSystem& s) { s.projector.lens.k2 = -400.0; })},
      {"Angle", changed([](OpticalSystem& s) { s.angle_deg = 90.0; })},
      {"Angle", changed([](OpticalSystem& s) { s.angle_deg = 0.0; })},
      {"Baseline", changed([](OpticalSystem& s) { s.baseline = 30.0; })},
      {"Baseline", changed([](OpticalSystem& s) { s.camera.distance = 200.0; s.baseline = 90.0; })},
      {"WorkingDistance", changed([](OpticalSystem& s) { s.camera.distance = 5.0; })},
      {"ProjectorPrincipalX", changed([](OpticalSystem& s) { s.projector.lens.principal_x = 2500.0; })},
      {"ProjectorPrincipalY", changed([](OpticalSystem& s) { s.projector.lens.principal_y = -3.0; })},
      {"ProjectorPeriod", changed([](OpticalSystem& s) { s.projector.period = 0.0; })},
  };
  for (const auto& c : cases) {
    const std::string why = system_problem(c.system, 7.5, 1280, 1024);
    EXPECT_EQ(why.rfind(c.key, 0), 0u) << c.key << ": " << why;
  }
  EXPECT_EQ(system_problem(default_pinhole_system(), 7.5, 1280, 1024), "");
  EXPECT_EQ(system_problem(OpticalSystem{}, 7.5, 1280, 1024), "");
}

}  // namespace
