// Height fields in the tools' formats, read back byte by byte: header counts
// equal what was written, NaN (or nothing) where a cell has no data, values
// in the stated units and orientation.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/reference_sphere.h"
#include "formats/height_field.h"
#include "formats/height_field_files.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// 3 x 2 cells, 0.5 mm apart across, 0.25 mm down; the top right one without
// data.
HeightField small_field(std::string title = "test field") {
  HeightField field;
  field.cols = 3;
  field.rows = 2;
  field.step_x = 0.5;
  field.step_y = 0.25;
  field.heights = {0.001, -0.0025, kNaN, 1.5, 0.0, 2e-6};
  field.title = std::move(title);
  return field;
}

float le_float(const std::string& bytes, std::size_t offset) {
  uint32_t bits = 0;
  for (int i = 0; i < 4; ++i)
    bits |= static_cast<uint32_t>(static_cast<uint8_t>(bytes[offset + static_cast<std::size_t>(i)])) << (8 * i);
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

uint32_t le32(const std::string& bytes, std::size_t offset) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i)
    v |= static_cast<uint32_t>(static_cast<uint8_t>(bytes[offset + static_cast<std::size_t>(i)])) << (8 * i);
  return v;
}

TEST(GsfFile, HeaderThenPaddingThenMetresRowByRow) {
  const std::string bytes = gsf_bytes(small_field());
  const std::string header =
      "Gwyddion Simple Field 1.0\n"
      "XRes = 3\n"
      "YRes = 2\n"
      "XReal = 0.0015\n"
      "YReal = 5e-04\n"  // the shortest text that reads back as the same double
      "XYUnits = m\n"
      "ZUnits = m\n"
      "Title = test field\n";
  ASSERT_EQ(bytes.substr(0, header.size()), header);
  const std::size_t data = bytes.size() - 6 * 4;
  EXPECT_EQ(data % 4, 0u);
  EXPECT_EQ(bytes.substr(header.size(), data - header.size()), std::string(data - header.size(), '\0'));
  const float expected[] = {1e-6f, -2.5e-6f, 0.0f, 1.5e-3f, 0.0f, 2e-9f};
  for (std::size_t i = 0; i < 6; ++i) {
    if (i == 2) {
      EXPECT_TRUE(std::isnan(le_float(bytes, data + 4 * i))) << "no data is NaN";
    } else {
      EXPECT_EQ(le_float(bytes, data + 4 * i), expected[i]) << i;
    }
  }

  // One to four NUL bytes whatever the header's length.
  for (const std::string title : {"", "a", "ab", "abc", "abcd"}) {
    const std::string padded = gsf_bytes(small_field(title));
    const std::size_t text = padded.find("Title = " + title + "\n") + 9 + title.size();
    const std::size_t nuls = padded.size() - 24 - text;
    EXPECT_GE(nuls, 1u) << title;
    EXPECT_LE(nuls, 4u) << title;
    EXPECT_EQ((text + nuls) % 4, 0u) << title;
  }
}

TEST(TextFiles, CsvRowsAndXyzPointsInMillimetres) {
  EXPECT_EQ(csv_bytes(small_field()), "0.001,-0.0025,nan\n1.5,0,2e-06\n");
  // x from the centre column, y up from the centre between the two rows.
  EXPECT_EQ(xyz_bytes(small_field()),
            "-0.5 0.125 0.001\n"
            "0 0.125 -0.0025\n"
            "-0.5 -0.125 1.5\n"
            "0 -0.125 0\n"
            "0.5 -0.125 2e-06\n");
  // Values keep float precision, whatever the locale's decimal separator.
  HeightField fine = small_field();
  fine.heights[0] = 0.0123456789;
  EXPECT_EQ(csv_bytes(fine).substr(0, 11), "0.012345679");
}

// The header lines up to end_header, and the offset of the data.
struct PlyHeader {
  std::vector<std::string> lines;
  std::size_t data = 0;
};
PlyHeader ply_header(const std::string& bytes) {
  PlyHeader h;
  const std::size_t end = bytes.find("end_header\n");
  h.data = end + 11;
  std::istringstream in(bytes.substr(0, end));
  for (std::string line; std::getline(in, line);) h.lines.push_back(line);
  return h;
}

long element_count(const PlyHeader& h, const std::string& element) {
  for (const std::string& line : h.lines)
    if (line.rfind("element " + element + " ", 0) == 0) return std::stol(line.substr(9 + element.size()));
  return -1;
}

