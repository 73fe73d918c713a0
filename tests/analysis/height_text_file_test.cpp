#include "analysis/height_text_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "analysis/reference_sphere.h"
#include "common/errors.h"
#include "temp_dir.h"

namespace {

// A profile file as the scan module writes it: no blank before the line end.
std::string profile_text(int nx, int ny, const std::function<double(int, int)>& height,
                         const char* line_end = "\n") {
  std::string text = std::to_string(nx) + " " + std::to_string(ny) + line_end;
  text += std::string("0.040000 0.040000") + line_end;
  char buffer[64];
  for (int y = 0; y < ny; ++y) {
    for (int x = 0; x < nx; ++x) {
      std::snprintf(buffer, sizeof buffer, "%f", height(x, y));
      text += buffer;
      text += line_end;
    }
  }
  return text;
}

// Reads into a map of 7.0 so that untouched cells stand out.
HeightMatrix read_into_fresh_map(const std::string& file, ProfileGrid* grid = nullptr) {
  HeightMatrix map(kMapSide, kMapSide, 7.0);
  const ProfileGrid result = read_profile(file, map, kMapSide, kMapSide);
  if (grid != nullptr) *grid = result;
  return map;
}

TEST(WriteHeights, ExactBytesOfASmallGridAndTheHeaderOfAWholeMap) {
  TempDir dir;
  HeightMatrix map;
  map(0, 0) = 0.1;
  map(1, 0) = -10.0;
  map(0, 1) = -0.0004;
  map(1, 1) = 1.0 / 128.0;  // 0.0078125: the tie goes to the even digit
  map(0, 2) = 123.4567891;
  write_heights("small.txt", map, 2, 3, 0.04, 0.0125);
  EXPECT_EQ(read_file_bytes("small.txt"),
            "2 3 \n0.040000 0.012500 \n"
            "0.100000 \n-10.000000 \n"    // row 0
            "-0.000400 \n0.007812 \n"     // row 1
            "123.456789 \n0.000000 \n");  // row 2

  // Heights of hundreds of digits outgrow the room the text starts with.
  HeightMatrix huge(4, 1, 1e300);
  huge(2, 0) = -1e308;
  write_heights("huge.txt", huge, 4, 1, 0.04, 0.04);
  char expected[2000];
  std::snprintf(expected, sizeof expected, "4 1 \n0.040000 0.040000 \n%f \n%f \n%f \n%f \n", 1e300, 1e300, -1e308,
                1e300);
  EXPECT_EQ(read_file_bytes("huge.txt"), expected);

  write_heights("perfect_sphere00.txt", map, 256, 256, 0.04, 0.04);
  const std::string whole = read_file_bytes("perfect_sphere00.txt");
  EXPECT_EQ(whole.substr(0, 29), "256 256 \n0.040000 0.040000 \n0");
  std::size_t lines = 0;
  for (char c : whole) lines += c == '\n';
  EXPECT_EQ(lines, 65538u);
}

// Heights that come back (a pool of few, a centred sphere) are written as
// printf writes each of them: the same bits give the same line, other bits
// (-0 and 0, the two NaNs) their own, lines at and beyond sixteen bytes too.
TEST(WriteHeights, RepeatedHeightsAreWrittenAsPrintfWritesEach) {
  TempDir dir;
  const double pool[] = {0.0,     -0.0,        NAN,  -NAN, 1e300,           -1234567.123456, -123456.123456,
                         -999.0,  1.0 / 128.0, 0.04, 0.04 + 1e-17, -7.4999995, 1e-7,          4.5e-7};
  std::mt19937 random(3);
  HeightMatrix pooled;
  for (int x = 0; x < kMapSide; ++x)
    for (int y = 0; y < kMapSide; ++y) pooled(x, y) = pool[random() % std::size(pool)];
  HeightMatrix sphere;
  perfect_sphere(7.8, 10.24, kMapSide, 0.0, 0.0, 0.25, sphere);
  for (const HeightMatrix* map : {&pooled, &sphere}) {
    write_heights("heights.txt", *map, kMapSide, kMapSide - 3, 0.04, 0.04);
    std::string expected = "256 253 \n0.040000 0.040000 \n";
    char line[400];
    for (int y = 0; y < kMapSide - 3; ++y)
      for (int x = 0; x < kMapSide; ++x) {
        std::snprintf(line, sizeof line, "%f \n", (*map)(x, y));
        expected += line;
      }
    ASSERT_EQ(read_file_bytes("heights.txt"), expected);
  }
}

TEST(WriteHeights, UnwritableFileOrCountsBeyondTheMap) {
  TempDir dir;
  HeightMatrix map;
  try {
    write_heights("./missing/perfect_sphere00.txt", map, 256, 256, 0.04, 0.04);
    ADD_FAILURE() << "no error";
  } catch (const FileError& error) {
    EXPECT_STREQ(error.what(), "Cannot create file \"./missing/perfect_sphere00.txt\"");
  }
  EXPECT_THROW(write_heights("a.txt", map, 257, 256, 0.04, 0.04), std::invalid_argument);
  EXPECT_THROW(write_heights("a.txt", map, 256, -1, 0.04, 0.04), std::invalid_argument);
}

TEST(ReadProfile, RoundTripOfAWholeMapToSixDecimals) {
  TempDir dir;
  HeightMatrix map;
  for (int x = 0; x < kMapSide; ++x) {
    for (int y = 0; y < kMapSide; ++y) map(x, y) = (x - 128) * 0.00123 - y * 0.000457 + 0.0000004;
  }
  map(10, 20) = kNoHeight;
  write_heights("heights.txt", map, 256, 256, 0.04, 0.035);
  ProfileGrid grid;
  const HeightMatrix back = read_into_fresh_map("heights.txt", &grid);
  EXPECT_EQ(grid.step_x, static_cast<double>(0.04f));
  EXPECT_EQ(grid.step_y, static_cast<double>(0.035f));
  EXPECT_EQ(grid.side_x, 256);
  EXPECT_EQ(grid.side_y, 256);
  for (int x = 0; x < kMapSide; ++x) {
    for (int y = 0; y < kMapSide; ++y) {
      ASSERT_NEAR(back(x, y), map(x, y), 6e-7) << x << ", " << y;
    }
  }
  EXPECT_EQ(back(10, 20), kNoHeight);
  // Heights pass through a 32-bit float: 0.1 reads as the float nearest it.
  map(0, 0) = 0.1;
  write_heights("heights.txt", map, 256, 256, 0.04, 0.04);
  EXPECT_EQ(read_into_fresh_map("heights.txt")(0, 0), static_cast<double>(0.1f));
}

// A result smaller than the target fills its corner of the target alone,
// with the heights a target of the result's size gets.
TEST(ReadProfile, ASmallerResultFillsOnlyItsCornerOfTheTarget) {
  TempDir dir;
  write_file_bytes("p.txt", profile_text(13, 10, [](int x, int y) { return x * 0.5 - y * y * 0.125; }));
  HeightMatrix exact(100, 80, 5.0), larger(kMapSide, kMapSide, 7.0);
  read_profile("p.txt", exact, 100, 80);
  read_profile("p.txt", larger, 100, 80);
  int wrong = 0;
  for (int x = 0; x < kMapSide; ++x)
    for (int y = 0; y < kMapSide; ++y) wrong += larger(x, y) != (x < 100 && y < 80 ? exact(x, y) : 7.0);
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(exact(99, 79), 11 * 0.5 - 81 * 0.125);  // columns 2 .. 11 form the square
}

TEST(ReadProfile, WideProfilesLoseTheirOuterColumnsAndInterpolateWithCornersAligned) {
  TempDir dir;
  const auto height = [](int x, int y) { return x * 0.25 + y * 2.0; };
  // nx = ny + 1: offset round(0.5) = 0, the last column is dropped.
  write_file_bytes("p1.txt", profile_text(11, 10, height));
  ProfileGrid grid;
  HeightMatrix map = read_into_fresh_map("p1.txt", &grid);
  EXPECT_EQ(grid.side_x, 10);
  EXPECT_EQ(grid.side_y, 10);
  EXPECT_EQ(map(0, 0), height(0, 0));
  EXPECT_EQ(map(255, 255), height(9, 9));
  EXPECT_EQ(map(255, 0), height(9, 0));
  // nx = ny + 3: offset round(1.5) = 2, columns 2..11 form the square; the
  // heights are linear, so the interpolation is too.
  write_file_bytes("p3.txt", profile_text(13, 10, height, "\r\n"));
  map = read_into_fresh_map("p3.txt");
  EXPECT_EQ(map(0, 0), height(2, 0));
  EXPECT_EQ(map(255, 255), height(11, 9));
  for (int i : {1, 85, 128, 200}) {
    for (int j : {3, 100, 254}) {
      const double fx = static_cast<double>(i) / 255 * 9;
      const double fy = static_cast<double>(j) / 255 * 9;
      EXPECT_NEAR(map(i, j), (fx + 2) * 0.25 + fy * 2.0, 1e-12) << i << ", " << j;
    }
  }
  // One value covers the whole map.
  write_file_bytes("one.txt", "1 1\n0.010000 0.010000\n-0.002500\n");
  map = read_into_fresh_map("one.txt", &grid);
  EXPECT_EQ(grid.side_x, 1);
  for (int x = 0; x < kMapSide; ++x) {
    for (int y = 0; y < kMapSide; ++y) ASSERT_EQ(map(x, y), static_cast<double>(-0.0025f));
  }
}

TEST(ReadProfile, HighProfilesTakeTheNearestCellAndLeaveTheLastColumnAndRowAtZero) {
  TempDir dir;
  // 100 columns, 120 rows: rows 10..109 form the square.
  const auto cell = [](int x, int y) { return x + 1000.0 * y; };
  write_file_bytes("high.txt", profile_text(100, 120, cell));
  ProfileGrid grid;
  const HeightMatrix map = read_into_fresh_map("high.txt", &grid);
  EXPECT_EQ(grid.side_x, 100);
  EXPECT_EQ(grid.side_y, 100);
  EXPECT_EQ(map(0, 0), cell(0, 10));
  EXPECT_EQ(map(128, 128), cell(50, 60));
  EXPECT_EQ(map(3, 5), cell(1, 12));   // 1.17 -> 1, 1.95 -> 2
  EXPECT_EQ(map(32, 96), cell(12, 48));  // 12.5 -> 12 and 37.5 -> 38: halves to even
  EXPECT_EQ(map(254, 254), cell(99, 109));
  for (int k = 0; k < kMapSide; ++k) {
    ASSERT_EQ(map(255, k), 0.0) << k;  // round(255 / 256 * 100) = 100 is outside
    ASSERT_EQ(map(k, 255), 0.0) << k;
  }
}

TEST(ReadProfile, MissingShortOrMalformedFilesAreFileErrorsAndTheMapStays) {
  TempDir dir;
  HeightMatrix map(kMapSide, kMapSide, 7.0);
  const HeightMatrix before = map;
  try {
    read_profile("./profile00.txt", map, 256, 256);
    ADD_FAILURE() << "no error";
  } catch (const FileError& error) {
    EXPECT_STREQ(error.what(), "Cannot open file \"./profile00.txt\"");
  }
  // A 4 x 3 profile with eleven heights, then with a twelfth that is bad.
  const std::string eleven = "4 3\n0.040000 0.040000\n1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n11\n";
  write_file_bytes("short.txt", eleven);
  try {
    read_profile("short.txt", map, 256, 256);
    ADD_FAILURE() << "no error";
  } catch (const FileError& error) {
    EXPECT_STREQ(error.what(), "Cannot read file \"short.txt\": only 11 of 12 heights");
  }
  const std::string bad_files[] = {
      "",                                       // empty
      "0 0\n0.000000 0.000000\n",               // a save without a profile
      "-4 3\n0.040000 0.040000\n1\n",           // negative count
      "1000000000 1000000000\n0.04 0.04\n1\n",  // absurd count
      "300 300\n0.04 0.04\n1\n2\n3\n",          // more than the file can hold
      "4.5 3\n0.04 0.04\n1\n",                   // not an integer
      eleven + "lost\n",                        // not a number
      eleven + "1e50\n",                        // beyond a float
      eleven + "12\x01" "5\n",                   // a control character inside a word
  };
  for (const std::string& text : bad_files) {
    write_file_bytes("bad.txt", text);
    EXPECT_THROW(read_profile("bad.txt", map, 256, 256), FileError) << text;
  }
  std::filesystem::create_directory("folder");
  EXPECT_THROW(read_profile("folder", map, 256, 256), FileError);
  EXPECT_THROW(read_profile("folder", map, 257, 256), std::invalid_argument);
  EXPECT_TRUE(map == before);

  // The same counts with all twelve heights read fine; extra text is ignored.
  write_file_bytes("ok.txt", eleven + "+12\nmore\n");
  EXPECT_EQ(read_profile("ok.txt", map, 256, 256).side_x, 3);
  EXPECT_EQ(map(255, 255), 11.0);  // square column 2, row 2 of the 4 x 3 profile
  // Copies of the last height beyond the counts are left unread too.
  std::string copies = "2 2\n0.04 0.04\n";
  for (int k = 0; k < 40; ++k) copies += "5.000000\n";
  write_file_bytes("copies.txt", copies);
  EXPECT_TRUE(read_profile_grid("copies.txt").heights == HeightMatrix(2, 2, 5.0));
}

// Heights in several spellings between several kinds of white space, so that
// words run across the ends of the reader's 64 KiB blocks at many offsets:
// every height reads as strtof reads its word. (A 256 x 256 profile maps onto
// the 256 x 256 map cell for cell.)
TEST(ReadProfile, WordsAcrossBlockEndsReadAsStrtofReadsThem) {
  TempDir dir;
  std::mt19937 random(3);
  std::uniform_real_distribution<float> height(-12.0f, 12.0f);
  const char* const formats[] = {"%f", "%.9g", "%+f", "%e", "%.3f", "%.20f"};
  const char* const gaps[] = {"\n", " ", "\t", "\r\n", "  \n\t", "\v\f"};
  std::string text = "256 256\n0.040000 0.040000\n";
  std::vector<double> expected;
  char word[128];
  for (int k = 0; k < 256 * 256; ++k) {
    std::snprintf(word, sizeof word, formats[random() % std::size(formats)], static_cast<double>(height(random)));
    text += word;
    text += gaps[random() % std::size(gaps)];
    expected.push_back(static_cast<double>(std::strtof(word, nullptr)));
  }
  write_file_bytes("words.txt", text);
  const HeightMatrix back = read_into_fresh_map("words.txt");
  int wrong = 0;
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 256; ++x)
      if (back(x, y) != expected[static_cast<std::size_t>(y) * 256 + x] && wrong++ < 5)
        ADD_FAILURE() << x << ", " << y << ": " << back(x, y);
  EXPECT_EQ(wrong, 0);

