#include "analysis/meridian_powers.h"

#include <cmath>

#include "analysis/refractive_power.h"
#include "analysis/snell_power.h"

MeridianPowers meridian_powers(const HeightAt& f, double cx, double cy, double x, double y) {
  const double h = kMeridianStep;
  const double z0 = f(cx, cy);
  const double laplacian = (f(cx + h, cy) + f(cx - h, cy) + f(cx, cy + h) + f(cx, cy - h) - 4.0 * z0) / (h * h);
  const double sign = laplacian > 0.0 ? -1.0 : 1.0;  // a cap bulging towards +z bends down
  const double dx = x - cx, dy = y - cy;
  const double r = std::sqrt(dx * dx + dy * dy);
  if (r < 1e-9) {
    const double centre = kDioptersTimesRadius * std::abs(laplacian) / 2.0;
    return {centre, centre, centre};
  }
  const double ex = dx / r, ey = dy / r;
  const double out = f(cx + (r + h) * ex, cy + (r + h) * ey);
  const double in = f(cx + (r - h) * ex, cy + (r - h) * ey);
  const double z = f(x, y);
  const double slope = (out - in) / (2.0 * h);
  const double bend = (out - 2.0 * z + in) / (h * h);
  const double stretch = 1.0 + slope * slope;
  MeridianPowers p;
  p.axial = kDioptersTimesRadius * std::abs(slope) / (r * std::sqrt(stretch));
  p.tangential = -sign * kDioptersTimesRadius * bend / (stretch * std::sqrt(stretch));
  p.refractive = snell_power(r, -sign * slope, sign * (z0 - z));
  return p;
}
