#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <functional>
#include <numbers>
#include <random>
#include <vector>

#include "profile_calculation.h"
#include "every_target.h"
#include "scan/default_par.h"

namespace {

constexpr ScnPar kDefaults = kDefaultScnPar;
// CamResX / tan(Alpha) with the defaults, mm per pixel of fringe shift.
const double kFactor = 0.01 / std::tan(30.0 * std::numbers::pi / 180.0);
using PhaseFunction = std::function<uint16_t(int32_t, int32_t)>;

// A context with a phase and a reference plane of the given size, all zero.
struct Context {
  Context(int32_t width, int32_t height) {
    context.par = kDefaults;
    context.planes[PLANE_PHASE] = img_create(2, width, height);
    context.planes[PLANE_REFERENCE] = img_create(2, width, height);
  }
  ~Context() {
    mat_free(&context.profile);
    for (GreyImage* plane : context.planes) img_destroy(plane);
  }
  void fill(int plane, const PhaseFunction& value) {
    GreyImage* image = context.planes[plane];
    for (int32_t y = 0; y < image->height; ++y)
      for (int32_t x = 0; x < image->width; ++x) {
        const uint16_t u = value(x, y);
        std::memcpy(img_line(image, y) + 2 * x, &u, 2);
      }
  }
  float at(int32_t row, int32_t col) const { return context.profile.values[row][col]; }
  ScnContext context{};
};

// A full grid for block_fit, every height `initial`.
struct Grid {
  Grid(int32_t cols, int32_t rows, float initial = -10.0f) {
    mat_create(&matrix, cols, rows, 0.01, 0.01);
    for (int32_t r = 0; r < rows; ++r)
      std::fill(matrix.values[r], matrix.values[r] + cols, initial);
  }
  ~Grid() { mat_free(&matrix); }
  ScnMatrix matrix{};
};

// Fits the 4 x 4 grid `g` and returns the one profile height.
float fit_one(const Grid& g, double limit = -10.0) {
  Grid out(1, 1, 12345.0f);
  EXPECT_EQ(block_fit(g.matrix, out.matrix, 4, limit), 0);
  return out.matrix.values[0][0];
}

// A straight pattern advancing `per_pixel` units along the rows, p units at
// the centre column.
PhaseFunction straight_phase(int32_t width, double per_pixel, int p) {
  return [=](int32_t x, int32_t) {
    return static_cast<uint16_t>(std::lrint(32768.0 + per_pixel * (x - width / 2)) + p);
  };
}

}  // namespace

TEST(ProfileCalculation, GridSizeSpacingAndReplacement) {
  Context c(1280, 1024);
  mat_create(&c.context.profile, 7, 7, 1.0, 1.0);  // an earlier profile
  calculate_profile(c.context, 0);
  EXPECT_EQ(c.context.profile.cols, 320);
  EXPECT_EQ(c.context.profile.rows, 256);
  EXPECT_EQ(c.context.profile.xStep, 4 * 0.01);
  EXPECT_EQ(c.context.profile.yStep, 4 * 0.01);
  EXPECT_EQ(c.at(255, 319), -10.0f);  // no phase anywhere

  Context odd(1283, 1026);
  calculate_profile(odd.context, 0);
  EXPECT_EQ(odd.context.profile.cols, 320);
  EXPECT_EQ(odd.context.profile.rows, 256);
  Context narrow(3, 17);
  calculate_profile(narrow.context, 1);
  EXPECT_EQ(narrow.context.profile.cols, 0);
  EXPECT_EQ(narrow.context.profile.rows, 4);

  // A context whose planes are gone keeps its profile.
  ScnContext bare{};
  mat_create(&bare.profile, 2, 3, 0.5, 0.25);
  bare.profile.values[2][1] = 7.0f;
  calculate_profile(bare, 0);
  EXPECT_EQ(bare.profile.cols, 2);
  EXPECT_EQ(bare.profile.values[2][1], 7.0f);
  mat_free(&bare.profile);
}

