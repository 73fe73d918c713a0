#include "analysis/resample.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

void resample_bilinear(const HeightMatrix& square, int width, int height, HeightMatrix& result) {
  if (width < 1 || height < 1 || square.nx() < 1 || square.ny() < 1 || result.nx() < width ||
      result.ny() < height) {
    throw std::invalid_argument("resample_bilinear: grid sizes do not fit");
  }
  const int last_x = square.nx() - 1;
  const int last_y = square.ny() - 1;
  for (int i = 0; i < width; ++i) {
    // A single output column or row sits on the first source column or row.
    const double fx = width > 1 ? static_cast<double>(i) / (width - 1) * last_x : 0.0;
    const int xl = static_cast<int>(std::floor(fx));
    const int xh = std::min(static_cast<int>(std::ceil(fx)), last_x);
    const double dx = fx - xl;
    for (int j = 0; j < height; ++j) {
      const double fy = height > 1 ? static_cast<double>(j) / (height - 1) * last_y : 0.0;
      const int yl = static_cast<int>(std::floor(fy));
      const int yh = std::min(static_cast<int>(std::ceil(fy)), last_y);
      const double dy = fy - yl;
      const double a = square(xl, yl) + (square(xh, yl) - square(xl, yl)) * dx;
      const double b = square(xl, yh) + (square(xh, yh) - square(xl, yh)) * dx;
      result(i, j) = a + (b - a) * dy;
    }
  }
}

namespace {

// Lower and upper source index around f = fraction * size: the lower one is
// floor(f), found by rounding to nearest (halves to even) and stepping back
// when the rounding went up.
void bracket(double f, int& low, int& high) {
  const int r = static_cast<int>(std::nearbyint(f));
  if (f < r) {
    low = r - 1;
    high = r;
  } else {
    low = r;
    high = r + 1;
  }
}

}  // namespace

void resample_window(const HeightMatrix& map, int x0, int x1, int y0, int y1, int out_w, int out_h,
                     HeightMatrix& output) {
  if (x0 < 0 || y0 < 0 || x1 < x0 || y1 < y0 || x1 >= map.nx() || y1 >= map.ny()) return;
  if (out_w < 1 || out_h < 1 || out_w > output.nx() || out_h > output.ny()) return;
  const int w = x1 - x0 + 1;
  const int h = y1 - y0 + 1;
  // Only an enlargement is drawn; a window as large as the output or larger
  // keeps the previous picture.
  if (!(h < out_h && w < out_w)) return;

  HeightMatrix work(w, h);
  for (int i = 0; i < w; ++i) {
    for (int j = 0; j < h; ++j) work(i, j) = map(x0 + i, y0 + j);
  }

  for (int i = 0; i < out_w; ++i) {
    const double fx = static_cast<double>(i) / out_w * w;
    int xl = 0;
    int xh = 0;
    bracket(fx, xl, xh);
    const double ax = fx - xl;
    xh = std::clamp(xh, 0, w - 1);
    for (int j = 0; j < out_h; ++j) {
      const double fy = static_cast<double>(j) / out_h * h;
      int yl = 0;
      int yh = 0;
      bracket(fy, yl, yh);
      const double cy = (yl + 1) - fy;
      yh = std::clamp(yh, 0, h - 1);
      const double a = work(xl, yl) + (work(xh, yl) - work(xl, yl)) * ax;
      const double b = work(xl, yh) + (work(xh, yh) - work(xl, yh)) * ax;
      output(i, j) = b + (a - b) * cy;
    }
  }
}
