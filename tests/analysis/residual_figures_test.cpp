// Coverage and wrong fringe orders inside the evaluation mask.
#include "analysis/residual_figures.h"

#include <gtest/gtest.h>

#include <cmath>

#include "analysis/mask_statistics.h"
#include "analysis/reference_sphere.h"

namespace {

constexpr double kField = 10.24;  // mm, 0.04 mm per cell
constexpr double kMask = 3.3;     // mm

bool in_mask(int x, int y) { return in_evaluation_mask(kField, kField / 2, kField / 2, kMask, x, y); }

TEST(OrderHeightStep, PeriodTimesPixelOverTanAngle) {
  // 10 px of 0.01 mm under 45 degrees: 0.1 mm per order (tan 45 is 1 to the last bit or two).
  EXPECT_NEAR(order_height_step(10.0, 0.01, 45.0), 0.1, 1e-15);
  EXPECT_NEAR(order_height_step(10.0, 0.01, 30.0), 0.1 * std::sqrt(3.0), 1e-15);
  EXPECT_TRUE(std::isinf(order_height_step(10.0, 0.01, 0.0)));
}

TEST(OrderErrorCount, CountsMaskCellsWithDataOffByHalfAnOrderOrMore) {
  const double step = 0.1;
  HeightMatrix measured(kMapSide, kMapSide, 0.0), residual(kMapSide, kMapSide, 0.0);
  // Inside the mask: the centre row from x = 100 on one order up, a block
  // two orders down, cells just under and just over half an order.
  for (int x = 100; x < 110; ++x) residual(x, 128) = step;          // 10 wrong
  for (int x = 120; x < 124; ++x)
    for (int y = 120; y < 123; ++y) residual(x, y) = -2.0 * step;   // 12 wrong
  residual(128, 100) = 0.5 * step;                                  // exactly half: not counted
  residual(128, 101) = std::nextafter(0.5 * step, 1.0);             // 1 wrong
  residual(128, 102) = -0.45 * step;                                // noise, not counted
  // Cells without data are lost coverage, not wrong orders.
  for (int y = 140; y < 145; ++y) {
    measured(128, y) = kNoHeight;
    residual(128, y) = kNoHeight;
  }
  // Outside the mask nothing counts.
  ASSERT_FALSE(in_mask(2, 2));
  residual(2, 2) = 5.0 * step;
  ASSERT_TRUE(in_mask(100, 128) && in_mask(123, 120) && in_mask(128, 100) && in_mask(128, 144));

  EXPECT_EQ(order_error_count(residual, measured, kField, kMask, step), 23);
  EXPECT_EQ(order_error_count(residual, measured, kField, kMask, -step), 23) << "the step's sign";
  EXPECT_EQ(order_error_count(residual, measured, kField, kMask, 10.0), 0);
  EXPECT_EQ(order_error_count(residual, measured, kField, 0.1, step), 0) << "an empty mask";
}

TEST(MaskCoverage, ShareOfMaskCellsWithData) {
  HeightMatrix measured(kMapSide, kMapSide, 1.0);
  const int cells = mask_statistics(measured, kField, kMask).count;
  ASSERT_GT(cells, 20000);
  EXPECT_EQ(mask_coverage(measured, kField, kMask), 1.0);
  // 100 cells inside the mask and every cell outside it without data.
  int removed = 0;
  for (int x = 0; x < kMapSide; ++x) {
    for (int y = 0; y < kMapSide; ++y) {
      if (!in_mask(x, y) || (removed < 100 && x >= 128)) {
        removed += in_mask(x, y) ? 1 : 0;
        measured(x, y) = kNoHeight;
      }
    }
  }
  ASSERT_EQ(removed, 100);
  EXPECT_DOUBLE_EQ(mask_coverage(measured, kField, kMask), static_cast<double>(cells - 100) / cells);
  EXPECT_EQ(mask_coverage(measured, kField, 0.1), 0.0) << "an empty mask";
}

}  // namespace