TEST(BlockFit, TooFewPointsOrDegenerateDesignsGiveNoData) {
  Grid five(4, 4);
  for (int i = 0; i < 5; ++i) five.matrix.values[i / 4][i % 4] = 1.0f;
  EXPECT_EQ(fit_one(five), -10.0f);
  Grid twoRows(4, 4);
  Grid twoCols(4, 4);
  for (int i = 0; i < 4; ++i) {
    twoRows.matrix.values[1][i] = twoRows.matrix.values[3][i] = 1.0f + i;
    twoCols.matrix.values[i][0] = twoCols.matrix.values[i][2] = 1.0f + i;
  }
  EXPECT_EQ(fit_one(twoRows), -10.0f);
  EXPECT_EQ(fit_one(twoCols), -10.0f);
  // Six points in a triangle determine the quadric.
  Grid triangle(4, 4);
  for (auto [m, l] : {std::pair{0, 0}, {1, 0}, {2, 0}, {0, 1}, {1, 1}, {0, 2}})
    triangle.matrix.values[l][m] = 0.5f;
  EXPECT_FLOAT_EQ(fit_one(triangle), 0.5f);
}

TEST(BlockFit, QuadricAndConstantBlocksGiveTheirCentreHeight) {
  // Two blocks side by side; the spare column and row hold NaN and are never read.
  Grid g(9, 5, NAN);
  for (int l = 0; l < 4; ++l)
    for (int m = 0; m < 4; ++m) {
      const double x = m - 1.5;
      const double y = l - 1.5;
      // Dyadic coefficients: every height is exact in a float.
      g.matrix.values[l][m] =
          static_cast<float>(0.5 * x * x - 0.25 * y * y + 0.125 * x * y + x - 2 * y + 3);
      g.matrix.values[l][4 + m] = 0.25f;
    }
  Grid out(2, 1);
  ASSERT_EQ(block_fit(g.matrix, out.matrix, 4, -10.0), 0);
  EXPECT_EQ(out.matrix.values[0][0], 3.0f);
  EXPECT_EQ(out.matrix.values[0][1], 0.25f);
  // With a point missing the general solver gives the same.
  g.matrix.values[3][3] = -10.0f;
  g.matrix.values[0][5] = NAN;
  ASSERT_EQ(block_fit(g.matrix, out.matrix, 4, -10.0), 0);
  EXPECT_FLOAT_EQ(out.matrix.values[0][0], 3.0f);
  EXPECT_FLOAT_EQ(out.matrix.values[0][1], 0.25f);
}

// float(0.1) lies above 0.1: the no-data height itself must still not count
// as a measured height, or it would be fitted into the blocks at the edge of
// the data. Infinite heights do not take part either.
TEST(BlockFit, NoDataHeightAndNonFiniteHeightsNeverTakePart) {
  const float noData = static_cast<float>(0.1);
  Grid g(4, 4, 1.0f);
  for (int i = 0; i < 6; ++i) g.matrix.values[i / 4][i % 4] = noData;
  EXPECT_FLOAT_EQ(fit_one(g, 0.1), 1.0f);
  EXPECT_EQ(fit_one(Grid(4, 4, noData), 0.1), noData);
  Grid infinite(4, 4, 2.0f);
  infinite.matrix.values[2][2] = INFINITY;
  EXPECT_FLOAT_EQ(fit_one(infinite), 2.0f);
}