  // Words next to the midpoints between floats, where a decimal read first
  // to double and then to float could round twice: still as strtof reads them.
  std::string near_midpoints = "256 256\n0.040000 0.040000\n";
  expected.clear();
  std::uniform_real_distribution<float> small(-0.06f, 0.06f);
  for (int k = 0; k < 256 * 256; ++k) {
    const float f = k % 2 == 0 ? small(random) : height(random);
    const double midpoint = (static_cast<double>(f) + std::nextafter(f, 1e9f)) / 2;
    std::snprintf(word, sizeof word, k % 3 == 0 ? "%.6f" : k % 3 == 1 ? "%.9f" : "%.12f", midpoint);
    near_midpoints += word;
    near_midpoints += '\n';
    expected.push_back(static_cast<double>(std::strtof(word, nullptr)));
  }
  write_file_bytes("midpoints.txt", near_midpoints);
  const HeightMatrix midpoints = read_into_fresh_map("midpoints.txt");
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 256; ++x)
      if (midpoints(x, y) != expected[static_cast<std::size_t>(y) * 256 + x] && wrong++ < 5)
        ADD_FAILURE() << "midpoint " << x << ", " << y << ": " << midpoints(x, y);
  EXPECT_EQ(wrong, 0);

  // A word beyond 64 characters is cut there and makes the file unreadable,
  // also when it runs across the end of a block.
  std::string overlong = "2 1\n0.04 0.04\n1\n";
  overlong.append(65536 - 40 - overlong.size(), ' ');
  overlong += "0." + std::string(98, '0') + "1\n";
  write_file_bytes("overlong.txt", overlong);
  HeightMatrix map(kMapSide, kMapSide, 7.0);
  try {
    read_profile("overlong.txt", map, 256, 256);
    ADD_FAILURE() << "no error";
  } catch (const FileError& error) {
    EXPECT_STREQ(error.what(), "Cannot read file \"overlong.txt\": read error");
  }
}

