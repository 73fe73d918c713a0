#include "formats/height_field_files.h"

#include <array>
#include <cmath>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

namespace {

constexpr double kMetresPerMm = 1e-3;

// A header number: the shortest text that reads back as the same double.
std::string number(double value) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

void append_le32(std::string& bytes, uint32_t value) {
  const char b[4] = {static_cast<char>(value), static_cast<char>(value >> 8),
                     static_cast<char>(value >> 16), static_cast<char>(value >> 24)};
  bytes.append(b, 4);
}

void append_le_float(std::string& bytes, float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  append_le32(bytes, bits);
}

// Heights stored as 32-bit floats: out of float range they become
// infinities, as any float writer would make them; no data stays NaN.
float as_float(double value) {
  constexpr double kMax = std::numeric_limits<float>::max();
  if (std::isnan(value)) return std::numeric_limits<float>::quiet_NaN();
  if (value > kMax) return std::numeric_limits<float>::infinity();
  if (value < -kMax) return -std::numeric_limits<float>::infinity();
  return static_cast<float>(value);
}

// The shortest text that reads back as the same float; "nan" for no data.
void append_float(std::string& text, double value) {
  if (std::isnan(value)) {
    text += "nan";
    return;
  }
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, as_float(value));
  text.append(buffer, result.ptr);
}

}  // namespace

std::optional<HeightFormat> height_format_named(std::string_view name) {
  static constexpr std::array<std::pair<std::string_view, HeightFormat>, 5> kNames = {{
      {"gsf", HeightFormat::gsf},
      {"csv", HeightFormat::csv},
      {"xyz", HeightFormat::xyz},
      {"ply", HeightFormat::ply},
      {"png", HeightFormat::png},
  }};
  for (const auto& [text, format] : kNames)
    if (text == name) return format;
  return std::nullopt;
}

const char* height_format_extension(HeightFormat format) {
  switch (format) {
    case HeightFormat::gsf:
      return ".gsf";
    case HeightFormat::csv:
      return ".csv";
    case HeightFormat::xyz:
      return ".xyz";
    case HeightFormat::ply:
      return ".ply";
    case HeightFormat::png:
      break;
  }
  return ".png";
}

std::string gsf_bytes(const HeightField& field) {
  std::string bytes = "Gwyddion Simple Field 1.0\n";
  bytes += "XRes = " + std::to_string(field.cols) + "\n";
  bytes += "YRes = " + std::to_string(field.rows) + "\n";
  bytes += "XReal = " + number(field.cols * field.step_x * kMetresPerMm) + "\n";
  bytes += "YReal = " + number(field.rows * field.step_y * kMetresPerMm) + "\n";
  bytes += "XYUnits = m\n";
  bytes += "ZUnits = m\n";
  bytes += "Title = " + field.title + "\n";
  bytes.append(4 - bytes.size() % 4, '\0');
  bytes.reserve(bytes.size() + field.heights.size() * 4);
  for (const double z : field.heights) append_le_float(bytes, as_float(z * kMetresPerMm));
  return bytes;
}

std::string csv_bytes(const HeightField& field) {
  std::string text;
  text.reserve(field.heights.size() * 12);
  for (int row = 0; row < field.rows; ++row) {
    for (int col = 0; col < field.cols; ++col) {
      if (col > 0) text += ',';
      append_float(text, field.at(col, row));
    }
    text += '\n';
  }
  return text;
}

std::string xyz_bytes(const HeightField& field) {
  // The coordinates repeat along rows and columns: their texts are made once.
  std::vector<std::string> xs(static_cast<std::size_t>(field.cols));
  for (int col = 0; col < field.cols; ++col) append_float(xs[static_cast<std::size_t>(col)], field.x_of(col));
  std::string text;
  text.reserve(field.heights.size() * 30);
  for (int row = 0; row < field.rows; ++row) {
    std::string y;
    append_float(y, field.y_of(row));
    for (int col = 0; col < field.cols; ++col) {
      if (!field.has_data(col, row)) continue;
      text += xs[static_cast<std::size_t>(col)];
      text += ' ';
      text += y;
      text += ' ';
      append_float(text, field.at(col, row));
      for (const HeightField::Channel& channel : field.channels) {
        text += ' ';
        append_float(text, channel.values[static_cast<std::size_t>(row) * static_cast<std::size_t>(field.cols) +
                                          static_cast<std::size_t>(col)]);
      }
      text += '\n';
    }
  }
  return text;
}

std::string ply_bytes(const HeightField& field) {
  // Vertex index of each cell with data, -1 elsewhere.
  std::vector<int32_t> index(field.heights.size(), -1);
  int32_t vertices = 0;
  for (std::size_t i = 0; i < field.heights.size(); ++i)
    if (!std::isnan(field.heights[i])) index[i] = vertices++;

  // Corners of each 2 x 2 block in anticlockwise order seen from above (y
  // up): bottom left, bottom right, top right, top left.
  std::vector<std::array<int32_t, 3>> faces;
  const auto at = [&](int col, int row) {
    return index[static_cast<std::size_t>(row) * static_cast<std::size_t>(field.cols) +
                 static_cast<std::size_t>(col)];
  };
  for (int row = 0; row + 1 < field.rows; ++row) {
    for (int col = 0; col + 1 < field.cols; ++col) {
      const std::array<int32_t, 4> corner = {at(col, row + 1), at(col + 1, row + 1), at(col + 1, row),
                                             at(col, row)};
      int missing = -1;
      int count = 0;
      for (int k = 0; k < 4; ++k) {
        if (corner[static_cast<std::size_t>(k)] >= 0) ++count;
        else missing = k;
      }
      if (count == 4) {
        faces.push_back({corner[0], corner[1], corner[2]});
        faces.push_back({corner[0], corner[2], corner[3]});
      } else if (count == 3) {
        std::array<int32_t, 3> face{};
        for (int k = 1, n = 0; k < 4; ++k)  // the three others, in cyclic order
          face[static_cast<std::size_t>(n++)] = corner[static_cast<std::size_t>((missing + k) % 4)];
        faces.push_back(face);
      }
    }
  }

  std::string bytes = "ply\nformat binary_little_endian 1.0\n";
  if (!field.title.empty()) bytes += "comment " + field.title + "\n";
  bytes += "comment x, y and z in mm\n";
  bytes += "element vertex " + std::to_string(vertices) + "\n";
  bytes += "property float x\nproperty float y\nproperty float z\n";
  for (const HeightField::Channel& channel : field.channels) bytes += "property float " + channel.name + "\n";
  bytes += "element face " + std::to_string(faces.size()) + "\n";
  bytes += "property list uchar int vertex_indices\nend_header\n";
  bytes.reserve(bytes.size() + static_cast<std::size_t>(vertices) * 12 + faces.size() * 13);
  for (int row = 0; row < field.rows; ++row) {
    const float y = static_cast<float>(field.y_of(row));
    for (int col = 0; col < field.cols; ++col) {
      if (!field.has_data(col, row)) continue;
      append_le_float(bytes, static_cast<float>(field.x_of(col)));
      append_le_float(bytes, y);
      append_le_float(bytes, as_float(field.at(col, row)));
      for (const HeightField::Channel& channel : field.channels)
        append_le_float(bytes, as_float(channel.values[static_cast<std::size_t>(row) *
                                                           static_cast<std::size_t>(field.cols) +
                                                       static_cast<std::size_t>(col)]));
    }
  }
  for (const auto& face : faces) {
    bytes += static_cast<char>(3);
    for (const int32_t v : face) append_le32(bytes, static_cast<uint32_t>(v));
  }
  return bytes;
}
