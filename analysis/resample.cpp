#include "analysis/resample.h"

#include <algorithm>
#include <cstddef>
#include <cmath>
#include <stdexcept>
#include <vector>

void resample_bilinear(const HeightMatrix& square, int width, int height, HeightMatrix& result) {
  resample_bilinear(square.data(), square.nx(), square.ny(), width, height, result);
}

void resample_bilinear(const double* cells, int nx, int ny, int width, int height, HeightMatrix& result) {
  if (width < 1 || height < 1 || nx < 1 || ny < 1 || result.nx() < width || result.ny() < height) {
    throw std::invalid_argument("resample_bilinear: grid sizes do not fit");
  }
  const auto column = [cells, ny](int x) { return cells + static_cast<std::ptrdiff_t>(x) * ny; };
  const int last_x = nx - 1;
  const int last_y = ny - 1;
  // The source rows and weights depend on j alone: worked out once.
  struct Rows {
    int low;
    int high;
    double weight;
  };
  std::vector<Rows> rows(static_cast<std::size_t>(height));
  for (int j = 0; j < height; ++j) {
    // A single output column or row sits on the first source column or row.
    const double fy = height > 1 ? static_cast<double>(j) / (height - 1) * last_y : 0.0;
    const int yl = static_cast<int>(std::floor(fy));
    rows[static_cast<std::size_t>(j)] = {yl, std::min(static_cast<int>(std::ceil(fy)), last_y), fy - yl};
  }
  for (int i = 0; i < width; ++i) {
    const double fx = width > 1 ? static_cast<double>(i) / (width - 1) * last_x : 0.0;
    const int xl = static_cast<int>(std::floor(fx));
    const int xh = std::min(static_cast<int>(std::ceil(fx)), last_x);
    const double dx = fx - xl;
    const double* low = column(xl);
    const double* high = column(xh);
    double* out = result.column(i);
    for (int j = 0; j < height; ++j) {
      const Rows& r = rows[static_cast<std::size_t>(j)];
      const double a = low[r.low] + (high[r.low] - low[r.low]) * dx;
      const double b = low[r.high] + (high[r.high] - low[r.high]) * dx;
      out[j] = a + (b - a) * r.weight;
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
