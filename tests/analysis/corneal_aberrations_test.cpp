// OSA/ANSI aberrations of the anterior cornea: a surface made of one term
// gives that term alone, and the summaries pick the right terms.
#include "analysis/corneal_aberrations.h"

#include <gtest/gtest.h>

#include <cmath>

#include "analysis/snell_power.h"
#include "analysis/zernike.h"

namespace {

// The cells of a 3.2 mm disc whose heights are the cap plus `um` microns of
// wavefront of term j over a pupil of radius `a`.
SurfaceCells cells_of(const SphereCap& cap, int j, double um, double a) {
  const ZernikeBasis basis(kAberrationOrder);
  SurfaceCells cells;
  cells.step = 0.04;
  cells.disc = {0.0, 0.0, 3.2, 3.3};
  double values[kMaxZernikeTerms];
  for (int c = 0; c < 256; ++c)
    for (int r = 0; r < 256; ++r) {
      const double x = cell_x_mm(c, 0.04), y = cell_y_mm(r, 0.04);
      if (x * x + y * y > 3.2 * 3.2) continue;
      basis.values(x / a, y / a, values);
      cells.x.push_back(x);
      cells.y.push_back(y);
      cells.z.push_back(cap.height(x, y) + um * values[j] / ((kCorneaIndex - 1.0) * 1000.0));
      cells.column.push_back(c);
      cells.row.push_back(r);
    }
  return cells;
}

TEST(CornealAberrations, OneTermGivesItsCoefficientAndNothingElse) {
  const SphereCap cap{0.0, 0.0, 0.0, 1.0 / 7.8};
  struct Case {
    int n, m;
    double um, pupil;
    double higher, spherical, coma, trefoil;
  } cases[] = {
      {4, 0, 0.25, 6.0, 0.25, 0.25, 0.0, 0.0},
      {4, 0, -0.1, 4.0, 0.1, -0.1, 0.0, 0.0},
      {3, -1, 0.3, 6.0, 0.3, 0.0, 0.3, 0.0},
      {3, 1, -0.2, 5.0, 0.2, 0.0, 0.2, 0.0},
      {3, 3, 0.15, 6.0, 0.15, 0.0, 0.0, 0.15},
      {3, -3, 0.15, 6.0, 0.15, 0.0, 0.0, 0.15},
      {2, 2, 1.5, 6.0, 0.0, 0.0, 0.0, 0.0},  // astigmatism is not of higher order
      {6, 0, 0.05, 6.0, 0.05, 0.0, 0.0, 0.0},
  };
  for (const Case& c : cases) {
    const int j = zernike_j(c.n, c.m);
    std::string why;
    const auto a = corneal_aberrations(cells_of(cap, j, c.um, c.pupil / 2.0), cap, c.pupil, &why);
    ASSERT_TRUE(a) << why;
    ASSERT_EQ(a->coefficients_um.size(), 28u);
    for (int k = 0; k < 28; ++k)
      EXPECT_NEAR(a->coefficients_um[static_cast<std::size_t>(k)], k == j ? c.um : 0.0, 1e-9) << j << " " << k;
    EXPECT_NEAR(a->higher_order_rms_um, c.higher, 1e-9);
    EXPECT_NEAR(a->spherical_um, c.spherical, 1e-9);
    EXPECT_NEAR(a->coma_um, c.coma, 1e-9);
    EXPECT_NEAR(a->trefoil_um, c.trefoil, 1e-9);
    EXPECT_EQ(a->pupil_diameter_mm, c.pupil);
  }
}

TEST(CornealAberrations, PupilsThatCannotBeFitted) {
  const SphereCap cap{0.0, 0.0, 0.0, 1.0 / 7.8};
  const SurfaceCells cells = cells_of(cap, 0, 0.0, 3.0);
  std::string why;
  EXPECT_FALSE(corneal_aberrations(cells, cap, 6.5, &why));
  EXPECT_EQ(why, "the pupil of 6.5 mm is wider than the disc of 6.4 mm measured");
  EXPECT_FALSE(corneal_aberrations(cells, cap, 0.0, &why));
  EXPECT_EQ(why, "the pupil must be wider than 0 mm");
  EXPECT_FALSE(corneal_aberrations(cells, cap, std::nan(""), &why));
  EXPECT_FALSE(corneal_aberrations(cells, cap, 0.1, &why));  // 1 cell for 28 terms
  EXPECT_NE(why.find("than terms"), std::string::npos) << why;
}

}  // namespace
