// Local PV, RMS and mean maps over 7 x 7 cells.
#include <gtest/gtest.h>

#include "analysis/local_evaluation.h"

namespace {

TEST(LocalEvaluation, ConstantMapAndItsBorder) {
  const HeightMatrix map(256, 256, 0.001953125);  // 2^-9: sums stay exact
  HeightMatrix pv(256, 256, 9.0), rms(256, 256, 9.0), mean(256, 256, 9.0);
  local_evaluation_map(map, LocalEvaluation::pv, pv);
  local_evaluation_map(map, LocalEvaluation::rms, rms);
  local_evaluation_map(map, LocalEvaluation::mean, mean);
  EXPECT_EQ(pv, HeightMatrix(256, 256, 0.0));
  EXPECT_EQ(rms, HeightMatrix(256, 256, 0.0));
  for (int x : {0, 3, 4, 128, 252, 253, 255}) {
    for (int y : {0, 3, 4, 100, 252, 255}) {
      const bool inner = x >= 4 && x <= 252 && y >= 4 && y <= 252;
      EXPECT_EQ(mean(x, y), inner ? 0.001953125 : 0.0) << x << ", " << y;
    }
  }
}

TEST(LocalEvaluation, SingleBumpSpreadsOverItsWindow) {
  HeightMatrix map(256, 256, 0.0);
  map(100, 100) = 0.001;
  HeightMatrix pv;
  local_evaluation_map(map, LocalEvaluation::pv, pv);
  for (int x = 90; x <= 110; ++x)
    for (int y = 90; y <= 110; ++y) {
      const bool near = x >= 97 && x <= 103 && y >= 97 && y <= 103;
      ASSERT_EQ(pv(x, y), near ? 0.001 : 0.0) << x << ", " << y;
    }
}

}  // namespace
