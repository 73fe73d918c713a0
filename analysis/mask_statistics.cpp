#include "analysis/mask_statistics.h"

#include <algorithm>
#include <cmath>

#include "analysis/reference_sphere.h"

MaskStatistics mask_statistics(const HeightMatrix& map, double Wf, double Rm) {
  MaskStatistics s;
  const double c = Wf * 0.5;
  double lo = 0.0, hi = 0.0, sum = 0.0;
  for (int x = 0; x < kMapSide; ++x) {
    for (int y = 0; y < kMapSide; ++y) {
      if (!in_evaluation_mask(Wf, c, c, Rm, x, y)) continue;
      const double v = map(x, y);
      lo = s.count == 0 ? v : std::min(lo, v);
      hi = s.count == 0 ? v : std::max(hi, v);
      sum += v;
      ++s.count;
    }
  }
  if (s.count == 0) return s;
  s.pv = hi - lo;
  s.mean = sum / s.count;
  double squares = 0.0;
  for (int x = 0; x < kMapSide; ++x)
    for (int y = 0; y < kMapSide; ++y)
      if (in_evaluation_mask(Wf, c, c, Rm, x, y)) squares += (map(x, y) - s.mean) * (map(x, y) - s.mean);
  s.rms = std::sqrt(squares / s.count);
  return s;
}
