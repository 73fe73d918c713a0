// Measured points in space in the formats point tools read: what a channel
// measured pixel by pixel (runs/measurement.h, Measurement::points), in mm,
// x to the right and y up as the maps show the surface, z the height along
// the camera axis. Each function gives the whole file's bytes; the caller
// writes them whole (common/replace_file.h).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "optics/vec3.h"

enum class PointFormat { xyz, ply };

// The format a file name's extension names (".xyz", ".ply", any case);
// nothing for another.
std::optional<PointFormat> point_format_of(std::string_view file);

// One line "x y z" per point, "\n" line ends, each number the shortest text
// that reads back as the same double (no locale).
std::string xyz_points_bytes(const std::vector<Vec3>& points);

// Binary little-endian PLY of the points alone (no faces: the points need
// not lie on a grid), each vertex three 64-bit doubles x, y, z.
std::string ply_points_bytes(const std::vector<Vec3>& points);
