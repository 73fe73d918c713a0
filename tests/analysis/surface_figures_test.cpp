// The figures of a measured surface: fits that give back the surfaces they
// were made from, the axial power map, and every kind of input that leaves a
// figure not available.
#include "analysis/surface_figures.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <functional>
#include <numbers>
#include <stdexcept>

#include "analysis/curvature_maps.h"
#include "analysis/reference_sphere.h"

namespace {

constexpr double kField = 10.24;  // mm: 0.04 mm cells
constexpr double kMask = 3.3;     // mm: a disc of 3.2 mm

// A map with height(x, y) at every cell centre (x right, y up, mm).
HeightMatrix map_of(const std::function<double(double, double)>& height) {
  HeightMatrix map;
  for (int c = 0; c < kMapSide; ++c)
    for (int r = 0; r < kMapSide; ++r) map(c, r) = height(cell_x_mm(c, 0.04), cell_y_mm(r, 0.04));
  return map;
}

HeightMatrix set_sphere(double radius) {
  HeightMatrix sphere;
  perfect_sphere(radius, kField, kMapSide, 0.0, 0.0, 0.0, sphere);
  return sphere;
}

TEST(SurfaceCells, CentresOfTheMaskCellsWithData) {
  HeightMatrix map(kMapSide, kMapSide, 0.5);
  map(128, 128) = kNoHeight;
  map(130, 128) = std::nan("");
  const SurfaceCells cells = surface_cells(map, kField, kMask);
  EXPECT_EQ(cells.step, 0.04);
  EXPECT_EQ(cells.disc.radius, kMask - 0.1);
  EXPECT_EQ(cells.disc.centre_x, 0.0);
  // Every cell the residual map counts as inside the mask, less the two.
  int inside = 0;
  for (int x = 0; x < kMapSide; ++x)
    for (int y = 0; y < kMapSide; ++y) inside += in_evaluation_mask(kField, 5.12, 5.12, kMask, x, y);
  EXPECT_EQ(static_cast<int>(cells.size()), inside - 2);
  // Column 127, row 0 lies left of and above the centre.
  EXPECT_EQ(cell_x_mm(127, 0.04), -0.02);
  EXPECT_DOUBLE_EQ(cell_y_mm(0, 0.04), 5.1);
  EXPECT_DOUBLE_EQ(cell_y_mm(255, 0.04), -5.1);
  EXPECT_EQ(surface_cells(map, 0.0, kMask).size(), 0u);
  EXPECT_EQ(surface_cells(map, std::nan(""), kMask).size(), 0u);
}

// The surface window and fringe analyse count the cells in the same words:
// the set radius of the mask, and the disc's where it differs.
TEST(SurfaceCells, TheCountNamesTheSetRadiusAndTheDiscsWhereItDiffers) {
  const HeightMatrix map(kMapSide, kMapSide, 0.5);
  struct Case {
    double field, mask;
    const char* text;
  } cases[] = {
      {kField, kMask, " cells with data inside the mask of radius 3.3 mm (counted in the disc of radius 3.2 mm)"},
      {kField, 0.1, "0 cells with data inside the mask of radius 0.1 mm (counted in the disc of radius 0 mm)"},
      {kField, 0.05, "0 cells with data inside the mask of radius 0.05 mm (counted in the disc of radius 0 mm)"},
      {0.0, kMask, "0 cells with data inside the mask of radius 3.3 mm (counted in the disc of radius 0 mm)"},
  };
  for (const Case& c : cases) {
    const SurfaceCells cells = surface_cells(map, c.field, c.mask);
    EXPECT_EQ(cells.disc.mask_radius, c.mask);
    const std::string text = mask_cells_text(static_cast<int>(cells.size()), cells.disc);
    const std::string count = cells.size() > 0 ? std::to_string(cells.size()) : "";
    EXPECT_EQ(text, count + c.text);
  }
  // A disc as large as the mask is named once.
  EXPECT_EQ(mask_cells_text(12, {0.0, 0.0, 2.5, 2.5}), "12 cells with data inside the mask of radius 2.5 mm");
}

TEST(SphereFit, GivesBackTheSphereItWasMadeFrom) {
  // Convex and concave caps, centred and decentred, with some cells lost.
  const SphereCap caps[] = {{0.0, 0.0, 0.0, 1 / 7.5},
                            {0.12, -0.07, 0.003, 1 / 6.7},
                            {-0.4, 0.25, -0.1, 1 / 9.6},
                            {0.05, 0.05, 0.2, -1 / 8.0}};
  for (const SphereCap& cap : caps) {
    HeightMatrix measured = map_of([&](double x, double y) { return cap.height(x, y); });
    for (int c = 100; c < 140; c += 3) measured(c, 90) = kNoHeight;
    const SurfaceFigures f = surface_figures({measured, set_sphere(7.5), kField, kMask});
    ASSERT_TRUE(f.sphere) << f.sphere_note;
    EXPECT_NEAR(f.sphere->radius_mm, 1 / cap.curvature, 1e-9);
    EXPECT_NEAR(f.sphere->power_D, 337.0 * cap.curvature, 1e-9);
    EXPECT_NEAR(f.sphere->apex_x_mm, cap.x0, 1e-9);
    EXPECT_NEAR(f.sphere->apex_y_mm, cap.y0, 1e-9);
    EXPECT_NEAR(f.sphere->apex_z_mm, cap.z0, 1e-11);
    EXPECT_LT(f.sphere->rms_um, 1e-8);
    // The residual map: 0 outside the mask, no-height where the cell has none.
    ASSERT_TRUE(f.sphere_residual);
    EXPECT_EQ((*f.sphere_residual)(0, 0), 0.0);
    EXPECT_EQ((*f.sphere_residual)(103, 90), kNoHeight);
    EXPECT_NEAR((*f.sphere_residual)(104, 90), 0.0, 1e-12);
  }
}

TEST(SphereFit, FitsHeightsNotDistances) {
  // A sphere plus a tilted plane: the height residual of the best fit is
  // smaller than that of the sphere it was made from, and the figure says so.
  const SphereCap cap{0.0, 0.0, 0.0, 1 / 7.5};
  const HeightMatrix measured = map_of([&](double x, double y) {
    return cap.height(x, y) + 0.0005 * std::cos(3 * x) * std::sin(2 * y);
  });
  const SurfaceFigures f = surface_figures({measured, set_sphere(7.5), kField, kMask});
  ASSERT_TRUE(f.sphere);
  double squares = 0.0;
  int n = 0;
  for (int c = 0; c < kMapSide; ++c)
    for (int r = 0; r < kMapSide; ++r)
      if (in_evaluation_mask(kField, 5.12, 5.12, kMask, c, r)) {
        const double d = measured(c, r) - cap.height(cell_x_mm(c, 0.04), cell_y_mm(r, 0.04));
        squares += d * d;
        ++n;
      }
  EXPECT_LT(f.sphere->rms_um, std::sqrt(squares / n) * 1000.0);
  EXPECT_NEAR(f.sphere->radius_mm, 7.5, 0.05);
}

TEST(ZernikeFigure, TermsOfTheResidualToTheSetOrTheBestFitSphere) {
  // The set sphere plus known terms (in microns): the table gives them back.
  const ZernikeBasis basis(6);
  std::vector<double> truth_um(28, 0.0);
  truth_um[3] = -2.5;
  truth_um[4] = 0.8;
  truth_um[7] = 0.3;
  truth_um[12] = 0.6;
  truth_um[27] = -0.05;
  const HeightMatrix sphere = set_sphere(7.5);
  HeightMatrix measured = sphere;
  std::vector<double> z(28);
  for (int c = 0; c < kMapSide; ++c)
    for (int r = 0; r < kMapSide; ++r) {
      basis.values(cell_x_mm(c, 0.04) / 3.2, cell_y_mm(r, 0.04) / 3.2, z.data());
      for (int j = 0; j < 28; ++j) measured(c, r) += truth_um[j] * 1e-3 * z[j];
    }
  const SurfaceFigures f = surface_figures({measured, sphere, kField, kMask});
  ASSERT_TRUE(f.zernike) << f.zernike_note;
  EXPECT_EQ(f.zernike->order, 6);
  ASSERT_EQ(f.zernike->coefficients_um.size(), 28u);
  for (int j = 0; j < 28; ++j) EXPECT_NEAR(f.zernike->coefficients_um[j], truth_um[j], 1e-9) << j;
  EXPECT_LT(f.zernike->rms_um, 1e-9);

  // To the best-fit sphere, the sphere-like terms go into the sphere.
  FigureOptions best_fit;
  best_fit.reference = ZernikeReference::best_fit_sphere;
  best_fit.zernike_order = 10;
  const SurfaceFigures g = surface_figures({measured, sphere, kField, kMask}, best_fit);
  ASSERT_TRUE(g.zernike);
  EXPECT_EQ(g.zernike->coefficients_um.size(), 66u);
  EXPECT_LT(std::abs(g.zernike->coefficients_um[4]), 0.02) << "defocus goes into the radius";
  EXPECT_NEAR(g.zernike->coefficients_um[3], -2.5, 1e-3);
  EXPECT_NEAR(g.zernike->coefficients_um[7], 0.3, 0.02);
}

TEST(AxialPower, UniformOnASphereAndTheSlopeOverTheRadiusElsewhere) {
  const SphereCap cap{0.0, 0.0, -0.002, 1 / 7.8};
  const HeightMatrix measured = map_of([&](double x, double y) { return cap.height(x, y); });
  const SurfaceFigures f = surface_figures({measured, set_sphere(7.5), kField, kMask});
  ASSERT_TRUE(f.axial_power) << f.axial_note;
  const HeightMatrix& power = *f.axial_power;
  int shown = 0;
  for (int c = 0; c < kMapSide; ++c)
    for (int r = 0; r < kMapSide; ++r) {
      if (in_evaluation_mask(kField, 5.12, 5.12, kMask, c, r)) {
        ASSERT_NEAR(power(c, r), 337.0 / 7.8, 1e-6) << c << ", " << r;
        ++shown;
      } else {
        ASSERT_TRUE(std::isnan(power(c, r)));
      }
    }
  EXPECT_EQ(shown, f.cells);

  // A decentred cap with terms: the power is 337 |s| / (r sqrt(1 + s^2))
  // with the radial slope s of the reconstructed height, and its centre
  // value the mean of the principal curvatures there.
  const ZernikeBasis basis(6);
  std::vector<double> coefficients(28, 0.0);
  coefficients[4] = 0.002;
  coefficients[5] = -0.001;
  coefficients[8] = 0.0005;
  coefficients[12] = 0.0007;
  const EvaluationDisc disc{0.0, 0.0, 3.2};
  const ReconstructedSurface surface{{0.1, -0.05, 0.0, 1 / 7.5}, basis, coefficients, disc};
  std::vector<double> z(28);
  const auto height = [&](double x, double y) {
    basis.values(x / 3.2, y / 3.2, z.data());
    double h = surface.cap.height(x, y);
    for (int j = 0; j < 28; ++j) h += coefficients[j] * z[j];
    return h;
  };
  for (auto [r, theta] : {std::pair{0.3, 0.4}, {1.7, 2.0}, {3.1, -2.5}}) {
    const double c = std::cos(theta), s = std::sin(theta), h = 1e-5;
    const double slope = (height((r + h) * c, (r + h) * s) - height((r - h) * c, (r - h) * s)) / (2 * h);
    const double expected = 337.0 * std::abs(slope) / (r * std::sqrt(1 + slope * slope));
    EXPECT_NEAR(axial_power(surface, r * c, r * s), expected, 1e-5 * expected) << r;
  }
  const double d = 1e-3;
  const double laplacian =
      (height(d, 0) + height(-d, 0) + height(0, d) + height(0, -d) - 4 * height(0, 0)) / (d * d);
  EXPECT_NEAR(axial_power(surface, 0.0, 0.0), 337.0 * std::abs(laplacian) / 2, 1e-3);
}

// ---- Figures that are not available -------------------------------------------

void expect_no_nan(const SurfaceFigures& f) {
  if (f.sphere) {
    EXPECT_TRUE(std::isfinite(f.sphere->radius_mm) && std::isfinite(f.sphere->rms_um));
  }
  if (f.conic) {
    EXPECT_TRUE(std::isfinite(f.conic->flat_radius_mm) && std::isfinite(f.conic->q));
  }
  if (f.keratometry) {
    EXPECT_TRUE(std::isfinite(f.keratometry->flat_radius) && std::isfinite(f.keratometry->steep_power));
  }
  if (f.zernike) {
    for (double c : f.zernike->coefficients_um) EXPECT_TRUE(std::isfinite(c));
  }
}

TEST(SurfaceFiguresBadInput, EachKindIsMarkedNotAvailableWithItsReason) {
  const HeightMatrix sphere = set_sphere(7.5);
  const SphereCap cap{0, 0, 0, 1 / 7.5};
  const HeightMatrix good = map_of([&](double x, double y) { return cap.height(x, y); });

  // No data at all.
  const HeightMatrix empty(kMapSide, kMapSide, kNoHeight);
  SurfaceFigures f = surface_figures({empty, sphere, kField, kMask});
  EXPECT_EQ(f.cells, 0);
  EXPECT_FALSE(f.sphere || f.conic || f.keratometry || f.zernike || f.axial_power || f.tangential_power);
  EXPECT_EQ(f.sphere_note, "no cell with data inside the evaluation mask");
  EXPECT_EQ(f.axial_note, f.sphere_note);
  EXPECT_EQ(f.conic_note, f.sphere_note);

  // Three cells: fewer than any fit needs.
  HeightMatrix three = empty;
  three(127, 127) = three(128, 128) = three(127, 129) = 0.0;
  f = surface_figures({three, sphere, kField, kMask});
  EXPECT_EQ(f.cells, 3);
  EXPECT_EQ(f.sphere_note, "fewer than 4 cells with data");
  EXPECT_EQ(f.conic_note, "no best-fit sphere to start from: fewer than 4 cells with data");
  EXPECT_EQ(f.keratometry_note, f.conic_note);
  EXPECT_EQ(f.zernike_note, "fewer cells (3) than terms (28)");
  expect_no_nan(f);

  // Data along one row only: every fit is degenerate.
  HeightMatrix line = empty;
  for (int c = 60; c < 200; ++c) line(c, 128) = good(c, 128);
  f = surface_figures({line, sphere, kField, kMask});
  EXPECT_EQ(f.sphere_note, "the cells lie on a line");
  EXPECT_EQ(f.keratometry_note, "no best-fit sphere to start from: the cells lie on a line");
  EXPECT_EQ(f.zernike_note, "the cells do not determine the terms");
  EXPECT_FALSE(f.axial_power);

  // A tilted plane: no finite radius anywhere, yet its Zernike terms exist.
  const HeightMatrix plane = map_of([](double x, double y) { return 0.01 * x - 0.02 * y; });
  f = surface_figures({plane, sphere, kField, kMask});
  EXPECT_EQ(f.sphere_note, "the surface is flat: no finite radius");
  EXPECT_EQ(f.conic_note, "no best-fit sphere to start from: the surface is flat: no finite radius");
  EXPECT_TRUE(f.zernike);
  EXPECT_EQ(f.axial_note, "no best-fit sphere: the surface is flat: no finite radius");
  FigureOptions best_fit;
  best_fit.reference = ZernikeReference::best_fit_sphere;
  f = surface_figures({plane, sphere, kField, kMask}, best_fit);
  EXPECT_FALSE(f.zernike);
  EXPECT_EQ(f.zernike_note, "no best-fit sphere: the surface is flat: no finite radius");

  // A sphere of 5 m: flat as far as an eye is concerned.
  const SphereCap huge{0, 0, 0, 1 / 5000.0};
  f = surface_figures({map_of([&](double x, double y) { return huge.height(x, y); }), sphere, kField, kMask});
  EXPECT_EQ(f.sphere_note, "the surface is flat: no finite radius");
  EXPECT_FALSE(f.keratometry);

  // A saddle: convex one way, concave the other.
  const HeightMatrix saddle = map_of([](double x, double y) { return (y * y - x * x) / 15.0; });
  f = surface_figures({saddle, sphere, kField, kMask});
  EXPECT_FALSE(f.conic);
  EXPECT_FALSE(f.keratometry);
  expect_no_nan(f);

  // A mask so small that it holds 3 x 3 cells: a sphere, but not 28 terms.
  f = surface_figures({good, sphere, kField, 0.18});
  EXPECT_EQ(f.cells, 9);
  EXPECT_TRUE(f.sphere);
  EXPECT_EQ(f.zernike_note, "fewer cells (9) than terms (28)");
  FigureOptions order_2;
  order_2.zernike_order = 2;
  EXPECT_TRUE(surface_figures({good, sphere, kField, 0.18}, order_2).zernike);

  // A set sphere smaller than the measured map: no terms of the residual to it.
  f = surface_figures({good, HeightMatrix(100, 100), kField, kMask});
  EXPECT_EQ(f.zernike_note, "the set sphere's map is smaller than the measured one");
  EXPECT_TRUE(f.sphere && f.axial_power);

  // Orders outside 0..10 are refused outright.
  for (int order : {-1, 11, 1000}) {
    FigureOptions o;
    o.zernike_order = order;
    EXPECT_THROW(surface_figures({good, sphere, kField, kMask}, o), std::invalid_argument) << order;
  }
  FigureOptions piston;
  piston.zernike_order = 0;
  f = surface_figures({good, sphere, kField, kMask}, piston);
  ASSERT_TRUE(f.zernike);
  EXPECT_EQ(f.zernike->coefficients_um.size(), 1u);
}

}  // namespace