TEST(PlyFile, CountsInTheHeaderMatchTheVerticesAndTrianglesWritten) {
  struct Case {
    const char* name;
    std::vector<double> heights;  // 3 x 2, row 0 first
    long vertices;
    long faces;
  };
  const Case cases[] = {
      {"all six", {1, 2, 3, 4, 5, 6}, 6, 4},
      {"top right missing", {1, 2, kNaN, 4, 5, 6}, 5, 3},
      {"two missing in one block", {1, kNaN, 3, kNaN, 5, 6}, 4, 1},
      {"none", {kNaN, kNaN, kNaN, kNaN, kNaN, kNaN}, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HeightField field = small_field();
    field.heights = c.heights;
    const std::string bytes = ply_bytes(field);
    const PlyHeader h = ply_header(bytes);
    ASSERT_GE(h.lines.size(), 2u);
    EXPECT_EQ(h.lines[0], "ply");
    EXPECT_EQ(h.lines[1], "format binary_little_endian 1.0");
    EXPECT_EQ(element_count(h, "vertex"), c.vertices);
    EXPECT_EQ(element_count(h, "face"), c.faces);
    ASSERT_EQ(bytes.size(), h.data + static_cast<std::size_t>(c.vertices) * 12 +
                                static_cast<std::size_t>(c.faces) * 13);

    // Vertices: cells with data, row 0 first; faces: indices below the vertex
    // count, turning anticlockwise seen from above.
    std::vector<std::array<float, 3>> vertex;
    for (long v = 0; v < c.vertices; ++v) {
      const std::size_t at = h.data + static_cast<std::size_t>(v) * 12;
      vertex.push_back({le_float(bytes, at), le_float(bytes, at + 4), le_float(bytes, at + 8)});
      EXPECT_FALSE(std::isnan(vertex.back()[2]));
    }
    for (long f = 0; f < c.faces; ++f) {
      const std::size_t at = h.data + static_cast<std::size_t>(c.vertices) * 12 + static_cast<std::size_t>(f) * 13;
      ASSERT_EQ(bytes[at], 3);
      uint32_t i[3];
      for (int k = 0; k < 3; ++k) {
        i[k] = le32(bytes, at + 1 + 4 * static_cast<std::size_t>(k));
        ASSERT_LT(i[k], static_cast<uint32_t>(c.vertices));
      }
      const auto& a = vertex[i[0]];
      const auto& b = vertex[i[1]];
      const auto& d = vertex[i[2]];
      const float cross = (b[0] - a[0]) * (d[1] - a[1]) - (b[1] - a[1]) * (d[0] - a[0]);
      EXPECT_GT(cross, 0.0f) << "face " << f;
    }
  }
  // The first vertex of the full field: the top left cell, up and to the left.
  HeightField field = small_field();
  field.heights[2] = 3.0;
  const std::string bytes = ply_bytes(field);
  const std::size_t data = ply_header(bytes).data;
  EXPECT_EQ(le_float(bytes, data), -0.5f);
  EXPECT_EQ(le_float(bytes, data + 4), 0.125f);
  EXPECT_EQ(le_float(bytes, data + 8), 0.001f);
}

TEST(HeightFields, NoDataOutsideTheMaskBelowTheDepthLimitAndWhereHeightsAreMissing) {
  // Residual: 256 x 256 over 10.24 mm, mask radius 3.3 mm round the centre.
  HeightMatrix residual(kMapSide, kMapSide, 0.002);
  HeightMatrix measured(kMapSide, kMapSide, -1.0);
  measured(128, 100) = kNoHeight;
  const HeightField field = residual_field(residual, measured, 10.24, 10.24, 3.3, "residual\nmap");
  EXPECT_EQ(field.cols, 256);
  EXPECT_EQ(field.rows, 256);
  EXPECT_DOUBLE_EQ(field.step_x, 0.04);
  EXPECT_EQ(field.title, "residual map");
  int with_data = 0;
  for (int y = 0; y < 256; ++y) {
    for (int x = 0; x < 256; ++x) {
      const bool inside = in_evaluation_mask(10.24, 5.12, 5.12, 3.3, x, y) && !(x == 128 && y == 100);
      ASSERT_EQ(field.has_data(x, y), inside) << x << ", " << y;
      if (inside) {
        ++with_data;
        ASSERT_EQ(field.at(x, y), 0.002);
      }
    }
  }
  EXPECT_GT(with_data, 20000);

  // Profile: the engine's grid, heights at its depth limit (as a float)
  // without data.
  HeightMatrix grid(5, 2, 0.25);
  grid(0, 0) = static_cast<float>(-10.0);
  grid(1, 0) = -9.999999;
  grid(2, 1) = kNaN;
  const HeightField profile = profile_field(grid, 0.04, 0.05, -10.0, "profile");
  EXPECT_EQ(profile.cols, 5);
  EXPECT_EQ(profile.rows, 2);
  EXPECT_FALSE(profile.has_data(0, 0));
  EXPECT_TRUE(profile.has_data(1, 0));
  EXPECT_FALSE(profile.has_data(2, 1));
  EXPECT_EQ(profile.at(4, 1), 0.25);
  // A limit beyond the float range compares as it is.
  EXPECT_FALSE(profile_field(grid, 0.04, 0.05, 1e300, "").has_data(4, 1));
}

TEST(HeightFields, AHeightCountOtherThanColumnsTimesRowsIsNamed) {
  struct Case {
    int cols, rows;
    std::size_t heights;
    const char* expected;
  };
  const Case cases[] = {
      {3, 2, 6, ""},
      {0, 0, 0, ""},
      {3, 2, 5, "a height field of 3 x 2 cells holds 5 heights"},
      {3, 2, 7, "a height field of 3 x 2 cells holds 7 heights"},
      {256, 256, 0, "a height field of 256 x 256 cells holds 0 heights"},
      // Negative sides whose product is the count still describe no grid.
      {-2, -3, 6, "a height field of -2 x -3 cells holds 6 heights"},
  };
  for (const Case& c : cases) {
    HeightField field;
    field.cols = c.cols;
    field.rows = c.rows;
    field.heights.assign(c.heights, 0.0);
    EXPECT_EQ(height_field_size_mismatch(field), c.expected) << c.cols << " x " << c.rows << ", " << c.heights;
  }
  EXPECT_EQ(height_field_size_mismatch(profile_field(HeightMatrix(5, 2, 0.0), 0.04, 0.05, -10.0, "")), "");
}

}  // namespace
