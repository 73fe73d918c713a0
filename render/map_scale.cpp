#include "render/map_scale.h"

#include <algorithm>
#include <cmath>

#include "render/colour_map.h"

MapSpan span_of_values(const HeightMatrix& map, double least_span, int classes, double skip) {
  bool any = false;
  double lo = 0.0, hi = 0.0;
  const double* cells = map.data();
  const std::size_t count = static_cast<std::size_t>(map.nx()) * static_cast<std::size_t>(map.ny());
  for (std::size_t i = 0; i < count; ++i) {
    const double v = cells[i];
    if (!std::isfinite(v) || v == skip) continue;
    lo = any ? std::min(lo, v) : v;
    hi = any ? std::max(hi, v) : v;
    any = true;
  }
  if (!any) return {0.0, least_span};
  if (hi - lo < least_span) {
    const double middle = (lo + hi) / 2;
    lo = middle - least_span / 2;
    hi = middle + least_span / 2;
  }
  // The last coloured class starts at level round((n - 1) * 255 / n) and
  // ends half a level above; keep the highest value half a level below that.
  const int n = std::max(classes, 1);
  const double last_level = std::nearbyint((n - 1) * 255.0 / n);
  return {lo, lo + (hi - lo) * 255.0 / last_level};
}

void draw_class_bar(Picture& bar, double min, double max, int classes) {
  const int w = bar.width(), h = bar.height();
  if (w < 1 || h < 1) return;
  HeightMatrix ramp(w, h);
  for (int y = 0; y < h; ++y) {
    const double v = h == 1 ? max : max - (max - min) * y / (h - 1);
    for (int x = 0; x < w; ++x) ramp(x, y) = v;
  }
  render_map(ramp, 0, w - 1, 0, h - 1, classes, bar, colour_blue, colour_red, colour_green, min, max);
}
