// Measuring through a camera and a projector with lenses: synthesis by rays,
// then triangulation, must return the surface the pictures were made of, as
// closely as the phase allows, for every method; and measuring those
// pictures with the telecentric formula shows what that model costs.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "analysis/mask_statistics.h"
#include "analysis/sphere_fit.h"
#include "optics/optical_system.h"
#include "runs/measurement.h"
#include "settings/channel_settings.h"
#include "settings/system_settings.h"

namespace {

constexpr double kMicrons = 1000.0;

MeasurementSettings settings_of(std::vector<std::string> method, const OpticalSystem& system) {
  const ChannelSettingsTexts texts;
  MeasurementSettings s;
  s.scan = scan_settings_lines(texts);
  s.image = image_settings_lines(texts);
  s.method = std::move(method);
  s.system = system_settings_lines(system);
  return s;
}

std::vector<std::string> phase_shift_16_bits() {
  return {"Method=phase-shift", "Steps=8", "Periods=1280,80,10", "Bits=16"};
}

struct Figures {
  double point_rms_um = 0.0;   // of the points' distance from the true sphere
  double fit_radius_mm = 0.0;  // of the best-fit sphere of the points inside the mask
  double grid_rms_um = 0.0;    // of the height map inside the mask
  int points = 0;
};

// The points inside the evaluation mask (3.3 mm about the apex) against the
// sphere of 7.5 mm through the apex, centre (0, 0, -7.5).
Figures figures_of(const Measurement& m) {
  Figures f;
  std::vector<double> x, y, z;
  double sum = 0.0;
  for (const Vec3& p : m.points) {
    if (p.x * p.x + p.y * p.y > m.mask_radius * m.mask_radius) continue;
    const double distance = std::sqrt(p.x * p.x + p.y * p.y + (p.z + 7.5) * (p.z + 7.5)) - 7.5;
    sum += distance * distance;
    x.push_back(p.x);
    y.push_back(p.y);
    z.push_back(p.z);
  }
  f.points = static_cast<int>(x.size());
  f.point_rms_um = f.points > 0 ? std::sqrt(sum / f.points) * kMicrons : NAN;
  if (const auto fit = fit_sphere(x, y, z)) f.fit_radius_mm = fit->radius;
  f.grid_rms_um = mask_statistics(m.maps.height_map, m.maps.profile.field_x, m.mask_radius).rms * kMicrons;
  return f;
}

Measurement measured(const MeasurementSettings& s, const std::optional<OpticalSystem>& reconstruction = {}) {
  MeasurementParameters p = measurement_parameters(s);
  p.keep_points = true;
  p.reconstruction = reconstruction;
  MeasurementContext context;
  return measure(p, context);
}

// The targets: exact parameters, the default lenses' distortion, 8 steps of
// 16 bits unwrapped in time, no noise.
TEST(PinholeMeasurement, ReturnsTheSphereWithinTheTargets) {
  const Figures pinhole = figures_of(measured(settings_of(phase_shift_16_bits(), default_pinhole_system())));
  const Figures telecentric = figures_of(measured(settings_of(phase_shift_16_bits(), OpticalSystem{})));
  std::printf("pinhole: points %d, point RMS %.5f um, fit radius %.7f mm, grid RMS %.5f um; telecentric grid RMS "
              "%.5f um\n",
              pinhole.points, pinhole.point_rms_um, pinhole.fit_radius_mm, pinhole.grid_rms_um,
              telecentric.grid_rms_um);
  EXPECT_GT(pinhole.points, 300000);
  EXPECT_LT(pinhole.point_rms_um, 0.1);
  EXPECT_NEAR(pinhole.fit_radius_mm, 7.5, 0.2e-3);
  EXPECT_NEAR(pinhole.grid_rms_um, telecentric.grid_rms_um, 0.01);
}

}  // namespace

