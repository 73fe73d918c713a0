// Height text files: the profile the scan module writes, read back onto a
// map, and a map written in the same layout. Layout, one item per line:
//   nx ny            counts (points per row, rows)
//   step_x step_y    grid spacing, mm per point, six decimals
//   nx * ny heights  mm, six decimals; row y = 0 first, x = 0..nx - 1 within
#pragma once

#include <string>

#include "analysis/height_matrix.h"
#include "common/replace_file.h"
#include "scan/scn_matrix.h"

// Largest profile side read back; far beyond any profile the scan module
// makes, small enough that the work grids stay bounded.
constexpr int kMaxProfileSide = 4096;

// Spacing and square side of a profile as read back.
struct ProfileGrid {
  double step_x = 0.0;  // mm per profile point, across
  double step_y = 0.0;  // mm per profile point, down
  int side_x = 0;       // both hold n, the side of the square crop
  int side_y = 0;
};

// Reads a profile file into target cells (x, y), x < width, y < height. The
// centre square of side n = min(nx, ny) is cut out; a wide profile is
// interpolated bilinearly with corners aligned, a high one by nearest cell
// with scale n / width (its last result column and row can stay 0.0). Values
// are read as 32-bit floats and widened. Throws FileError
// `Cannot open file "<file>"` when the file is missing and
// `Cannot read file "<file>": <reason>` when it is short, not numeric or its
// counts are not 1..kMaxProfileSide or more than the file can hold; target
// then keeps its contents. width and height must lie in 1..target size
// (std::invalid_argument otherwise).
ProfileGrid read_profile(const std::string& file, HeightMatrix& target, int width, int height);

// Writes cells (x, y), x < nx, y < ny of map as a height text file with "\n"
// line ends; every line carries a blank before its line end ("256 256 \n").
// The file is replaced only once complete (with the durability asked for,
// common/replace_file.h); throws FileError `Cannot create file "<file>"` when
// it cannot be written, and std::invalid_argument when nx or ny lies outside
// the map.
void write_heights(const std::string& file, const HeightMatrix& map, int nx, int ny, double step_x,
                   double step_y, Durability durability = Durability::synced);

// The whole grid of a profile file, uncut: the spacing and nx x ny heights
// (mm, read as 32-bit floats and widened) in cells (x, y), x < nx, y < ny, the
// file's first row being y = 0. The height export hands on the engine's grid
// with it. Throws FileError as read_profile does, for the same files.
struct ProfileHeights {
  double step_x = 0.0;  // mm per profile point, across
  double step_y = 0.0;  // mm per profile point, down
  HeightMatrix heights;
};
ProfileHeights read_profile_grid(const std::string& file);

// The heights read_profile_grid reads back from the file the engine writes of
// `profile` (scan/profile_file.h), without the file: every number as its
// six-decimal text reads back as a 32-bit float, widened. The chain in memory
// measures these, so its numbers are those of the file path.
ProfileHeights profile_as_read(const ScnMatrix& profile);

// What read_profile does with the grid it has read: the centre square of
// `whole` onto target cells (x, y), x < width, y < height, with the same
// resampling; returns the spacing and the square's side. width and height
// must lie in 1..target size (std::invalid_argument otherwise).
ProfileGrid place_profile(const ProfileHeights& whole, HeightMatrix& target, int width, int height);