// Complete blocks take the precomputed path (eight neighbours at once where
// they all are complete); their results must be the plain solver's, bit for
// bit: on grids with scattered missing heights, complete grids whose band
// width is no multiple of eight blocks, one incomplete block at every place
// within a group of eight, heights that are not finite, and a disc of
// heights with none around it (blocks without any height, eight at a time),
// and blocks that miss heights by a few masks again and again (more masks
// than the fitter keeps plans for, among them masks of too few heights and
// of heights in two rows or two columns alone, whose designs are degenerate).
TEST(BlockFit, PrecomputedPathMatchesPlainSolverBitForBit) {
  struct Case {
    int cols, rows;
    double missing;  // chance of a missing height
    int hole_every;  // > 0: block k of band b misses a height when (k - b) % hole_every == 0
    int disc = 0;    // > 0: heights only within this radius of the grid's centre
    int masks = 0;   // > 0: each block keeps the heights of one of this many masks
  };
  for (const Case& c : {Case{64, 64, 0.02, 0}, Case{84, 12, 0.0, 0}, Case{128, 36, 0.0, 9},
                        Case{100, 16, 0.005, 0}, Case{4, 4, 0.0, 0}, Case{200, 44, 0.0, 0, 37},
                        Case{400, 160, 0.0, 0, 0, 150}}) {
    std::mt19937 random(7);
    std::uniform_real_distribution<float> height(-2.0f, 2.0f);
    std::bernoulli_distribution missing(c.missing);
    Grid g(c.cols, c.rows);
    for (int r = 0; r < c.rows; ++r)
      for (int col = 0; col < c.cols; ++col) g.matrix.values[r][col] = missing(random) ? -10.0f : height(random);
    const int across = c.cols / 4, down = c.rows / 4;
    for (int b = 0; c.hole_every > 0 && b < down; ++b)
      for (int k = 0; k < across; ++k)
        if ((k - b) % c.hole_every == 0) g.matrix.values[4 * b + (k % 4)][4 * k + (b % 4)] = k % 3 ? -10.0f : NAN;
    if (c.cols == 100) g.matrix.values[5][50] = INFINITY;
    std::vector<int> masks = {0x00FF, 0x3333, 0x001F, 0xFFF0};
    std::uniform_int_distribution<int> any_mask(1, 0xFFFE);
    while (static_cast<int>(masks.size()) < c.masks) masks.push_back(any_mask(random));
    std::uniform_int_distribution<int> pick(0, std::max(c.masks - 1, 0));
    for (int b = 0; c.masks > 0 && b < c.rows / 4; ++b)
      for (int k = 0; k < c.cols / 4; ++k) {
        const int mask = masks[static_cast<std::size_t>(pick(random))];
        for (int p = 0; p < 16; ++p)
          if (!((mask >> p) & 1)) g.matrix.values[4 * b + p / 4][4 * k + p % 4] = p % 5 ? -10.0f : NAN;
      }
    for (int r = 0; c.disc > 0 && r < c.rows; ++r)
      for (int col = 0; col < c.cols; ++col)
        if (std::hypot(col - c.cols / 2, r - c.rows / 2) >= c.disc) g.matrix.values[r][col] = -10.0f;
    for_every_target([&] {
      Grid out(across, down);
      ASSERT_EQ(block_fit(g.matrix, out.matrix, 4, -10.0), 0);
      int differing = 0;
      for (int bi = 0; bi < down; ++bi)
        for (int bj = 0; bj < across; ++bj) {
          std::vector<double> a;
          for (int l = 0; l < 4; ++l)
            for (int m = 0; m < 4; ++m) {
              const float z = g.matrix.values[bi * 4 + l][bj * 4 + m];
              const double x = m - 1.5;
              const double y = l - 1.5;
              if (z > -10.0f && z <= FLT_MAX) a.insert(a.end(), {x * x, y * y, x * y, x, y, 1.0, z});
            }
          const int n = static_cast<int>(a.size() / 7);
          const bool solved = n >= 6 && solve_least_squares(a.data(), n, 6) == 1;
          const float expected = solved ? static_cast<float>(a[5 * 7 + 6]) : -10.0f;
          if (std::memcmp(&expected, &out.matrix.values[bi][bj], sizeof(float)) != 0) ++differing;
        }
      EXPECT_EQ(differing, 0) << c.cols << " x " << c.rows;
    });
  }
}

