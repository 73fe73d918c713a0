// How well the methods measure, from the physics: the chain after the phase
// fed the exact heights sets the floor; phase shifting of 16-bit frames comes
// within rounding of it, 8-bit frames are held by their quantisation, noise
// falls as 1/sqrt(N), a projector's gamma costs 3-step phase shifting the
// second harmonic, and temporal unwrapping leaves no order error where the
// engine's flood fill does.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "analysis/height_text_file.h"
#include "analysis/mask_statistics.h"
#include "analysis/reference_sphere.h"
#include "common/settings_file.h"
#include "settings/channel_settings.h"
#include "runs/measurement.h"
#include "scan/default_par.h"
#include "scan/profile_calculation.h"

namespace {

constexpr double kMicrons = 1000.0;

MeasurementSettings settings_of(const ChannelSettingsTexts& texts, std::vector<std::string> method = {}) {
  MeasurementSettings s;
  s.scan = scan_settings_lines(texts);
  s.image = image_settings_lines(texts);
  s.method = std::move(method);
  return s;
}

// The default picture: a smaller one lays its profile onto the map's cells
// in steps, which sets the chain a floor far above the methods' errors.
ChannelSettingsTexts default_size() { return ChannelSettingsTexts{}; }

struct Result {
  double rms_um;
  double pv_um;
  int cells;    // inside the mask
  int missing;  // of those, cells without a measured height
};

Result evaluate(const Measurement& m) {
  const MaskStatistics stats = mask_statistics(m.maps.height_map, m.maps.profile.field_x, m.mask_radius);
  Result r{stats.rms * kMicrons, stats.pv * kMicrons, stats.count, 0};
  const double field = m.maps.profile.field_x;
  const double cell = field / kMapSide;
  for (int x = 0; x < kMapSide; ++x)
    for (int y = 0; y < kMapSide; ++y) {
      const double u = (x + 0.5) * cell - field / 2;
      const double v = (y + 0.5) * cell - field / 2;
      if (u * u + v * v < m.mask_radius * m.mask_radius * 0.98 && m.maps.measured_map(x, y) <= -9.0) ++r.missing;
    }
  return r;
}

Result measured(const MeasurementSettings& s) {
  MeasurementContext context;
  return evaluate(measure(s, context));
}

// The chain after the phase fed the sphere's exact heights at the pixel
// centres (the synthesis's geometry): the block fits, the profile as its file
// reads back, the map, the sphere through the apex and the difference.
Result exact_heights_floor(const MeasurementSettings& s) {
  const SimParams p = measurement_sim_params(s);
  const ScnPar par = scan_par_of_lines(s.scan);
  const int32_t w = p.x_pixels;
  const int32_t h = p.y_pixels;
  ScnMatrix grid{};
  EXPECT_EQ(mat_create(&grid, w / 4, h / 4, 4 * par.CamResX, 4 * par.CamResY), 0);
  BlockFitter fitter(4, par.DepthLimit, w / 4);
  std::vector<std::vector<float>> band(4, std::vector<float>(static_cast<std::size_t>(w)));
  for (int32_t bi = 0; bi < h / 4; ++bi) {
    const float* rows[4];
    for (int l = 0; l < 4; ++l) {
      const double y = p.pixel_size * (bi * 4 + l - (h - 1) * 0.5) - p.offset_y;
      for (int32_t j = 0; j < w; ++j) {
        const double x = p.pixel_size * (j - (w - 1) * 0.5) - p.offset_x;
        const double rest = p.radius * p.radius - x * x - y * y;
        band[static_cast<std::size_t>(l)][static_cast<std::size_t>(j)] =
            static_cast<float>(rest > 0 ? std::sqrt(rest) - p.radius : -p.radius);
      }
      rows[l] = band[static_cast<std::size_t>(l)].data();
    }
    fitter.fit_band(rows, grid.values[bi], grid.cols);
  }
  fitter.finish();
  Measurement m;
  m.profile = profile_as_read(grid);
  mat_free(&grid);
  m.mask_radius = par.MaskRadius;
  compare_with_sphere(m.profile, m.maps, [&] { return SphereRadii{p.radius, m.mask_radius}; });
  return evaluate(m);
}

std::vector<std::string> stepped(int steps, std::vector<std::string> more = {}) {
  more.insert(more.begin(), {"Method=phase-shift", "Steps=" + std::to_string(steps)});
  return more;
}

TEST(MethodAccuracy, PhaseShiftingReachesTheChainsFloorButForQuantisation) {
  const ChannelSettingsTexts t = default_size();
  const Result floor = exact_heights_floor(settings_of(t));
  const Result bits16 = measured(settings_of(t, stepped(8, {"Bits=16"})));
  const Result bits12 = measured(settings_of(t, stepped(8, {"Bits=12"})));
  const Result bits8 = measured(settings_of(t, stepped(8)));
  const Result quadrature = measured(settings_of(t));
  RecordProperty("floor_um", std::to_string(floor.rms_um));
  std::printf("RMS um: floor %.5f, 8 steps at 16 bits %.5f, 12 bits %.5f, 8 bits %.5f; quadrature %.5f\n",
              floor.rms_um, bits16.rms_um, bits12.rms_um, bits8.rms_um, quadrature.rms_um);
  for (const Result* r : {&floor, &bits16, &bits12, &bits8}) {
    EXPECT_GT(r->cells, 10000);
    EXPECT_EQ(r->missing, 0) << "the whole mask is measured";
  }
  // Rounding of 16-bit samples is 256 times finer than of 8-bit ones.
  EXPECT_LT(std::fabs(bits16.rms_um - floor.rms_um), 0.005);
  EXPECT_LE(bits12.rms_um, bits8.rms_um / 2);
  // 8-bit rounding: 1/sqrt(12) levels of a 127-level amplitude, sqrt(2/8)
  // of it in the phase, some 0.031 um per pixel before the block fits.
  EXPECT_LT(bits8.rms_um, 0.03);
  EXPECT_LT(bits8.rms_um * 5, quadrature.rms_um);
}

TEST(MethodAccuracy, FourierBandDoesNotRing) {
  // A band with sharp edges rings on the sphere's chirped fringes (some 1 um
  // RMS); the smooth band measures the noise-free sphere far better than the
  // engine's quadrature.
  const Result fourier = measured(settings_of(default_size(), {"Method=fourier"}));
  const Result quadrature = measured(settings_of(default_size()));
  EXPECT_EQ(fourier.missing, 0);
  EXPECT_LT(fourier.rms_um * 4, quadrature.rms_um);
}

TEST(MethodAccuracy, NoiseFallsAsOneOverRootN) {
  double four = 0.0;
  double sixteen = 0.0;
  for (uint32_t seed = 1; seed <= 2; ++seed) {
    MeasurementSettings s = settings_of(default_size(), stepped(4));
    s.noise = 0.5;
    s.seed = seed;
    four += measured(s).rms_um;
    s.method = stepped(16);
    sixteen += measured(s).rms_um;
  }
  EXPECT_NEAR(sixteen / four, 0.5, 0.1);
}

TEST(MethodAccuracy, GammaCostsThreeStepsTheSecondHarmonic) {
  const Result three = measured(settings_of(default_size(), stepped(3, {"Gamma=2.2"})));
  const Result eight = measured(settings_of(default_size(), stepped(8, {"Gamma=2.2"})));
  EXPECT_GE(three.rms_um, 5 * eight.rms_um);
}

TEST(MethodAccuracy, TemporalUnwrappingLeavesNoOrderErrorsWhereTheFloodFillDoes) {
  // A steep angle: the fringes crowd on the sphere's flanks, and the
  // engine's flood fill leaves whole periods (0.058 mm of height here) wrong.
  ChannelSettingsTexts t;
  t.alpha = "60";
  const double period_height_um = 10 * 0.01 / std::tan(60 * 3.14159265358979 / 180) * kMicrons;
  const Result flood = measured(settings_of(t));
  EXPECT_GT(flood.pv_um, period_height_um / 2);
  for (const char* periods : {"Periods=1280,10", "Periods=1280,80,10"}) {
    const Result temporal = measured(settings_of(t, stepped(4, {periods})));
    EXPECT_LT(temporal.pv_um, period_height_um / 4) << periods;
    EXPECT_EQ(temporal.missing, 0) << periods;
  }
}

}  // namespace
