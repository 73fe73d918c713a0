// How well "apply" then "profile" then the figures recover a simulated
// eye-like surface, on noise-free default pictures.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "analysis/reference_sphere.h"
#include "analysis/surface_figures.h"
#include "common/text_to_number.h"
#include "settings/channel_settings.h"
#include "runs/profile_run.h"
#include "runs/simulation_run.h"
#include "temp_dir.h"

namespace {

struct Measured {
  SurfaceFigures measured;  // through the whole chain
  SurfaceFigures truth;     // the same figures on the true surface's heights
};

// The channel 0 chain with the set radius `radius` (mm) simulating `surface`.
Measured measure(const std::string& radius, const Surface& surface) {
  TempDir dir;
  ChannelSettingsTexts texts;
  texts.radius = radius;
  write_default_settings(".");
  write_settings_texts(0, texts);
  SimParams params = channel_sim_params(0);
  params.surface = surface;
  SilentObserver observer;
  run_simulation_unseen(SimulationInputs{}, params, observer);
  UnseenProfile profile;
  run_profile_unseen(0, radius, texts.maskradius, profile, observer);
  const ChannelMaps& maps = profile.channels[0];
  const ProfileGeometry& geometry = maps.profile;
  Measured m{surface_figures({maps.measured_map, maps.sphere_map, geometry.field_x, profile.mask_radius}), {}};

  // The true heights at the cell centres, less the set sphere placed as the
  // profile run places it (apex height from the four cells around the centre).
  const double step = geometry.field_x / kMapSide;
  const BiconicShape shape(surface.model == SurfaceModel::sphere
                               ? Surface{SurfaceModel::biconic, params.radius, params.radius, 0.0, 0.0}
                               : surface);
  HeightMatrix truth, truth_sphere;
  for (int c = 0; c < kMapSide; ++c)
    for (int r = 0; r < kMapSide; ++r) truth(c, r) = shape.height(cell_x_mm(c, step), cell_y_mm(r, step));
  const double apex = (truth(127, 128) + truth(129, 128) + truth(128, 127) + truth(128, 129)) * 0.25;
  perfect_sphere(params.radius, geometry.field_x, kMapSide, 0.0, 0.0, apex, truth_sphere);
  m.truth = surface_figures({truth, truth_sphere, geometry.field_x, profile.mask_radius});
  return m;
}

TEST(SurfaceAccuracy, BestFitRadiusWithinOneHundredthOfAMillimetre) {
  for (const char* radius : {"6.7", "7.5", "9.6"}) {
    const Measured m = measure(radius, Surface{});
    ASSERT_TRUE(m.measured.sphere) << m.measured.sphere_note;
    EXPECT_NEAR(m.measured.sphere->radius_mm, text_to_double(radius), 0.01) << radius;
    EXPECT_NEAR(m.measured.sphere->apex_x_mm, 0.0, 0.002);
    EXPECT_NEAR(m.measured.sphere->apex_y_mm, 0.0, 0.002);
    EXPECT_LT(m.measured.sphere->rms_um, 0.5);
    // Beyond the cells next to the centre the axial power is the sphere's.
    ASSERT_TRUE(m.measured.axial_power);
    EXPECT_NEAR((*m.measured.axial_power)(128, 60), 337.0 / text_to_double(radius), 0.05);
    // Keratometry reads the sphere's own radius, without a flat axis.
    ASSERT_TRUE(m.measured.keratometry) << m.measured.keratometry_note;
    EXPECT_NEAR(m.measured.keratometry->flat_radius, text_to_double(radius), 0.005);
    EXPECT_NEAR(m.measured.keratometry->steep_radius, text_to_double(radius), 0.005);
    EXPECT_FALSE(m.measured.keratometry->axis_deg);
  }
}

TEST(SurfaceAccuracy, BiconicApicalRadiiAxisConicAndKeratometry) {
  // Rx = 7.6 mm at 30 degrees is the steep meridian; the flat one (7.9 mm)
  // lies at 120 degrees. Through the whole chain the conic fit gives the
  // surface back and the keratometry reads each meridian's axial radius
  // 1.5 mm out, sqrt(R^2 - Q 1.5^2).
  const Measured m = measure("7.5", {SurfaceModel::biconic, 7.6, 7.9, 30.0, -0.2});
  ASSERT_TRUE(m.measured.conic) << m.measured.conic_note;
  const ConicFigure& c = *m.measured.conic;
  EXPECT_NEAR(c.flat_radius_mm, 7.9, 0.005);
  EXPECT_NEAR(c.steep_radius_mm, 7.6, 0.005);
  EXPECT_NEAR(c.q, -0.2, 0.02);
  ASSERT_TRUE(c.axis_deg);
  EXPECT_NEAR(*c.axis_deg, 120.0, 0.5);
  ASSERT_TRUE(m.measured.keratometry) << m.measured.keratometry_note;
  const KeratometryResult& k = *m.measured.keratometry;
  EXPECT_NEAR(k.flat_radius, std::sqrt(7.9 * 7.9 + 0.2 * 2.25), 0.005);
  EXPECT_NEAR(k.steep_radius, std::sqrt(7.6 * 7.6 + 0.2 * 2.25), 0.005);
  ASSERT_TRUE(k.axis_deg);
  EXPECT_NEAR(*k.axis_deg, 120.0, 0.5);
  // The astigmatism shows in the oblique and vertical terms of the residual.
  ASSERT_TRUE(m.measured.zernike);
  const double oblique = m.measured.zernike->coefficients_um[3];
  const double vertical = m.measured.zernike->coefficients_um[5];
  EXPECT_NEAR(oblique, m.truth.zernike->coefficients_um[3], 0.05);
  EXPECT_NEAR(vertical, m.truth.zernike->coefficients_um[5], 0.05);
}

TEST(SurfaceAccuracy, ConicShowsItsSphericalAberration) {
  const Measured m = measure("7.5", {SurfaceModel::biconic, 7.5, 7.5, 0.0, -0.2});
  ASSERT_TRUE(m.measured.zernike) << m.measured.zernike_note;
  const double measured = m.measured.zernike->coefficients_um[12];
  const double truth = m.truth.zernike->coefficients_um[12];
  EXPECT_GT(truth, 0.3) << "a prolate surface flattens away from the apex";
  EXPECT_NEAR(measured, truth, 0.1 * truth);
}

}  // namespace
