#include "render/magnifier.h"

#include <cmath>
#include <vector>

#include "analysis/resample.h"
#include "render/colour_classes.h"

namespace {

// Source index of each magnifier pixel along one axis: pointer + round(k / m
// * 20) - 10 for k = 0..m-1, computed in that order.
std::vector<int> raw_indices(int pointer, int magnifier_extent) {
  std::vector<int> index(static_cast<std::size_t>(magnifier_extent));
  for (int k = 0; k < magnifier_extent; ++k)
    index[static_cast<std::size_t>(k)] =
        pointer +
        static_cast<int>(std::lrint(static_cast<double>(k) / magnifier_extent * (2 * kRawReach))) -
        kRawReach;
  return index;
}

}  // namespace

void render_magnifier(const HeightMatrix& map, int x0, int x1, int y0, int y1, int n, Picture& image,
                      ColourComponent blue, ColourComponent red, ColourComponent green, double lo, double hi,
                      HeightMatrix& magnifier_rows) {
  const int w = image.width();
  const int h = image.height();
  if (image.format() != PixelFormat::bgr24) image.replace(Picture(w, h, PixelFormat::bgr24));
  if (magnifier_rows.nx() != w || magnifier_rows.ny() != h) magnifier_rows = HeightMatrix(w, h, 0.0);

  resample_window(map, x0, x1, y0, y1, w, h, magnifier_rows);

  // A level is only formed for values inside lo..hi, where it lies in 0..255
  // already: reducing it to its low 8 bits changes nothing, and every value
  // outside the range is white whatever its level would be.
  const ClassColours colours = class_colours(level_thresholds(n), blue, red, green);
  for (int j = 0; j < h; ++j) {
    uint8_t* pixel = image.row(j);
    for (int i = 0; i < w; ++i, pixel += 3) {
      const int level = class_level(magnifier_rows(i, j), lo, hi);
      if (level < 0) {
        pixel[0] = pixel[1] = pixel[2] = 255;
        continue;
      }
      const auto& bgr = colours.bgr[static_cast<std::size_t>(level)];
      pixel[0] = bgr[0];
      pixel[1] = bgr[1];
      pixel[2] = bgr[2];
    }
  }
}

bool enlarge_raw_pixels(const Picture& raw, int x, int y, int control_w, int control_h, Picture& magnifier) {
  if (!(kRawReach < x && x < control_w - kRawReach && kRawReach < y && y < control_h - kRawReach))
    return false;
  if (x + kRawReach >= raw.width() || y + kRawReach >= raw.height()) return false;
  if (magnifier.format() != PixelFormat::bgr24)
    magnifier.replace(Picture(magnifier.width(), magnifier.height(), PixelFormat::bgr24));

  const int wm = magnifier.width();
  const int hm = magnifier.height();
  const std::vector<int> columns = raw_indices(x, wm);
  const std::vector<int> rows = raw_indices(y, hm);
  const bool grey = raw.format() == PixelFormat::indexed8;
  for (int i = 0; i < hm; ++i) {
    const uint8_t* source = raw.row(rows[static_cast<std::size_t>(i)]);
    uint8_t* pixel = magnifier.row(i);
    for (int j = 0; j < wm; ++j, pixel += 3) {
      const int column = columns[static_cast<std::size_t>(j)];
      if (grey) {
        pixel[0] = pixel[1] = pixel[2] = source[column];
      } else {
        const uint8_t* bgr = source + 3 * static_cast<std::size_t>(column);
        pixel[0] = bgr[0];
        pixel[1] = bgr[1];
        pixel[2] = bgr[2];
      }
    }
  }
  return true;
}
