// Numbers that other programs read back exactly, and the journal that keeps
// the lines of an interrupted job.
#include "common/round_trip_number.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <limits>

#include "common/errors.h"
#include "common/journal_file.h"
#include "temp_dir.h"

namespace {

TEST(RoundTripText, ShortestFormWithThePoint) {
  const struct {
    double value;
    const char* text;
  } cases[] = {
      {0.1, "0.1"},
      {0.1 + 0.2, "0.30000000000000004"},
      {1e-5, "1e-05"},
      {0.001, "0.001"},
      {17.0, "17"},
      {-0.0, "-0"},
      {1e21, "1e+21"},
      {std::numeric_limits<double>::denorm_min(), "5e-324"},
      {std::numeric_limits<double>::quiet_NaN(), "nan"},
      {-std::numeric_limits<double>::infinity(), "-inf"},
  };
  for (const auto& c : cases) EXPECT_EQ(round_trip_text(c.value), c.text) << c.text;
}

TEST(RoundTripText, EveryDoubleReadsBackBitForBit) {
  // A spread of bit patterns over the whole finite range, both signs.
  uint64_t bits = 0x9E3779B97F4A7C15ULL;
  for (int i = 0; i < 20000; ++i) {
    bits = bits * 6364136223846793005ULL + 1442695040888963407ULL;
    const double value = std::bit_cast<double>(bits);
    if (!std::isfinite(value)) continue;
    const std::optional<double> back = round_trip_number(round_trip_text(value));
    ASSERT_TRUE(back.has_value()) << round_trip_text(value);
    EXPECT_EQ(std::bit_cast<uint64_t>(*back), bits) << round_trip_text(value);
  }
}

TEST(RoundTripNumber, WholeTextsOnly) {
  EXPECT_EQ(round_trip_number(".5"), 0.5);
  EXPECT_EQ(round_trip_number("-2"), -2.0);
  EXPECT_EQ(round_trip_number("1e-05"), 1e-5);
  for (const char* bad : {"", " 1", "1 ", "+1", "1,5", "0.5x", "nan", "inf", "-inf", "1e999", "-",
                          ".", "e5", "0x10"})
    EXPECT_FALSE(round_trip_number(bad).has_value()) << '"' << bad << '"';
}

TEST(JournalFile, StartsWholeAndKeepsEveryAppendedLine) {
  TempDir dir;
  write_file_bytes("rows.part", "left over from before\n");
  {
    JournalFile journal("rows.part", "# head\nx,y\n");
    EXPECT_EQ(read_file_bytes("rows.part"), "# head\nx,y\n") << "replaced, not appended to";
    journal.append("1,2");
    // Each line is on disk as soon as append returns, before the journal closes.
    EXPECT_EQ(read_file_bytes("rows.part"), "# head\nx,y\n1,2\n");
    journal.append("3,\"a, b\"");
  }
  EXPECT_EQ(read_file_bytes("rows.part"), "# head\nx,y\n1,2\n3,\"a, b\"\n");
}

TEST(JournalFile, NamesThatCannotBeWritten) {
  TempDir dir;
  std::filesystem::create_directory("folder");
  std::filesystem::create_directory("locked");
  std::filesystem::permissions("locked", std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  const bool root = ::geteuid() == 0;  // root writes into a read-only folder
  EXPECT_FALSE(file_can_be_written("folder"));
  EXPECT_FALSE(file_can_be_written("missing/rows.csv"));
  EXPECT_FALSE(file_can_be_written(""));
  if (!root) {
    EXPECT_FALSE(file_can_be_written("locked/rows.csv"));
  }
  EXPECT_TRUE(file_can_be_written("rows.csv"));
  EXPECT_FALSE(std::filesystem::exists("rows.csv")) << "the probe leaves nothing behind";
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator("."), {}), 2);
  EXPECT_THROW(JournalFile("missing/rows.part", "h\n"), FileError);
  std::filesystem::permissions("locked", std::filesystem::perms::owner_all);
}

}  // namespace
