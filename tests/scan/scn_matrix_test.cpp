#include "scn_matrix.h"

#include <gtest/gtest.h>

namespace {

TEST(ScnMatrix, RowsLieInOneBlockRowAfterRow) {
  ScnMatrix matrix{};
  ASSERT_EQ(mat_create(&matrix, 5, 3, 0.25, 0.5), 0);
  EXPECT_EQ(matrix.cols, 5);
  EXPECT_EQ(matrix.rows, 3);
  EXPECT_EQ(matrix.xStep, 0.25);
  EXPECT_EQ(matrix.yStep, 0.5);
  ASSERT_NE(matrix.values, nullptr);
  for (int r = 0; r < 3; ++r) EXPECT_EQ(matrix.values[r], matrix.values[0] + 5 * r);
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 5; ++c) matrix.values[r][c] = static_cast<float>(10 * r + c);
  EXPECT_EQ(matrix.values[0][14], 24.0f);

  mat_free(&matrix);
  EXPECT_EQ(matrix.values, nullptr);
  EXPECT_EQ(matrix.cols, 0);
  EXPECT_EQ(matrix.rows, 0);
  EXPECT_EQ(matrix.xStep, 0.0);
  EXPECT_EQ(matrix.yStep, 0.0);
  mat_free(&matrix);  // a null table is allowed
  mat_free(nullptr);
}

TEST(ScnMatrix, FailedCreationKeepsTheNumbers) {
  ScnMatrix matrix{};
  ASSERT_EQ(mat_create(&matrix, 4, 4, 1.0, 2.0), 0);
  mat_free(&matrix);
  matrix.cols = 7;
  matrix.rows = 8;
  matrix.xStep = 0.1;
  EXPECT_EQ(mat_create(&matrix, -1, 4, 3.0, 3.0), 1);
  EXPECT_EQ(matrix.values, nullptr);
  EXPECT_EQ(matrix.cols, 7);
  EXPECT_EQ(matrix.rows, 8);
  EXPECT_EQ(matrix.xStep, 0.1);
  EXPECT_EQ(mat_create(nullptr, 1, 1, 1.0, 1.0), 1);

  // An empty grid still owns a block that mat_free releases.
  ASSERT_EQ(mat_create(&matrix, 0, 0, 1.0, 1.0), 0);
  EXPECT_NE(matrix.values, nullptr);
  mat_free(&matrix);
}

}  // namespace
