// Pictures as text for exact pixel comparisons: one character per pixel,
// K black, W white, R red, G the grey 128, ? any other colour; one string per
// row from the top.
#pragma once

#include <string>
#include <vector>

#include "render/picture.h"

inline std::vector<std::string> pixel_art(const Picture& picture) {
  std::vector<std::string> rows;
  for (int y = 0; y < picture.height(); ++y) {
    std::string row;
    for (int x = 0; x < picture.width(); ++x) {
      switch (picture.pixel(x, y)) {
        case kBlack: row += 'K'; break;
        case kWhite: row += 'W'; break;
        case kRed: row += 'R'; break;
        case 0x808080: row += 'G'; break;
        default: row += '?';
      }
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
