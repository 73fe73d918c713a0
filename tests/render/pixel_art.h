// Pictures as text and numbers for exact pixel comparisons.
#pragma once

#include <string>
#include <vector>

#include "render/picture.h"

// One character per pixel: K black, W white, R red, G the grey 128, ? any
// other colour; one string per row from the top.
inline std::vector<std::string> pixel_art(const Picture& picture) {
  std::vector<std::string> rows;
  for (int y = 0; y < picture.height(); ++y) {
    std::string row;
    for (int x = 0; x < picture.width(); ++x) {
      const CanvasColour colour = picture.pixel(x, y);
      row += colour == kBlack ? 'K' : colour == kWhite ? 'W' : colour == kRed ? 'R' : '?';
      if (colour == 0x808080) row.back() = 'G';
    }
    rows.push_back(row);
  }
  return rows;
}

// A 24-bit picture of the given size, every pixel the grey 128.
inline Picture grey_picture(int width, int height) {
  Picture picture(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width * 3; ++x) picture.row(y)[x] = 128;
  return picture;
}

// Pixel bytes as numbers, rows from the top.
using Grid = std::vector<std::vector<int>>;

inline Picture eight_bit(const Grid& values) {
  Picture picture(static_cast<int>(values[0].size()), static_cast<int>(values.size()), PixelFormat::indexed8);
  for (int y = 0; y < picture.height(); ++y)
    for (int x = 0; x < picture.width(); ++x)
      picture.row(y)[x] = static_cast<uint8_t>(values[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)]);
  return picture;
}

// Byte `channel` of every pixel (0 for 8-bit pictures; 0, 1, 2 = blue, green, red).
inline Grid values_of(const Picture& picture, int channel = 0) {
  Grid grid;
  for (int y = 0; y < picture.height(); ++y) {
    std::vector<int> row;
    for (int x = 0; x < picture.width(); ++x)
      row.push_back(picture.row(y)[x * picture.bytes_per_pixel() + channel]);
    grid.push_back(row);
  }
  return grid;
}
