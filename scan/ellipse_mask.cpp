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
  // Every rounded step (quotient, square, sum, difference) is monotonic, so
  // q grows with |x - cx| and the pixels inside (q < 0, the boundary
  // excluded) form one run around the column nearest the centre: found by
  // bisection with exactly the per-pixel test, then filled.
  const int32_t nearest = static_cast<int32_t>(std::clamp<int64_t>(cx, 0, width - 1));
  for (int32_t y = 0; y < plane->height; ++y) {
    const double d = static_cast<double>(int64_t{y} - cy) / ry;
    const double up = d * d;
    const auto inside = [&](int32_t x) { return !(across[static_cast<std::size_t>(x)] + up - 1.0 >= 0.0); };
    uint8_t* row = img_line(plane, y);
    std::memset(row, 0, row_bytes);
    if (!inside(nearest)) continue;
    int32_t low = 0;  // first inside in [0, nearest]
    for (int32_t high = nearest; low < high;) {
      const int32_t middle = low + (high - low) / 2;
      if (inside(middle)) high = middle;
      else low = middle + 1;
    }
    int32_t end = width;  // one past the last inside in [nearest, width)
    for (int32_t first = nearest + 1; first < end;) {
      const int32_t middle = first + (end - first) / 2;
      if (inside(middle)) first = middle + 1;
      else end = middle;
    }
    std::memset(row + low, 255, static_cast<std::size_t>(end - low));
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
