#include "runs/measured_points.h"

#include <cmath>

#include "scan/profile_calculation.h"
#include "scan/scn_matrix.h"

std::vector<Vec3> map_frame_points(const PixelPoints& points) {
  std::vector<Vec3> out;
  for (std::size_t i = 0; i < points.points.size(); ++i)
    if (points.valid[i]) out.push_back({points.points[i].x, -points.points[i].y, points.points[i].z});
  return out;
}

void telecentric_points(MethodEngine& methods, std::span<const GreyImage* const> frames, const MethodPlan& plan,
                        const ScnPar& par, double offset_x, double offset_y,
                        std::vector<Vec3>& points) {
  GridGuard full;
  methods.heights(frames, plan, par, full.grid);
  const float no_data = static_cast<float>(effective_depth_limit(par.DepthLimit));
  const double d = par.CamResX;
  for (int32_t i = 0; i < full.grid.rows; ++i)
    for (int32_t j = 0; j < full.grid.cols; ++j) {
      const float z = full.grid.values[i][j];
      if (z == no_data) continue;
      const double x = d * (j - (full.grid.cols - 1) * 0.5) - offset_x;
      const double y = d * (i - (full.grid.rows - 1) * 0.5) - offset_y;
      points.push_back({x, -y, z});
    }
}

// Row 0 of the profile is the picture's bottom row, as the pixels'.
void profile_points(const ProfileHeights& profile, const ScnPar& par, double offset_x, double offset_y,
                        std::vector<Vec3>& points) {
  const HeightMatrix& h = profile.heights;
  const double no_data = static_cast<float>(effective_depth_limit(par.DepthLimit));
  for (int y = 0; y < h.ny(); ++y)
    for (int x = 0; x < h.nx(); ++x) {
      const double z = h(x, y);
      if (!std::isfinite(z) || z == no_data) continue;
      const double px = profile.step_x * (x - (h.nx() - 1) * 0.5) - offset_x;
      const double py = profile.step_y * (y - (h.ny() - 1) * 0.5) - offset_y;
      points.push_back({px, -py, z});
    }
}

