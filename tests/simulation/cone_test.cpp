// Cones on the simulated surface: the shape against its definition, the
// checks, and the pictures drawn through it.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

#include "scan/grey_image.h"
#include "simulation/dark_level_shift.h"
#include "simulation/fringe_synthesis.h"
#include "simulation/random_generator.h"
#include "simulation/surface.h"
#include "temp_dir.h"

namespace {

Surface biconic(double rx, double ry, double axis, double q, std::vector<Cone> cones = {}) {
  return {.model = SurfaceModel::biconic, .rx = rx, .ry = ry, .axis_deg = axis, .q = q, .cones = std::move(cones)};
}

TEST(Cone, HeightFollowsTheGaussianAndSteepensTowardsTheCamera) {
  const Cone cone{.height_um = 12.0, .x_mm = 0.8, .y_mm = -1.1, .width_mm = 0.6};
  struct Case {
    double x, y, bump_mm;
  } cases[] = {
      {0.8, -1.1, 0.012},                                    // the top: the full height
      {0.8 + 0.6, -1.1, 0.012 * std::exp(-0.5)},             // one sigma out
      {0.8, -1.1 - 1.2, 0.012 * std::exp(-2.0)},             // two sigma out
      {0.8 + 0.6 * std::sqrt(2.0 * std::log(2.0)), -1.1, 0.006},  // half height at FWHM / 2
  };
  for (const Surface& base : {Surface{}, biconic(7.6, 7.9, 30.0, -0.2)}) {
    Surface with = base;
    with.cones = {cone};
    const SurfaceShape plain(base, 7.8), coned(with, 7.8);
    for (const Case& c : cases) {
      EXPECT_NEAR(cone_height(cone, c.x, c.y), c.bump_mm, 1e-15);
      // z grows: the bump comes towards the camera, the sag shrinks.
      EXPECT_NEAR(coned.height(c.x, c.y) - plain.height(c.x, c.y), c.bump_mm, 1e-14) << c.x << " " << c.y;
    }
    // Far away the cone adds nothing; on the floor neither.
    EXPECT_EQ(coned.height(-3.0, 3.0), plain.height(-3.0, 3.0));
    EXPECT_EQ(coned.height(40.0, 0.0), coned.floor_depth());
    // Steeper at the top: the second difference along x grows by h / w^2.
    const double e = 1e-3;
    const auto bend = [&](const SurfaceShape& s) {
      return (s.height(0.8 + e, -1.1) - 2.0 * s.height(0.8, -1.1) + s.height(0.8 - e, -1.1)) / (e * e);
    };
    EXPECT_NEAR(bend(coned) - bend(plain), -0.012 / 0.36, 1e-4);
  }
  // The sphere model is drawn at the set radius, the biconic as it is.
  EXPECT_NEAR(SurfaceShape(Surface{}, 7.8).height(3.0, 0.0), std::sqrt(7.8 * 7.8 - 9.0) - 7.8, 1e-14);
  EXPECT_EQ(SurfaceShape(biconic(7.6, 7.9, 30.0, -0.2), 99.0).height(1.0, 2.0),
            BiconicShape(biconic(7.6, 7.9, 30.0, -0.2)).height(1.0, 2.0));
  // Two cones add.
  const Cone other{.height_um = -4.0, .x_mm = 0.0, .y_mm = 0.5, .width_mm = 1.5};
  Surface two;
  two.cones = {cone, other};
  EXPECT_NEAR(SurfaceShape(two, 7.8).height(0.3, 0.2) - SurfaceShape(Surface{}, 7.8).height(0.3, 0.2),
              cone_height(cone, 0.3, 0.2) + cone_height(other, 0.3, 0.2), 1e-15);
}

TEST(Cone, ProblemsNameTheConeAndItsNumber) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    Cone cone;
    std::string problem;
  } cases[] = {
      {{10.0, 0.5, -1.0, 0.8}, ""},
      {{-1000.0, 100.0, -100.0, 0.01}, ""},
      {{1000.5, 0.0, 0.0, 1.0}, "cone 2: the height must lie between -1000 and 1000 microns (read 1000.5)"},
      {{nan, 0.0, 0.0, 1.0}, "cone 2: the height must lie between -1000 and 1000 microns (read nan)"},
      {{5.0, 0.0, 101.0, 1.0}, "cone 2: the centre must lie within 100 mm of the apex (read x 0, y 101)"},
      {{5.0, nan, 0.0, 1.0}, "cone 2: the centre must lie within 100 mm of the apex (read x nan, y 0)"},
      {{5.0, 0.0, 0.0, 0.0}, "cone 2: the width must lie between 0.01 and 100 mm (read 0)"},
      {{5.0, 0.0, 0.0, -1.0}, "cone 2: the width must lie between 0.01 and 100 mm (read -1)"},
  };
  for (const Case& c : cases) {
    // Checked on the sphere model too, whose own numbers are not.
    Surface sphere{.model = SurfaceModel::sphere, .rx = -1.0};
    sphere.cones = {Cone{}, c.cone};
    EXPECT_EQ(surface_problem(sphere), c.problem);
    EXPECT_EQ(surface_problem(biconic(7.6, 7.9, 0.0, 0.0, {Cone{}, c.cone})), c.problem);
  }
  // The biconic's own numbers come first.
  EXPECT_EQ(surface_problem(biconic(0.0, 7.9, 0.0, 0.0, {{nan, 0, 0, 1}})),
            "Rx must lie between 0.1 and 1000 mm (read 0)");
  EXPECT_EQ(surface_problem(Surface{.cones = std::vector<Cone>(10)}), "at most 9 cones (read 10)");
  EXPECT_TRUE(drawn_as_plain_sphere(Surface{.rx = 3.0}));
  EXPECT_FALSE(drawn_as_plain_sphere(Surface{.cones = {Cone{}}}));
  EXPECT_FALSE(drawn_as_plain_sphere(biconic(7.5, 7.5, 0.0, 0.0)));
}

