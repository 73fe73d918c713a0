#include "main_window/pointer_readout.h"

#include <cmath>
#include <vector>

#include "analysis/height_matrix.h"

namespace {

constexpr int kLabelMargin = 10;  // pixels from a map edge where the label stays put

// round(cell + offset) held as a double, so that a huge or unknown bound is
// refused before it is ever turned into an int.
bool bound_on_map(double bound) { return bound >= 0.0 && bound <= kMapSide - 1; }

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

int pointer_cell(int pixel, int extent) {
  if (extent <= 0) return kOffMap;
  const double cell = std::nearbyint(static_cast<double>(pixel) / extent * kMapSide);
  if (!bound_on_map(cell)) return kOffMap;
  return static_cast<int>(cell);
}

std::optional<CellArea> area_around(int xi, int yi, double side_x, double side_y, double field_x,
                                    double field_y) {
  const double hx = side_x / field_x * kMapSide * 0.5;
  const double hy = side_y / field_y * kMapSide * 0.5;
  // Each bound is first formed as a double, then rounded, halves to even.
  const double x0 = std::nearbyint(xi - hx);
  const double x1 = std::nearbyint(xi + hx);
  const double y0 = std::nearbyint(yi - hy);
  const double y1 = std::nearbyint(yi + hy);
  // A negative side swaps the bounds; both must still lie on the map.
  if (!bound_on_map(x0) || !bound_on_map(x1) || !bound_on_map(y0) || !bound_on_map(y1))
    return std::nullopt;
  return CellArea{static_cast<int>(x0), static_cast<int>(x1), static_cast<int>(y0),
                  static_cast<int>(y1)};
}

int label_position(int pixel, int extent, int origin, int ahead, int back, int current) {
  const int half = extent / 2;
  if (kLabelMargin < pixel && pixel < half) return pixel + origin + ahead;
  if (half < pixel && pixel < extent - kLabelMargin) return pixel + origin - back;
  return current;
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