TEST(ProfileCalculation, HeightsRelativeToTheReference) {
  Context c(64, 48);
  // Data only in the lower left 31 x 31 pixels.
  const PhaseFunction phase = [](int32_t x, int32_t y) {
    return static_cast<uint16_t>(x < 31 && y < 31 ? 30000 + 37 * x + 11 * y : 0);
  };
  c.fill(PLANE_PHASE, phase);
  calculate_profile(c.context, 1);  // the reference plane holds no phase
  for (int32_t r = 0; r < 12; ++r)
    for (int32_t col = 0; col < 16; ++col) EXPECT_EQ(c.at(r, col), -10.0f);

  c.fill(PLANE_REFERENCE, phase);
  calculate_profile(c.context, 1);
  // The blocks at the edge of the data keep 3 of 4 pixel rows or columns.
  for (int32_t r = 0; r < 12; ++r)
    for (int32_t col = 0; col < 16; ++col)
      EXPECT_EQ(c.at(r, col), r < 8 && col < 8 ? 0.0f : -10.0f) << r << "," << col;

  // One unit (1/256 period) above the reference.
  c.fill(PLANE_REFERENCE, [&](int32_t x, int32_t y) {
    return static_cast<uint16_t>(phase(x, y) == 0 ? 0 : phase(x, y) - 1);
  });
  calculate_profile(c.context, 1);
  EXPECT_FLOAT_EQ(c.at(0, 0), static_cast<float>(0.00390625 * (kFactor * 10.0)));
}

// With the defaults a straight pattern of period LambdaF has one height,
// k x LambdaF x p / 256, p the phase at the centre column.
TEST(ProfileCalculation, StraightPatternGivesOneHeight) {
  for (int p : {0, 64, -56}) {
    const float expected = static_cast<float>(kFactor * 10.0 * p / 256);
    Context c(160, 32);
    // 25.6 units per pixel: exact at every fifth column from the centre,
    // elsewhere rounded to a unit, which the fit keeps within half a unit.
    c.fill(PLANE_PHASE, straight_phase(160, 25.6, p));
    Grid full(160, 32);
    height_map(full.matrix, c.context.planes[PLANE_PHASE], c.context.par);
    for (int32_t x = 0; x < 160; x += 5) EXPECT_FLOAT_EQ(full.matrix.values[7][x], expected) << x;
    calculate_profile(c.context, 0);
    for (int32_t col = 0; col < 40; ++col)
      EXPECT_NEAR(c.at(3, col), expected, 0.5 / 256 * 10.0 * kFactor);

    // A period of 8 pixels is exact at every pixel.
    c.context.par.LambdaF = 8.0;
    c.fill(PLANE_PHASE, straight_phase(160, 32.0, p));
    calculate_profile(c.context, 0);
    const float exact = static_cast<float>(kFactor * 8.0 * p / 256);
    for (int32_t col = 0; col < 40; ++col) EXPECT_FLOAT_EQ(c.at(5, col), exact);
  }
}

// Parameters that make the height factor infinite or not a number, and an
// unusable DepthLimit, must not put infinities or NaN into the profile.
TEST(ProfileCalculation, UnusableParametersGiveNoDataInsteadOfNonFiniteHeights) {
  Context c(40, 8);  // phase only in the right half: profile columns 5 to 9
  c.fill(PLANE_PHASE, [](int32_t x, int32_t) { return uint16_t(x < 20 ? 0 : 33000 + 25 * x); });
  c.fill(PLANE_REFERENCE, [](int32_t x, int32_t) { return uint16_t(x < 20 ? 0 : 33000); });
  const auto run = [&](const std::function<void(ScnPar&)>& change, int32_t withReference) {
    c.context.par = kDefaults;
    change(c.context.par);
    calculate_profile(c.context, withReference);
    return std::vector<float>(c.context.profile.values[0], c.context.profile.values[0] + 10);
  };
  const std::vector<float> none(10, -10.0f);
  EXPECT_EQ(run([](ScnPar& p) { p.Alpha = 0.0; }, 0), none);  // tan 0: infinite factor
  EXPECT_EQ(run([](ScnPar& p) { p.Alpha = 0.0; }, 1), none);
  EXPECT_EQ(run([](ScnPar& p) { p.CamResX = NAN; }, 0), none);
  EXPECT_EQ(run([](ScnPar& p) { p.LambdaF = INFINITY; }, 1), none);

  // tan(90 degrees) is huge but finite: the heights vanish but stay numbers.
  std::vector<float> flat = run([](ScnPar& p) { p.Alpha = 90.0; }, 0);
  for (int i = 5; i < 10; ++i) EXPECT_LT(std::fabs(flat[i]), 1e-12f) << i;
  flat = run([](ScnPar& p) { p.CamResX = 0.0; }, 0);
  for (int i = 5; i < 10; ++i) EXPECT_EQ(flat[i], 0.0f) << i;

  // A DepthLimit that is not a usable number falls back to -10.
  for (double limit : {static_cast<double>(NAN), -static_cast<double>(INFINITY), -1e300}) {
    const std::vector<float> values = run([limit](ScnPar& p) { p.DepthLimit = limit; }, 0);
    EXPECT_EQ(values[0], -10.0f);
    EXPECT_GT(values[7], 0.0f);
  }
}