namespace {

// Every method measures the pictures the rays make: the points lie on the
// sphere as closely as the method's phase allows (the single-period methods
// with the apex order as the telecentric chain takes it).
TEST(PinholeMeasurement, EveryMethodReturnsTheSurface) {
  const struct {
    const char* name;
    std::vector<std::string> method;
    double point_rms_um;  // at most
    double radius_um;     // the fit's distance from 7.5 mm at most
  } cases[] = {
      {"phase shift, 8 steps, 8 bits, in time", {"Method=phase-shift", "Steps=8", "Periods=1280,80,10"}, 0.1, 0.5},
      {"phase shift, 4 steps, one period", {"Method=phase-shift", "Steps=4", "Bits=16"}, 0.1, 0.5},
      {"fourier, 16 bits", {"Method=fourier", "Bits=16"}, 2.0, 5.0},
  };
  for (const auto& c : cases) {
    const Figures f = figures_of(measured(settings_of(c.method, default_pinhole_system())));
    std::printf("%s: points %d, point RMS %.5f um, fit radius %.7f mm, grid RMS %.5f um\n", c.name, f.points,
                f.point_rms_um, f.fit_radius_mm, f.grid_rms_um);
    EXPECT_GT(f.points, 300000) << c.name;
    EXPECT_LT(f.point_rms_um, c.point_rms_um) << c.name;
    EXPECT_NEAR(f.fit_radius_mm, 7.5, c.radius_um * 1e-3) << c.name;
  }
}

// The model error on purpose: the telecentric formula, or a pinhole system
// with a focal length 1 % long, on the default pinhole system's pictures.
TEST(PinholeMeasurement, AWrongModelCostsWhatItCosts) {
  const MeasurementSettings s = settings_of(phase_shift_16_bits(), default_pinhole_system());
  const Figures exact = figures_of(measured(s));
  const Figures telecentric = figures_of(measured(s, OpticalSystem{}));
  OpticalSystem long_focus = default_pinhole_system();
  long_focus.camera.lens.focal_mm *= 1.01;
  const Figures wrong_focus = figures_of(measured(s, long_focus));
  std::printf("telecentric formula on pinhole pictures: grid RMS %.4f um, fit radius %.5f mm; focal length 1 %% "
              "long: grid RMS %.4f um, fit radius %.5f mm\n",
              telecentric.grid_rms_um, telecentric.fit_radius_mm, wrong_focus.grid_rms_um, wrong_focus.fit_radius_mm);
  EXPECT_GT(telecentric.grid_rms_um, 100.0 * exact.grid_rms_um);
  EXPECT_GT(wrong_focus.grid_rms_um, 10.0 * exact.grid_rms_um);
  // And the other way: a pinhole reconstruction of telecentric pictures is wrong too.
  const Figures crossed = figures_of(measured(settings_of(phase_shift_16_bits(), OpticalSystem{}), default_pinhole_system()));
  EXPECT_GT(crossed.grid_rms_um, 100.0 * exact.grid_rms_um);
}

TEST(PinholeMeasurement, TheEnginesQuadratureIsRefusedForAPinholeSystem) {
  const MeasurementSettings s = settings_of({}, default_pinhole_system());
  MeasurementContext context;
  EXPECT_THROW(measure(s, context), std::invalid_argument);
}

}  // namespace

namespace {

TEST(PinholeMeasurement, AReconstructionSystemThatCannotMeasureIsRefused) {
  OpticalSystem folded = default_pinhole_system();
  folded.camera.lens.focal_mm = 0.0;
  const MeasurementSettings s = settings_of(phase_shift_16_bits(), default_pinhole_system());
  try {
    measured(s, folded);
    FAIL() << "measured through a lens of no focal length";
  } catch (const std::invalid_argument& e) {
    EXPECT_EQ(std::string(e.what()).rfind("the reconstruction system cannot measure: CameraFocalLength", 0), 0u)
        << e.what();
  }
}

}  // namespace
