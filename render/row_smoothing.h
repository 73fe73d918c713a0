// Pieces shared by the two 3 x 3 picture filters, which smooth in place: a
// result is written at once and enters the sums of the pixels after it.
// Pixels of one channel lie `step` bytes apart (1 for 8-bit pictures, 3 for
// 24-bit ones, where each of blue, green and red is smoothed on its own).
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "render/picture.h"

// Vertical 1-2-1 of the first or last pixel of an interior row: middle from
// its upper and lower neighbours, sum / 8 rounded down.
inline uint8_t smooth_vertical_121(uint8_t up, uint8_t middle, uint8_t down) {
  return static_cast<uint8_t>((2 * up + 4 * middle + 2 * down) >> 3);
}

// Horizontal 1-2-1 along a top or bottom row, left to right, pixels 1..w-2;
// the first and last pixel keep their values.
inline void smooth_row_121(uint8_t* row, int width, int step) {
  for (int k = 1; k < width - 1; ++k) {
    uint8_t* p = row + k * step;
    *p = static_cast<uint8_t>((2 * p[-step] + 4 * p[0] + 2 * p[step]) >> 3);
  }
}

// The horizontal 1-2-1 of row y of one channel (smooth_row_121); returns
// whether it changed a byte. `before` is scratch space for the row's bytes.
inline bool smooth_border_row(Picture& picture, int y, int channel, std::vector<uint8_t>& before) {
  uint8_t* row = picture.row(y);
  const auto bytes = static_cast<std::size_t>(picture.bytes_per_line());
  if (bytes == 0) return false;
  before.assign(row, row + bytes);
  smooth_row_121(row + channel, picture.width(), picture.bytes_per_pixel());
  return std::memcmp(before.data(), row, bytes) != 0;
}
