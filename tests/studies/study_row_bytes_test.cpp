// A study's row as bytes between the processes of an MPI job: exact round
// trip, and damaged bytes refused rather than read as a row.
#include "studies/study_row_bytes.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

TEST(StudyRowBytes, RoundTripAndDamagedBytes) {
  const StudyRow row{123456789, {0.1 + 0.2, -0.0, 1e-300}, 17.25, "Cannot \"x\", y"};
  const std::string bytes = encode_study_row(row);
  const std::optional<StudyRow> back = decode_study_row(bytes);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->run, row.run);
  EXPECT_EQ(back->figures, row.figures);
  EXPECT_TRUE(std::signbit(back->figures[1]));
  EXPECT_EQ(back->ms, row.ms);
  EXPECT_EQ(back->status, row.status);
  // Every cut of the bytes, a byte too many and a figure count beyond the
  // bytes are refused.
  for (std::size_t cut = 0; cut < bytes.size(); ++cut)
    EXPECT_FALSE(decode_study_row(std::string_view(bytes).substr(0, cut))) << cut << " bytes";
  EXPECT_FALSE(decode_study_row(bytes + "x"));
  std::string huge = bytes;
  huge[8] = '\xff';  // the figures' count
  EXPECT_FALSE(decode_study_row(huge));
}

}  // namespace
