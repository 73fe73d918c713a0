#include "analysis/line_range.h"

#include <algorithm>

ValueRange column_range(const HeightMatrix& map, int x0, int x1, int y) {
  x0 = std::max(x0, 0);
  x1 = std::min(x1, map.nx() - 1);
  if (y < 0 || y >= map.ny() || x1 < x0) return {};
  // Along a row the cells lie ny apart in the x-major storage.
  RangeScan scan(map(x0, y));
  for (int x = x0; x <= x1; ++x) scan.add(map(x, y));
  return scan.result();
}

ValueRange row_range(const HeightMatrix& map, int y0, int y1, int x) {
  y0 = std::max(y0, 0);
  y1 = std::min(y1, map.ny() - 1);
  if (x < 0 || x >= map.nx() || y1 < y0) return {};
  const double* column = map.column(x);
  RangeScan scan(column[y0]);
  for (int y = y0; y <= y1; ++y) scan.add(column[y]);
  return scan.result();
}
