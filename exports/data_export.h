// "save data": a channel's results as eight files sharing one base name.
#pragma once

#include <string>
#include <vector>

#include "analysis/height_matrix.h"
#include "render/picture.h"
#include "simulation/surface.h"

// Writes, in this order, base + "_gray.bmp" (the raw image as held),
// "_col.bmp" (the map image, 24-bit), "_heights.txt" (the channel map with
// steps field / 256), "_hor_scan.txt" and "_hor_scan_profile.txt" (row 128 of
// the channel map and of the measured map), "_vert_scan.txt" and
// "_vert_scan_profile.txt" (column 128), each value as number text with 4
// significant digits and 4 exponent digits on a CR LF line, and
// "_parameter.txt" (seven lines from the channel's image settings file, then
// five lines of the surface when the channel simulates other than the sphere
// of its set radius; see parameter_summary).
// The base name is used as given: "run1.dat" gives "run1.dat_gray.bmp".
// Throws FileError when the settings file cannot be read (nothing is written
// then) or a file cannot be written (the files written before stay).
void save_data_set(const std::string& base, const Picture& raw_image, const Picture& map_image,
                   const HeightMatrix& channel_map, const HeightMatrix& measured_map,
                   const std::string& settings_file, double field_x, double field_y,
                   const Surface& surface = Surface{});

// The seven lines of the parameter summary; for a surface other than the
// sphere five more at the end, so that the sphere's lines stay as they were:
//   surface model              : biconic
//   radius Rx in mm            : 7.6
//   radius Ry in mm            : 7.9
//   axis of Rx in deg          : 30
//   conic constant Q           : -0.2
// (each number as the shortest text that reads back to it, as the surface
// file holds it).
std::vector<std::string> parameter_summary(const std::vector<std::string>& settings, double field_x,
                                           const Surface& surface = Surface{});
