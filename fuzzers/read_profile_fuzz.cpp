// read_profile on arbitrary profile text, onto a map as the profile run
// reads it. The outcome is heights or a FileError; after an error the map
// keeps its contents, and a map that was read writes out as a height file
// that reads back. The map is 48 x 48 rather than the run's 256 x 256: the
// resampling is the same code at another scale (profiles of a few kilobytes
// are both smaller and larger than 48 a side), and filling, checking and
// resampling 65,536 cells per input held the target to a few hundred inputs a
// second while the reader under test parses a few hundred bytes. The
// write-back takes the map's top-left corner only, for the same reason.
#include <cstddef>
#include <cstdint>

#include "analysis/height_text_file.h"
#include "common/errors.h"
#include "fuzz_work_dir.h"

namespace {

constexpr double kMarker = 12345.25;  // what the map held before the read
constexpr int kTargetSide = 48;       // side of the map read onto
constexpr int kCornerSide = 16;       // side of the corner written back

bool all_marker(const HeightMatrix& map) {
  const double* cells = map.data();
  for (int i = 0; i < map.nx() * map.ny(); ++i)
    if (cells[i] != kMarker) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string file = fuzz_work_file("profile00.txt");
  write_work_file(file, data, size);
  static HeightMatrix map(kTargetSide, kTargetSide);
  fill_map(map, kMarker);

  ProfileGrid grid;
  try {
    grid = read_profile(file, map, kTargetSide, kTargetSide);
  } catch (const FileError&) {
    if (!all_marker(map)) fuzz_fail("a failed read changed the map");
    clear_work_dir();
    return 0;
  }
  if (grid.side_x != grid.side_y || grid.side_x < 1 || grid.side_x > kMaxProfileSide)
    fuzz_fail("square side out of range");

  const std::string copy = fuzz_work_file("heights.txt");
  write_heights(copy, map, kCornerSide, kCornerSide, grid.step_x, grid.step_y, Durability::atomic_only);
  static HeightMatrix again(kCornerSide, kCornerSide);
  try {
    const ProfileGrid reread = read_profile(copy, again, kCornerSide, kCornerSide);
    if (reread.side_x != kCornerSide) fuzz_fail("a written map reads back with another size");
  } catch (const FileError&) {
    fuzz_fail("a written map does not read back");
  }
  clear_work_dir();
  return 0;
}
