// read_profile on arbitrary profile text, onto a whole 256 x 256 map as the
// profile run reads it. The outcome is heights or a FileError; after an error
// the map keeps its contents, and a map that was read writes out as a height
// file that reads back. The write-back takes the map's top-left corner only:
// the whole map is 65,536 numbers formatted and parsed again, which held the
// target to a few hundred inputs a second while exercising the writer, not
// the reader under test.
#include <cstddef>
#include <cstdint>

#include "analysis/height_text_file.h"
#include "common/errors.h"
#include "fuzz_work_dir.h"

namespace {

constexpr double kMarker = 12345.25;  // what the map held before the read
constexpr int kCornerSide = 16;       // side of the corner written back

bool all_marker(const HeightMatrix& map) {
  const double* cells = map.data();
  for (int i = 0; i < kMapSide * kMapSide; ++i)
    if (cells[i] != kMarker) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string file = fuzz_work_file("profile00.txt");
  write_work_file(file, data, size);
  static HeightMatrix map;
  fill_map(map, kMarker);

  ProfileGrid grid;
  try {
    grid = read_profile(file, map, kMapSide, kMapSide);
  } catch (const FileError&) {
    if (!all_marker(map)) fuzz_fail("a failed read changed the map");
    clear_work_dir();
    return 0;
  }
  if (grid.side_x != grid.side_y || grid.side_x < 1 || grid.side_x > kMaxProfileSide)
    fuzz_fail("square side out of range");

  const std::string copy = fuzz_work_file("heights.txt");
  write_heights(copy, map, kCornerSide, kCornerSide, grid.step_x, grid.step_y, Durability::atomic_only);
  static HeightMatrix again;
  try {
    const ProfileGrid reread = read_profile(copy, again, kCornerSide, kCornerSide);
    if (reread.side_x != kCornerSide) fuzz_fail("a written map reads back with another size");
  } catch (const FileError&) {
    fuzz_fail("a written map does not read back");
  }
  clear_work_dir();
  return 0;
}