// Runs of equal words, as a profile has outside its mask, read once and then
// taken over: words that share a beginning with the one before, differ only in
// the blank after them or lie at a block's end must each still read as strtof
// reads them.
// Runs of repeated words, short ones and long ones that go on across rows,
// the reader's blocks and the groups of rows the grid is filled in.
TEST(ReadProfile, RepeatedWordsReadAsStrtofReadsThem) {
  TempDir dir;
  const char* const spellings[] = {
      "-10.000000", "-10.0000001", "-10.00000", "10.000000", "1.5",  "1.50",    "1.5e0",
      "-0.000000",  "0.000000",    "+1.5",      "nan",       "-inf", "123456789.123456",
      "0.000000029802322387695312",  // halfway between two floats
      "7.1234567", "7.12345"};
  const char* const gaps[] = {"\n", " ", "\t", "\r\n", "\n\n"};
  for (const unsigned run : {8u, 700u}) {
    std::mt19937 random(11);
    std::string text = "256 256\n0.040000 0.040000\n";
    std::vector<float> expected;
    const char* word = spellings[0];
    for (int k = 0; k < 256 * 256; ++k) {
      if (random() % run == 0) word = spellings[random() % std::size(spellings)];  // runs of about `run`
      text += word;
      text += gaps[random() % (2 * run) == 0 ? random() % std::size(gaps) : 0];
      expected.push_back(std::strtof(word, nullptr));
    }
    write_file_bytes("repeats.txt", text);
    const HeightMatrix back = read_profile_grid("repeats.txt").heights;
    int wrong = 0;
    for (int y = 0; y < 256; ++y)
      for (int x = 0; x < 256; ++x) {
        const double want = static_cast<double>(expected[static_cast<std::size_t>(y) * 256 + x]);
        const double got = back(x, y);
        const bool same = std::isnan(want) ? std::isnan(got) : got == want && std::signbit(got) == std::signbit(want);
        if (!same && wrong++ < 5) ADD_FAILURE() << x << ", " << y << ": " << got << " for " << want << " (runs " << run << ")";
      }
    EXPECT_EQ(wrong, 0) << "runs of about " << run;
  }
}

