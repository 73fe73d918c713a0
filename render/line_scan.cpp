#include "render/line_scan.h"

#include <algorithm>

#include "analysis/line_range.h"
#include "common/number_text.h"
#include "render/pixel_coordinate.h"

namespace {

enum class Axis { horizontal, vertical };

// The cells of a line that lie on the map: indices from..to along it.
struct OnMap {
  bool any = false;
  int from = 0;
  int to = -1;
};

OnMap cells_on_map(const HeightMatrix& map, Axis axis, int first, int last, int at) {
  const int along = axis == Axis::horizontal ? map.nx() : map.ny();
  const int across = axis == Axis::horizontal ? map.ny() : map.nx();
  OnMap cells;
  if (at < 0 || at >= across) return cells;
  cells.from = std::max(first, 0);
  cells.to = std::min(last, along - 1);
  cells.any = cells.from <= cells.to;
  return cells;
}

// The polyline from the canvas origin through every cell of the line: the
// cell's index sets the position along the line, its value the position
// across, max at 0 and min at the far bound.
void plot_line(Picture& image, const HeightMatrix& map, Axis axis, int first, int last, int at,
               const OnMap& cells, double min, double max) {
  const int along_extent = axis == Axis::horizontal ? image.width() : image.height();
  const int across_extent = axis == Axis::horizontal ? image.height() : image.width();
  const double span = static_cast<double>(last) - first;
  image.move_to(0, 0);
  if (!cells.any) return;
  for (int i = cells.from; i <= cells.to; ++i) {
    const double value = axis == Axis::horizontal ? map(i, at) : map(at, i);
    const int along = span == 0.0 ? 0 : pixel_offset((static_cast<double>(i) - first) / span * along_extent);
    const int across =
        max - min != 0.0 ? across_extent - pixel_offset((value - min) / (max - min) * across_extent) : 0;
    if (axis == Axis::horizontal)
      image.line_to(along, across);
    else
      image.line_to(across, along);
  }
}

ScanLabels draw_scan(Picture& image, const HeightMatrix& map, Axis axis, int first, int last, int at,
                     double marker_fraction, double scale) {
  const OnMap cells = cells_on_map(map, axis, first, last, at);
  ValueRange range;
  ScanLabels labels;
  if (cells.any) {
    range = axis == Axis::horizontal ? column_range(map, cells.from, cells.to, at)
                                     : row_range(map, cells.from, cells.to, at);
    labels.min = number_text(scale * range.min, 2, 2);
    labels.max = number_text(scale * range.max, 2, 2);
  }

  const int w = image.width();
  const int h = image.height();
  image.rectangle(0, 0, w, h);
  image.set_pen_colour(kRed);
  if (axis == Axis::horizontal) {
    const int m = pixel_offset(w * marker_fraction);
    image.move_to(m, 0);
    image.line_to(m, h);
  } else {
    const int m = pixel_offset(h * marker_fraction);
    image.move_to(0, m);
    image.line_to(w, m);
  }
  image.set_pen_colour(kBlack);
  plot_line(image, map, axis, first, last, at, cells, range.min, range.max);
  return labels;
}

}  // namespace

void draw_scan_fixed_range(Picture& image, const HeightMatrix& map, int first, int last, int y, double lo,
                           double hi) {
  image.rectangle(0, 0, image.width(), image.height());
  const OnMap cells = cells_on_map(map, Axis::horizontal, first, last, y);
  plot_line(image, map, Axis::horizontal, first, last, y, cells, lo, hi);
}

void draw_horiz_scan(Picture& image, const HeightMatrix& map, int first, int last, int y,
                     double marker_fraction) {
  draw_scan(image, map, Axis::horizontal, first, last, y, marker_fraction, 1.0);
}

ScanLabels draw_horiz_scan(Picture& image, const HeightMatrix& map, int first, int last, int y,
                           double marker_fraction, double scale) {
  return draw_scan(image, map, Axis::horizontal, first, last, y, marker_fraction, scale);
}

void draw_vert_scan(Picture& image, const HeightMatrix& map, int first, int last, int x,
                    double marker_fraction) {
  draw_scan(image, map, Axis::vertical, first, last, x, marker_fraction, 1.0);
}

ScanLabels draw_vert_scan(Picture& image, const HeightMatrix& map, int first, int last, int x,
                          double marker_fraction, double scale) {
  return draw_scan(image, map, Axis::vertical, first, last, x, marker_fraction, scale);
}
