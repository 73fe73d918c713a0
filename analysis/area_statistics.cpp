#include "analysis/area_statistics.h"

#include <algorithm>
#include <cmath>

namespace {

// The area clipped to the map's cells; empty when nothing is left.
struct CellArea {
  int x0, x1, y0, y1;
  bool empty() const { return x1 < x0 || y1 < y0; }
  double count() const {
    return static_cast<double>(x1 - x0 + 1) * static_cast<double>(y1 - y0 + 1);
  }
};

CellArea clip(const HeightMatrix& map, int x0, int x1, int y0, int y1) {
  return {std::max(x0, 0), std::min(x1, map.nx() - 1), std::max(y0, 0), std::min(y1, map.ny() - 1)};
}

}  // namespace

ValueRange area_range(const HeightMatrix& map, int x0, int x1, int y0, int y1) {
  const CellArea a = clip(map, x0, x1, y0, y1);
  if (a.empty()) return {};
  RangeScan scan(map(a.x0, a.y0));
  for (int x = a.x0; x <= a.x1; ++x) {
    const double* column = map.column(x);
    for (int y = a.y0; y <= a.y1; ++y) scan.add(column[y]);
  }
  return scan.result();
}

double area_pv(const HeightMatrix& map, int x0, int x1, int y0, int y1) {
  const ValueRange r = area_range(map, x0, x1, y0, y1);
  return r.max - r.min;
}

double area_mean(const HeightMatrix& map, int x0, int x1, int y0, int y1) {
  const CellArea a = clip(map, x0, x1, y0, y1);
  if (a.empty()) return 0.0;
  double sum = 0.0;
  for (int x = a.x0; x <= a.x1; ++x) {
    const double* column = map.column(x);
    for (int y = a.y0; y <= a.y1; ++y) sum = sum + column[y];
  }
  return sum / a.count();
}

double area_rms(const HeightMatrix& map, int x0, int x1, int y0, int y1) {
  const CellArea a = clip(map, x0, x1, y0, y1);
  if (a.empty()) return 0.0;
  const double m = area_mean(map, a.x0, a.x1, a.y0, a.y1);
  double sum = 0.0;
  for (int x = a.x0; x <= a.x1; ++x) {
    const double* column = map.column(x);
    for (int y = a.y0; y <= a.y1; ++y) {
      const double d = column[y] - m;
      sum = sum + d * d;  // the exact square, as pow(d, 2.0) gives
    }
  }
  return std::sqrt(sum / a.count());
}