// Grids of several shapes read each word as strtof does, bit for bit: runs of
// distinct six-decimal heights broken by repeats, other forms, halfway words,
// long words and runs of blanks.
TEST(ReadProfile, EveryWordReadsAsStrtof) {
  TempDir dir;
  const char* const odd_words[] = {
      "16777217.000000", "-16777219.000000",  // halfway between two floats
      "99999999.999999", "-9999999.999999", "123456789.000000", "-0.000000", "1.5", "1.5000000",
      "+1.000000", "2.500000e1", "nan", "-inf", "00000000.000001", "0.000000000000000000000000000000000000000000001"};
  const char* const gaps[] = {"\n", " ", "\t", "\r\n", "   \n\n", "\v\f"};
  for (const auto& [nx, ny] : {std::pair{320, 256}, std::pair{13, 11}, std::pair{1, 1}, std::pair{9, 17},
                               std::pair{8, 8}, std::pair{250, 7}}) {
    std::mt19937 random(static_cast<unsigned>(nx * 1000 + ny));
    std::string text = std::to_string(nx) + " " + std::to_string(ny) + "\n0.040000 0.040000\n";
    std::vector<std::string> words;
    char word[64];
    for (int k = 0; k < nx * ny; ++k) {
      const unsigned kind = random() % 64;
      if (kind == 0) {
        words.emplace_back(odd_words[random() % std::size(odd_words)]);
      } else if (kind < 8 && k > 0) {
        words.push_back(words.back());
      } else {  // six decimals after 1 to 8 digits, either sign
        std::snprintf(word, sizeof word, "%f", std::pow(10.0, random() % 8) * (static_cast<double>(random()) / 2e9 - 1));
        words.emplace_back(word);
      }
      text += words.back() + gaps[random() % 8 == 0 ? random() % std::size(gaps) : 0];
    }
    write_file_bytes("words.txt", text);
    const HeightMatrix back = read_profile_grid("words.txt").heights;
    int wrong = 0;
    for (int k = 0; k < nx * ny; ++k) {
      const float want = std::strtof(words[static_cast<std::size_t>(k)].c_str(), nullptr);
      const auto got = static_cast<float>(back(k % nx, k / nx));
      wrong += std::isnan(want) ? !std::isnan(got) : std::memcmp(&want, &got, sizeof got) != 0;
    }
    EXPECT_EQ(wrong, 0) << nx << " x " << ny;
  }
}

}  // namespace
