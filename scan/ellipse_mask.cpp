#include <algorithm>
#include <cstring>
#include <vector>

#include "image_processing.h"

void ellipse_mask(GreyImage* plane, int32_t cx, int32_t cy, int32_t rx, int32_t ry) {
  if (plane == nullptr || plane->type != 1) return;
  const int32_t width = plane->width;
  const auto row_bytes = static_cast<std::size_t>(width);
  // A zero semi-axis (MaskRadius below half a pixel) encloses no pixel.
  if (rx == 0 || ry == 0) {
    for (int32_t y = 0; y < plane->height; ++y) std::memset(img_line(plane, y), 0, row_bytes);
    return;
  }
  // q = ((x - cx) / rx)^2 + ((y - cy) / ry)^2 - 1; the x term is the same in
  // every row. Differences in 64 bits: the centre may lie far off the image.
  std::vector<double> across(row_bytes);
  for (int32_t x = 0; x < width; ++x) {
    const double d = static_cast<double>(int64_t{x} - cx) / rx;
    across[static_cast<std::size_t>(x)] = d * d;
  }
  for (int32_t y = 0; y < plane->height; ++y) {
    const double d = static_cast<double>(int64_t{y} - cy) / ry;
    const double up = d * d;
    uint8_t* row = img_line(plane, y);
    for (int32_t x = 0; x < width; ++x)
      row[x] = across[static_cast<std::size_t>(x)] + up - 1.0 >= 0.0 ? 0 : 255;  // boundary excluded
  }
}

void clear_border_columns(GreyImage* plane, int32_t n) {
  if (plane == nullptr || n <= 0) return;
  const int32_t columns = std::min(n, plane->width);
  const auto bytes = static_cast<std::size_t>(columns) * static_cast<std::size_t>(plane->bytesPerPixel);
  const std::size_t right = static_cast<std::size_t>(plane->width - columns) *
                            static_cast<std::size_t>(plane->bytesPerPixel);
  for (int32_t y = 0; y < plane->height; ++y) {
    uint8_t* row = img_line(plane, y);
    std::memset(row, 0, bytes);
    std::memset(row + right, 0, bytes);
  }
}