// ---- Pictures ---------------------------------------------------------------

SimParams small_picture(const Surface& surface) {
  SimParams p;
  p.x_pixels = 61;
  p.y_pixels = 45;
  p.pixel_size = 0.1;
  p.fringe_period = 4.0;
  p.radius = 2.8;
  p.dynamic = 0.8;
  p.surface = surface;
  return p;
}

double direct_level(const SimParams& p, int row, int column) {
  const SurfaceShape shape(p.surface, p.radius);
  const double x = p.pixel_size * (column - (p.x_pixels - 1) * 0.5) - p.offset_x;
  const double y = p.pixel_size * (row - (p.y_pixels - 1) * 0.5) - p.offset_y;
  const double z = shape.height(x, -y);
  const double t = std::tan(std::numbers::pi * p.alpha_deg / 180.0);
  const double phi = 2.0 * std::numbers::pi * (x + z * t) / (p.pixel_size * p.fringe_period);
  return (p.dynamic * std::cos(phi) + 1.0) * 127.0 - dark_level_shift(p.dynamic, 32);
}

std::vector<uint8_t> picture_of(const SimParams& p, uint32_t seed) {
  seed_random(seed);
  GreyImageOwner image = make_fringe_picture(p, 64, 5, random_state);
  EXPECT_NE(image, nullptr);
  std::vector<uint8_t> bytes;
  for (int32_t i = 0; image && i < image->height; ++i)
    bytes.insert(bytes.end(), img_line(image.get(), i), img_line(image.get(), i) + image->width);
  return bytes;
}

TEST(ConePicture, LevelsFollowTheConedSurfaceOnEitherModel) {
  // Off-centre cones break the mirror pairing of opposite pixels: every
  // pixel must still be the direct level of the coned surface at (x, -y).
  const std::vector<Cone> cones = {{40.0, 0.7, -0.9, 0.5}, {-25.0, -1.2, 0.4, 0.3}};
  for (const Surface& base : {Surface{}, biconic(2.6, 2.9, 30.0, -0.2)}) {
    Surface s = base;
    s.cones = cones;
    const SimParams p = small_picture(s);
    const std::vector<uint8_t> bytes = picture_of(p, 1);
    ASSERT_EQ(bytes.size(), 61u * 45u);
    for (int i = 0; i < p.y_pixels; ++i)
      for (int j = 0; j < p.x_pixels; ++j) {
        const double byte = std::clamp(direct_level(p, i, j), 0.0, 254.0);
        ASSERT_NEAR(bytes[static_cast<std::size_t>(i * 61 + j)], byte, 1.0) << i << " " << j;
      }
    // The cones change the picture, and the frames of a set agree with the
    // single picture.
    EXPECT_NE(bytes, picture_of(small_picture(base), 1));
    seed_random(1);
    const auto frames = make_shifted_pictures(p, {0.0}, 64, 5, random_state);
    ASSERT_EQ(frames.size(), 1u);
    std::vector<uint8_t> frame;
    for (int32_t i = 0; i < frames[0]->height; ++i)
      frame.insert(frame.end(), img_line(frames[0].get(), i), img_line(frames[0].get(), i) + frames[0]->width);
    EXPECT_EQ(frame, bytes);
  }
  // A cone of height 0 draws the sphere through the general rows: within a
  // grey level of the sphere's own picture.
  Surface flat;
  flat.cones = {Cone{.height_um = 0.0}};
  const auto general = picture_of(small_picture(flat), 3), own = picture_of(small_picture(Surface{}), 3);
  ASSERT_EQ(general.size(), own.size());
  for (std::size_t k = 0; k < own.size(); ++k) ASSERT_NEAR(general[k], own[k], 1) << k;
}

}  // namespace
