#include "methods/triangulated_points.h"

#include <cmath>
#include <utility>
#include <new>

#include "scan/profile_calculation.h"

using fringe::methods::carrier_phase;
using fringe::methods::kTwoPi;
using fringe::methods::PhaseField;

PixelPoints triangulate_field(const PhaseField& field, double lambda, const PinholeRig& rig, double projector_period) {
  PixelPoints out;
  out.width = field.width;
  out.height = field.height;
  const std::size_t count = static_cast<std::size_t>(field.width) * static_cast<std::size_t>(field.height);
  out.points.assign(count, Vec3{});
  out.valid.assign(count, 0);
  const double centre = rig.system().projector.lens.principal_x;
  const double columns_per_radian = projector_period / kTwoPi;
  for (int32_t y = 0; y < field.height; ++y) {
    const fringe::methods::RowRun run = field.runs[static_cast<std::size_t>(y)];
    for (int32_t x = run.first; x < run.end; ++x) {
      const std::size_t i = field.at(x, y);
      if (field.data[i] != 1) continue;
      const double phase = field.phase[i] + carrier_phase(x, field.width / 2, lambda);
      const std::optional<Ray> ray = rig.camera_ray({static_cast<double>(x), static_cast<double>(y)});
      if (!ray) continue;
      const std::optional<double> t = rig.meet_projector_column(*ray, centre + phase * columns_per_radian);
      if (!t) continue;
      out.points[i] = ray->at(*t);
      out.valid[i] = 1;
    }
  }
  return out;
}

namespace {

// The points bilinearly between the four pixels about (a, b); false when one
// of them is missing or (a, b) lies off the picture.
bool interpolated(const PixelPoints& p, double a, double b, Vec3& out) {
  if (!(a >= 0.0 && b >= 0.0 && a <= p.width - 1.0 && b <= p.height - 1.0)) return false;
  const auto x0 = static_cast<int32_t>(std::floor(a));
  const auto y0 = static_cast<int32_t>(std::floor(b));
  const int32_t x1 = x0 + 1 < p.width ? x0 + 1 : x0;
  const int32_t y1 = y0 + 1 < p.height ? y0 + 1 : y0;
  const std::size_t i00 = p.at(x0, y0), i10 = p.at(x1, y0), i01 = p.at(x0, y1), i11 = p.at(x1, y1);
  if (!(p.valid[i00] && p.valid[i10] && p.valid[i01] && p.valid[i11])) return false;
  const double fx = a - x0, fy = b - y0;
  const Vec3 low = (1.0 - fx) * p.points[i00] + fx * p.points[i10];
  const Vec3 high = (1.0 - fx) * p.points[i01] + fx * p.points[i11];
  out = (1.0 - fy) * low + fy * high;
  return true;
}

}  // namespace

void grid_heights(const PixelPoints& points, const PinholeRig& rig, double d, double offset_x, double offset_y,
                  float no_data, ScnMatrix& full) {
  mat_free(&full);
  if (mat_create(&full, points.width, points.height, d, d) != 0) throw std::bad_alloc();
  const double column_centre = (points.width - 1) * 0.5;
  const double row_centre = (points.height - 1) * 0.5;
  for (int32_t i = 0; i < points.height; ++i) {
    const double y = d * (i - row_centre) - offset_y;
    for (int32_t j = 0; j < points.width; ++j) {
      const double x = d * (j - column_centre) - offset_x;
      float& out = full.values[i][j];
      out = no_data;
      const std::size_t own = points.at(j, i);
      double z = points.valid[own] ? points.points[own].z : 0.0;
      for (int step = 0; step < 12; ++step) {
        const std::optional<Point2> q = rig.camera_pixel({x, y, z});
        Vec3 p;
        if (!q || !interpolated(points, q->x, q->y, p)) {
          z = std::nan("");
          break;
        }
        const double change = p.z - z;
        z = p.z;
        if (std::fabs(change) < 1e-12) break;
      }
      if (std::isfinite(z)) out = static_cast<float>(z);
    }
  }
}

void triangulated_profile(MethodEngine& methods, std::span<const GreyImage* const> frames, const MethodPlan& plan,
                          const ScnPar& par, const PinholeRig& rig, double offset_x, double offset_y,
                          double channel_period, ScnMatrix& profile, PixelPoints* points) {
  double lambda = 0.0;
  const PhaseField& field = methods.phase(frames, plan, par, lambda);
  const double projector_period = lambda == channel_period
                                      ? rig.system().projector.period
                                      : rig.system().projector.period * lambda / channel_period;
  PixelPoints measured = triangulate_field(field, lambda, rig, projector_period);
  GridGuard full;
  grid_heights(measured, rig, par.CamResX, offset_x, offset_y, static_cast<float>(effective_depth_limit(par.DepthLimit)),
               full.grid);
  methods.profile_of_heights(full.grid, par, profile);
  if (points != nullptr) *points = std::move(measured);
}