// A cache kept over calls gives the figures a fresh fit gives, bit for bit,
// whether the next call has the same cells, other cells or another order.
TEST(FigureCache, GivesTheFiguresOfAFreshFitOnAnyCells) {
  const HeightMatrix sphere = set_sphere(7.6);
  HeightMatrix tilted = map_of([](double x, double y) { return 7.6 - std::sqrt(57.76 - x * x - y * y) * 1.0002 + 1e-4 * x; });
  HeightMatrix holed = tilted;
  for (int c = 120; c < 131; ++c)
    for (int r = 100; r < 104; ++r) holed(c, r) = kNoHeight;
  struct Call {
    const HeightMatrix* measured;
    int order;
  };
  const Call calls[] = {{&tilted, 6}, {&tilted, 6}, {&holed, 6}, {&holed, 4}, {&tilted, 4}, {&tilted, 6}};
  FigureCache cache;
  for (const Call& call : calls) {
    FigureOptions fresh;
    fresh.zernike_order = call.order;
    FigureOptions kept = fresh;
    kept.cache = &cache;
    const SurfaceFigures a = surface_figures({*call.measured, sphere, kField, kMask}, fresh);
    const SurfaceFigures b = surface_figures({*call.measured, sphere, kField, kMask}, kept);
    ASSERT_TRUE(a.zernike && b.zernike);
    ASSERT_EQ(a.zernike->coefficients_um.size(), b.zernike->coefficients_um.size());
    for (std::size_t j = 0; j < a.zernike->coefficients_um.size(); ++j)
      EXPECT_EQ(std::bit_cast<uint64_t>(a.zernike->coefficients_um[j]), std::bit_cast<uint64_t>(b.zernike->coefficients_um[j]));
    EXPECT_EQ(std::bit_cast<uint64_t>(a.zernike->rms_um), std::bit_cast<uint64_t>(b.zernike->rms_um));
    ASSERT_TRUE(a.axial_power && b.axial_power);
    bool same = true;  // NaN outside the mask: compared by bits
    for (int c = 0; c < kMapSide; ++c)
      for (int r = 0; r < kMapSide; ++r)
        same = same && std::bit_cast<uint64_t>((*a.axial_power)(c, r)) == std::bit_cast<uint64_t>((*b.axial_power)(c, r));
    EXPECT_TRUE(same);
  }
}
