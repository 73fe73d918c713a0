#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <random>
#include <string>

#include "profile_file.h"
#include "temp_dir.h"

namespace {

class Profile {
 public:
  Profile(int32_t cols, int32_t rows, double step) { mat_create(&matrix, cols, rows, step, step); }
  ~Profile() { mat_free(&matrix); }
  Profile(const Profile&) = delete;
  Profile& operator=(const Profile&) = delete;
  ScnMatrix matrix{};
};

int entries_in(const std::filesystem::path& directory) {
  const auto range = std::filesystem::directory_iterator(directory);
  return static_cast<int>(std::distance(begin(range), end(range)));
}

}  // namespace

TEST(ProfileFile, ExactLines) {
  TempDir dir;
  ScnMatrix empty{};
  save_profile(empty, "./profile00.txt");
  EXPECT_EQ(read_file_bytes("profile00.txt"), "0 0\n0.000000 0.000000\n");

  // Row 0 first, all its columns; floats are widened before formatting.
  Profile p(3, 2, 0.04);
  const float heights[2][3] = {{0.1f, -0.0004f, -10.0f}, {1.5f, 0.0f, 123.4567f}};
  for (int r = 0; r < 2; ++r) std::copy(heights[r], heights[r] + 3, p.matrix.values[r]);
  save_profile(p.matrix, "./profile00.txt");
  EXPECT_EQ(read_file_bytes("profile00.txt"),
            "3 2\n0.040000 0.040000\n0.100000\n-0.000400\n-10.000000\n"
            "1.500000\n0.000000\n123.456703\n");

  // A profile narrower than one block: no heights at all.
  Profile narrow(0, 4, 0.04);
  save_profile(narrow.matrix, "./profile00.txt");
  EXPECT_EQ(read_file_bytes("profile00.txt"), "0 4\n0.040000 0.040000\n");
  EXPECT_EQ(entries_in(dir.path()), 1);
}

TEST(ProfileFile, FullSizeProfileAndRepeatedSaves) {
  TempDir dir;
  Profile p(320, 256, 4 * 0.01);
  for (int r = 0; r < 256; ++r) std::fill(p.matrix.values[r], p.matrix.values[r] + 320, -10.0f);
  // An older, longer file is replaced completely.
  write_file_bytes("profile01.txt", std::string(3'000'000, 'x'));
  save_profile(p.matrix, "profile01.txt");
  const std::string first = read_file_bytes("profile01.txt");
  EXPECT_EQ(first.rfind("320 256\n0.040000 0.040000\n-10.000000\n", 0), 0u);
  EXPECT_EQ(std::count(first.begin(), first.end(), '\n'), 2 + 320 * 256);
  EXPECT_EQ(first.size(), 8u + 18u + 11u * 320 * 256);
  save_profile(p.matrix, "profile01.txt");
  EXPECT_EQ(read_file_bytes("profile01.txt"), first);
}

// A file that cannot be written is skipped without a trace, and an earlier
// file is never left half written.
TEST(ProfileFile, UnwritableTargetsAreSkippedWhole) {
  TempDir dir;
  Profile p(2, 2, 0.04);
  for (int r = 0; r < 2; ++r) std::fill(p.matrix.values[r], p.matrix.values[r] + 2, 1.0f);

  save_profile(p.matrix, "missing/profile00.txt");
  save_profile(p.matrix, nullptr);
  save_profile(p.matrix, "");
  std::filesystem::create_directory("profile00.txt");
  save_profile(p.matrix, "profile00.txt");
  EXPECT_TRUE(std::filesystem::is_directory("profile00.txt"));
  EXPECT_EQ(entries_in(dir.path()), 1);  // no temporary file left behind

  if (geteuid() != 0) {  // root may write anywhere
    write_file_bytes("profile01.txt", "old");
    std::filesystem::permissions("profile01.txt", std::filesystem::perms::owner_read);
    save_profile(p.matrix, "profile01.txt");
    EXPECT_EQ(read_file_bytes("profile01.txt"), "old");
    EXPECT_EQ(entries_in(dir.path()), 2);
  }
}

// The file as plain printf calls would write it, against the one written:
// a full-size profile of sphere heights, no-data points, signed zeros, tiny
// negatives, decimal ties and their neighbours.
TEST(ProfileFile, FullSizeTextEqualsPlainPrintf) {
  TempDir dir;
  Profile p(320, 256, 4 * 0.01);
  std::mt19937 random(5);
  std::uniform_real_distribution<float> height(-0.05f, 0.05f);
  const float specials[] = {-10.0f, 0.0f, -0.0f, -1e-9f, 1e-9f, 0.0078125f, -0.0234375f,
                            std::nextafter(0.0078125f, 1.0f), std::nextafter(-0.0234375f, 0.0f),
                            3.4e38f, -3.4e38f, 1e13f};
  for (int r = 0; r < 256; ++r)
    for (int c = 0; c < 320; ++c) {
      const double x = (c - 160) * 0.04, y = (r - 128) * 0.04;
      const double r2 = x * x + y * y;
      p.matrix.values[r][c] = r2 < 3.3 * 3.3 ? static_cast<float>(std::sqrt(60.0 - r2) - 7.8) : -10.0f;
      if (random() % 7 == 0) p.matrix.values[r][c] = height(random);
      if (random() % 11 == 0) p.matrix.values[r][c] = specials[random() % std::size(specials)];
    }
  std::string expected = "320 256\n";
  char line[400];
  std::snprintf(line, sizeof line, "%lf %lf\n", p.matrix.xStep, p.matrix.yStep);
  expected += line;
  for (int r = 0; r < 256; ++r)
    for (int c = 0; c < 320; ++c) {
      std::snprintf(line, sizeof line, "%f\n", static_cast<double>(p.matrix.values[r][c]));
      expected += line;
    }
  save_profile(p.matrix, "profile00.txt");
  EXPECT_TRUE(read_file_bytes("profile00.txt") == expected);

  // Each height twice in a row, lines of 9 to 47 characters: whichever line
  // ends a block of the text, the next one repeats it (half the blocks end
  // between a pair).
  expected = "320 256\n";
  std::snprintf(line, sizeof line, "%lf %lf\n", p.matrix.xStep, p.matrix.yStep);
  expected += line;
  for (int r = 0; r < 256; ++r)
    for (int c = 0; c < 320; ++c) {
      const int pair = (r * 320 + c) / 2;
      p.matrix.values[r][c] = pair % 5 == 0 ? 1e30f * static_cast<float>(pair % 7 + 1) : static_cast<float>(pair) * -0.001f;
      std::snprintf(line, sizeof line, "%f\n", static_cast<double>(p.matrix.values[r][c]));
      expected += line;
    }
  save_profile(p.matrix, "profile00.txt");
  EXPECT_TRUE(read_file_bytes("profile00.txt") == expected);
}
