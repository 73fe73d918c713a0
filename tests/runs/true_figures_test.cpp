// The truth of the clinical figures, from the exact simulated shape.
#include "runs/true_figures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>

#include "analysis/snell_power.h"

namespace {

constexpr double kField = 10.24;

HeightMatrix exact_map(const SimParams& p) {
  HeightMatrix map;
  for (int c = 0; c < kMapSide; ++c)
    for (int r = 0; r < kMapSide; ++r) map(c, r) = true_height(p, cell_x_mm(c, 0.04), cell_y_mm(r, 0.04));
  return map;
}

TEST(TrueFigures, ASphereIsFreeOfEverythingButItsPower) {
  SimParams p;
  p.radius = 7.8;
  const TrueFigures t = true_figures(p, exact_map(p), kField, 3.3, 6.0, true);
  ASSERT_TRUE(t.aberrations && t.indices) << t.aberrations_note << t.indices_note;
  EXPECT_LT(t.aberrations->higher_order_rms_um, 1e-6);
  EXPECT_NEAR(t.indices->central_k_D, 337.0 / 7.8, 1e-4);
  EXPECT_NEAR(t.indices->i_s_D, 0.0, 1e-4);
  EXPECT_NEAR(t.indices->kisa_percent, 0.0, 1e-3);
  // The maps at a cell 2 mm out: axial and tangential the sphere's power,
  // refractive the law of sines' closed form.
  const int c = 128 + 49, r = 127;  // x = 1.98 mm, y = 0.02 mm
  const double rho = std::hypot(cell_x_mm(c, 0.04), cell_y_mm(r, 0.04));
  const double theta = std::asin(rho / 7.8), inside = std::asin(rho / (7.8 * kCorneaIndex));
  const double L = 7.8 + 7.8 * std::sin(inside) / std::sin(theta - inside);
  EXPECT_NEAR((*t.axial_power)(c, r), 337.0 / 7.8, 1e-4);
  EXPECT_NEAR((*t.tangential_power)(c, r), 337.0 / 7.8, 1e-3);
  EXPECT_NEAR((*t.refractive_power)(c, r), 337.0 * kCorneaIndex / ((kCorneaIndex - 1.0) * L), 1e-4);
  EXPECT_LT(std::abs((*t.elevation_to_sphere)(c, r)), 1e-6);
}

TEST(TrueFigures, AnInferiorConeRaisesIAndSAndStandsOutOfTheElevation) {
  SimParams p;
  p.radius = 7.8;
  p.surface.cones = {Cone{15.0, 0.0, -1.5, 0.8}};
  const TrueFigures t = true_figures(p, exact_map(p), kField, 3.3, 6.0, true);
  ASSERT_TRUE(t.indices && t.aberrations);
  EXPECT_GT(t.indices->i_s_D, 0.15);
  EXPECT_GT(t.aberrations->coma_um, 0.1);  // a bump below the centre is coma-like
  // The elevation against the toric ellipsoid is highest near the cone.
  double best = -1e9;
  int best_c = 0, best_r = 0;
  for (int c = 0; c < kMapSide; ++c)
    for (int r = 0; r < kMapSide; ++r)
      if (const double e = (*t.elevation_to_toric)(c, r); e > best) {
        best = e;
        best_c = c;
        best_r = r;
      }
  EXPECT_NEAR(cell_x_mm(best_c, 0.04), 0.0, 0.3);
  EXPECT_NEAR(cell_y_mm(best_r, 0.04), -1.5, 0.3);
  EXPECT_GT(best, 2.0);  // microns
  // The apex sits offset_x right of the map's centre and offset_y below it.
  p.offset_x = 0.3;
  p.offset_y = 0.2;
  EXPECT_EQ(true_height(p, 0.3, -0.2), SurfaceShape(p.surface, 7.8).height(0.0, 0.0));
}

}  // namespace

// The kept truth is the truth of the call's own surface and cells: each row
// changes one thing the truth depends on, and the cache must form it anew
// (the same bits as a fresh call), or, for nothing changed, keep it.
TEST(TrueFiguresCache, KeepsTheTruthOnlyWhileSurfaceCellsAndPupilStay) {
  SimParams base;
  base.surface = Surface{SurfaceModel::biconic, 7.6, 7.9, 30.0, -0.2, {Cone{20.0, 0.0, -2.0, 1.0}}};
  const HeightMatrix full = exact_map(base);
  HeightMatrix holed = full;
  for (int c = 120; c < 130; ++c) holed(c, 100) = kNoHeight;
  struct Case {
    const char* name;
    std::function<void(SimParams&)> change;
    const HeightMatrix* measured;
    double pupil;
  };
  const Case cases[] = {
      {"nothing", [](SimParams&) {}, &full, 6.0},
      {"cone height", [](SimParams& p) { p.surface.cones[0].height_um = 25.0; }, &full, 6.0},
      {"radius rx", [](SimParams& p) { p.surface.rx = 7.5; }, &full, 6.0},
      {"offset", [](SimParams& p) { p.offset_x = 0.05; }, &full, 6.0},
      {"cells", [](SimParams&) {}, &holed, 6.0},
      {"pupil", [](SimParams&) {}, &full, 5.0},
  };
  for (const Case& c : cases) {
    TrueFiguresCache cache;
    const TrueFigures& first = cache.of(base, full, kField, 3.3, 6.0);
    const double first_i_s = first.indices->i_s_D;
    SimParams p = base;
    c.change(p);
    const TrueFigures fresh = true_figures(p, *c.measured, kField, 3.3, c.pupil);
    const TrueFigures& kept = cache.of(p, *c.measured, kField, 3.3, c.pupil);
    ASSERT_TRUE(kept.indices && kept.aberrations && fresh.indices) << c.name;
    EXPECT_EQ(kept.cells.size(), fresh.cells.size()) << c.name;
    EXPECT_EQ(kept.indices->i_s_D, fresh.indices->i_s_D) << c.name;
    EXPECT_EQ(kept.indices->kisa_percent, fresh.indices->kisa_percent) << c.name;
    EXPECT_EQ(kept.aberrations->higher_order_rms_um, fresh.aberrations->higher_order_rms_um) << c.name;
    const std::string name = c.name;
    if (name != "nothing" && name != "cells" && name != "pupil") {
      EXPECT_NE(kept.indices->i_s_D, first_i_s) << c.name;
    }
  }
}
