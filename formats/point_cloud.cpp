#include "formats/point_cloud.h"

#include <bit>
#include <cctype>
#include <cstdint>
#include <cstring>

#include "common/round_trip_number.h"

std::optional<PointFormat> point_format_of(std::string_view file) {
  const std::size_t dot = file.rfind('.');
  if (dot == std::string_view::npos) return std::nullopt;
  std::string extension;
  for (const char c : file.substr(dot + 1)) extension += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (extension == "xyz") return PointFormat::xyz;
  if (extension == "ply") return PointFormat::ply;
  return std::nullopt;
}

std::string xyz_points_bytes(const std::vector<Vec3>& points) {
  std::string text;
  text.reserve(points.size() * 60);
  for (const Vec3& p : points) {
    text += round_trip_text(p.x);
    text += ' ';
    text += round_trip_text(p.y);
    text += ' ';
    text += round_trip_text(p.z);
    text += '\n';
  }
  return text;
}

namespace {

void append_little_endian(std::string& bytes, double value) {
  uint64_t bits = std::bit_cast<uint64_t>(value);
  for (int k = 0; k < 8; ++k, bits >>= 8) bytes += static_cast<char>(bits & 0xFF);
}

}  // namespace

std::string ply_points_bytes(const std::vector<Vec3>& points) {
  std::string bytes = "ply\nformat binary_little_endian 1.0\ncomment x, y and z in mm\n";
  bytes += "element vertex " + std::to_string(points.size()) + "\n";
  bytes += "property double x\nproperty double y\nproperty double z\nend_header\n";
  bytes.reserve(bytes.size() + points.size() * 24);
  for (const Vec3& p : points) {
    append_little_endian(bytes, p.x);
    append_little_endian(bytes, p.y);
    append_little_endian(bytes, p.z);
  }
  return bytes;
}
