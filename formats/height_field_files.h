// Height fields in the file formats of the field's tools. Each function gives
// the whole file's bytes; the caller writes them whole (common/replace_file.h).
// Numbers are written without the locale (the point as decimal separator).
// Heights are carried at 32-bit float precision: text values are the shortest
// text that reads back as the same float.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "formats/height_field.h"

enum class HeightFormat { gsf, csv, xyz, ply, png };

// "gsf", "csv", "xyz", "ply" or "png"; nothing for another word.
std::optional<HeightFormat> height_format_named(std::string_view name);
// ".gsf" and so on.
const char* height_format_extension(HeightFormat format);

// Gwyddion Simple Field: the line "Gwyddion Simple Field 1.0", then
// "XRes = cols", "YRes = rows", "XReal" and "YReal" (the field's extent in
// metres: cols * step_x, rows * step_y), "XYUnits = m", "ZUnits = m" and
// "Title = ..." lines, one to four NUL bytes so that the data starts at a
// multiple of 4, then cols * rows 32-bit floats, little-endian, in metres,
// row 0 first. Cells without data are NaN, which the reader masks.
std::string gsf_bytes(const HeightField& field);

// One line per row, row 0 first; values in mm separated by commas, "nan"
// where there is no data. No header line. "\n" line ends.
std::string csv_bytes(const HeightField& field);

// One line "x y z" (mm, blanks between) per cell with data, row 0 first and
// left to right; x to the right and y up from the field's centre. The
// field's channels follow z on each line, in their order ("nan" where a
// channel has none), as the extra columns point-cloud tools read as scalar
// fields.
std::string xyz_bytes(const HeightField& field);

// Binary little-endian PLY: a vertex (x, y, z as 32-bit floats, mm, placed as
// in the XYZ file) per cell with data, in the same order, and a face (a list
// of three 32-bit vertex indices after a one-byte count) per triangle of
// neighbouring cells that all have data: of each 2 x 2 block of cells, two
// triangles when all four have data, the one triangle of the three when one
// lacks it. Triangles run anticlockwise seen from above (+z), so their
// normals point up. The header's "element vertex" and "element face" counts
// are those written. Each of the field's channels is one more 32-bit float
// property of the vertices, after z, named as the channel (NaN where it has
// none).
std::string ply_bytes(const HeightField& field);