// Every height of a row, at every vector width and for every column of the
// tail, is the one the formula gives pixel by pixel: random phases with
// holes, with and without reference, factors small, ordinary and so large
// that heights leave the float range.
TEST(ProfileCalculation, HeightRowsAreThePixelByPixelFormulaAtEveryWidth) {
  std::mt19937 random(17);
  struct Setting {
    double lambda, cam_res, alpha;
  };
  const Setting settings[] = {{10.0, 0.01, 30.0}, {12.7, 0.0137, 41.3}, {9.3, 1e35, 0.5}};
  for (int32_t width : {1283, 37, 8, 7}) {
    Context c(width, 3);
    // Stretches of 16 pixels without phase, as outside the mask, among single ones.
    c.fill(PLANE_PHASE, [&](int32_t x, int32_t) {
      return static_cast<uint16_t>(random() % 7 == 0 || (x + 5) / 16 % 3 == 0 ? 0 : random());
    });
    c.fill(PLANE_REFERENCE, [&](int32_t, int32_t) { return static_cast<uint16_t>(random() % 9 == 0 ? 0 : random()); });
    for (const Setting& s : settings)
      for (int with_reference : {0, 1}) {
        ScnPar par = kDefaults;
        par.LambdaF = s.lambda;
        par.CamResX = s.cam_res;
        par.Alpha = s.alpha;
        const double tangent = std::tan(par.Alpha * std::numbers::pi / 180.0);
        const double k = with_reference != 0 ? par.CamResX * par.LambdaF / tangent : par.CamResX / tangent;
        const float no_data = static_cast<float>(par.DepthLimit);
        std::vector<float> expected(static_cast<std::size_t>(width));
        const uint8_t* in = img_line(c.context.planes[PLANE_PHASE], 1);
        const uint8_t* ref = img_line(c.context.planes[PLANE_REFERENCE], 1);
        for (int32_t x = 0; x < width; ++x) {
          uint16_t u, r;
          std::memcpy(&u, in + 2 * x, 2);
          std::memcpy(&r, ref + 2 * x, 2);
          if (with_reference != 0)
            expected[x] = u == 0 || r == 0 ? no_data : stored_height((u - r) * 0.00390625 * k, no_data);
          else
            expected[x] = u == 0 ? no_data
                                 : stored_height(k * (par.LambdaF * (u * 0.00390625 - 128.0) - x + width / 2), no_data);
        }
        for_every_target([&] {
          const HeightRow heights(par, c.context.planes[PLANE_PHASE],
                                  with_reference != 0 ? c.context.planes[PLANE_REFERENCE] : nullptr);
          std::vector<float> row(static_cast<std::size_t>(width), 1.0f);
          heights(1, row.data(), width);
          EXPECT_EQ(std::memcmp(row.data(), expected.data(), row.size() * sizeof(float)), 0)
              << width << " columns, lambda " << s.lambda << ", reference " << with_reference;
        });
      }
  }
}
