#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "every_target.h"
#include "profile_calculation.h"

TEST(SolveLeastSquares, SolvesOverdeterminedAndSquareSystems) {
  // Rows (x, 1, z) for the points (0, 0), (1, 1), (2, 1): the best line has
  // slope 1/2 and intercept 1/6.
  std::vector<double> line = {0, 1, 0, 1, 1, 1, 2, 1, 1};
  ASSERT_EQ(solve_least_squares(line.data(), 3, 2), 1);
  EXPECT_NEAR(line[2], 0.5, 1e-15);
  EXPECT_NEAR(line[5], 1.0 / 6.0, 1e-15);
  // 2a + b = 5 and a - b = 1 give a = 2, b = 1.
  std::vector<double> square = {2, 1, 5, 1, -1, 1};
  ASSERT_EQ(solve_least_squares(square.data(), 2, 2), 1);
  EXPECT_NEAR(square[2], 2.0, 1e-15);
  EXPECT_NEAR(square[5], 1.0, 1e-15);
}

TEST(SolveLeastSquares, RejectsDegenerateDesignsAndTooFewRows) {
  std::vector<double> equalColumns = {1, 1, 1, 2, 2, 3, 3, 3, 2};
  EXPECT_EQ(solve_least_squares(equalColumns.data(), 3, 2), 0);
  std::vector<double> zeroColumn = {1, 0, 1, 2, 0, 3, 3, 0, 2};
  EXPECT_EQ(solve_least_squares(zeroColumn.data(), 3, 2), 0);
  std::vector<double> notANumber = {1, NAN, 1, 2, 1, 3, 3, 0, 2};
  EXPECT_EQ(solve_least_squares(notANumber.data(), 3, 2), 0);
  // Two rows cannot determine three coefficients; the buffer holds exactly
  // the two rows, so a look at a third diagonal element would be caught.
  std::vector<double> twoRows(2 * 4, 1.0);
  EXPECT_EQ(solve_least_squares(twoRows.data(), 2, 3), 0);

  LeastSquaresPlan plan;
  EXPECT_EQ(plan_least_squares(plan, equalColumns.data(), 3, 2), 0);
  EXPECT_EQ(plan_least_squares(plan, twoRows.data(), 2, 3), 0);
  std::vector<double> tooMany(17 * 7, 1.0);
  EXPECT_EQ(plan_least_squares(plan, tooMany.data(), 17, 6), 0);
}

// The planned solves must repeat the plain solver's arithmetic exactly: one
// at a time for quadric designs over 4 x 4 blocks with and without missing
// points, and side by side for the complete block.
TEST(SolveLeastSquares, PlannedSolvesMatchPlainSolverBitForBit) {
  std::mt19937 random(20240611);
  std::uniform_real_distribution<double> height(-5.0, 5.0);
  std::uniform_int_distribution<int> exponent(-3, 3);
  std::bernoulli_distribution missing(0.3);
  int solved = 0;
  int differing = 0;
  double lanes[16][kPlanLanes];
  std::vector<std::vector<double>> plainLanes;
  for (int trial = 0; trial < 3000; ++trial) {
    const bool complete = trial < 1000;
    std::vector<double> a;
    for (int l = 0; l < 4; ++l)
      for (int m = 0; m < 4; ++m) {
        if (!complete && missing(random)) continue;
        const double x = m - 1.5;
        const double y = l - 1.5;
        const double z = std::ldexp(height(random), exponent(random));
        a.insert(a.end(), {x * x, y * y, x * y, x, y, 1.0, z});
      }
    const int n = static_cast<int>(a.size() / 7);
    if (n < 6) continue;
    LeastSquaresPlan plan;
    const int planned = plan_least_squares(plan, a.data(), n, 6);
    std::vector<double> b(16);
    for (int r = 0; r < n; ++r) b[r] = a[r * 7 + 6];
    if (complete) {
      for (int r = 0; r < 16; ++r) lanes[r][plainLanes.size()] = b[r];
      plainLanes.push_back(a);
    }
    const int plain = solve_least_squares(a.data(), n, 6);
    ASSERT_EQ(planned, plain) << "trial " << trial;
    if (plain == 0) continue;
    ++solved;
    solve_with_plan(plan, b.data());
    for (int i = 0; i < 6; ++i) differing += std::memcmp(&b[i], &a[i * 7 + 6], sizeof(double)) != 0;

    if (static_cast<int>(plainLanes.size()) == kPlanLanes) {
      // The last coefficient alone, at every target and by the plain
      // definition beside the kernel.
      const auto check_last = [&](void (*solve_last)(const LeastSquaresPlan&, double (*)[kPlanLanes])) {
        double last[16][kPlanLanes];
        std::memcpy(last, lanes, sizeof last);
        solve_last(plan, last);
        for (int k = 0; k < kPlanLanes; ++k) {
          double expected[7 * 16];
          std::memcpy(expected, plainLanes[k].data(), sizeof expected);
          ASSERT_EQ(solve_least_squares(expected, 16, 6), 1);
          differing += std::memcmp(&last[5][k], &expected[5 * 7 + 6], sizeof(double)) != 0;
        }
      };
      for_every_target([&] { check_last(solve_last_with_plan_lanes); });
      check_last(solve_last_with_plan_plain);
      plainLanes.clear();
    }
  }
  EXPECT_GT(solved, 2000);
  EXPECT_EQ(differing, 0);
}
