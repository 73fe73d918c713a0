#include "simulation/ray_synthesis.h"

#include <cmath>
#include <limits>
#include <new>
#include <numbers>

#include "optics/pinhole_rig.h"
#include "optics/ray_surface.h"
#include "simulation/dark_level_shift.h"
#include "simulation/error_synthesis.h"
#include "simulation/grey_levels.h"
#include "simulation/surface.h"

namespace {

// The first point of a camera ray on the channel's surface: the sphere in
// closed form; another surface (a biconic, cones) by Newton's iteration from
// the conicoid of its mean curvature. The surface's heights are taken at
// (x, -y): the picture's y runs opposite to the maps'.
class SurfaceHit {
 public:
  explicit SurfaceHit(const SimParams& params)
      : plain_(drawn_as_plain_sphere(params.surface)), radius_(params.radius), shape_(params.surface, params.radius) {
    const Surface& s = params.surface;
    if (s.model == SurfaceModel::biconic) {
      curvature_ = 0.5 * (1.0 / s.rx + 1.0 / s.ry);
      q_ = s.q;
    } else {
      curvature_ = 1.0 / params.radius;
      q_ = 0.0;
    }
  }

  std::optional<Vec3> operator()(const Ray& ray) const {
    if (plain_) {
      const std::optional<double> t = ray_sphere(ray, radius_);
      if (!t) return std::nullopt;
      return ray.at(*t);
    }
    const std::optional<double> start = ray_conicoid(ray, curvature_, q_);
    if (!start) return std::nullopt;
    const auto height = [this](double x, double y) {
      const double z = shape_.height(x, -y);
      return z == shape_.floor_depth() ? std::numeric_limits<double>::quiet_NaN() : z;
    };
    const std::optional<double> t = ray_height_surface(ray, height, *start);
    if (!t) return std::nullopt;
    return ray.at(*t);
  }

 private:
  bool plain_;
  double radius_;
  SurfaceShape shape_;
  double curvature_ = 0.0;
  double q_ = 0.0;
};

}  // namespace

ProjectorColumns projector_columns(const SimParams& params) {
  ProjectorColumns columns;
  if (params.x_pixels < 1 || params.y_pixels < 1 || params.x_pixels > kMaxImageSide || params.y_pixels > kMaxImageSide)
    return columns;
  columns.width = params.x_pixels;
  columns.height = params.y_pixels;
  const auto width = static_cast<std::size_t>(columns.width);
  columns.column.assign(width * static_cast<std::size_t>(columns.height), std::numeric_limits<double>::quiet_NaN());
  const PinholeRig rig(params.system, params.offset_x, params.offset_y);
  const SurfaceHit hit(params);
  const double centre = params.system.projector.lens.principal_x;
  for (int32_t i = 0; i < columns.height; ++i)
    for (int32_t j = 0; j < columns.width; ++j) {
      const std::optional<Ray> ray = rig.camera_ray({static_cast<double>(j), static_cast<double>(i)});
      if (!ray) continue;
      const std::optional<Vec3> point = hit(*ray);
      if (!point) continue;
      const std::optional<Point2> q = rig.projector_pixel(*point);
      if (!q || !rig.lit(*q)) continue;
      columns.column[static_cast<std::size_t>(i) * width + static_cast<std::size_t>(j)] = q->x - centre;
    }
  return columns;
}

double projector_period_of(const SimParams& params, double period) {
  // The channel's own period is the system's, to the bit.
  if (period == params.fringe_period) return params.system.projector.period;
  return params.system.projector.period * period / params.fringe_period;
}

GreyImageOwner ray_fringe_picture(const SimParams& params, const ProjectorColumns& columns, double projector_period,
                                  int32_t max_noise, int32_t additive_range, uint64_t& generator) {
  if (columns.width != params.x_pixels || columns.height != params.y_pixels || columns.width == 0) return nullptr;
  try {
    const double contrast = clamp_unit(params.dynamic);
    const double shift = dark_level_shift(contrast, kDarkFloor);
    const double gamma = params.errors.gamma;
    const double per_pixel = 2.0 * std::numbers::pi / projector_period;
    std::vector<double> levels(columns.column.size());
    for (std::size_t k = 0; k < levels.size(); ++k) {
      const double u = columns.column[k];
      if (std::isnan(u)) {
        levels[k] = 0.0;
        continue;
      }
      const double c = gamma_cosine(std::cos(per_pixel * u + params.phase_shift), gamma);
      levels[k] = (contrast * c + 1.0) * 127.0 - shift;
    }
    return picture_of_levels(levels, params, max_noise, additive_range, generator);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

std::vector<GreyImageOwner> ray_fringe_frames(const SimParams& params, const FrameSet& set, int32_t max_noise,
                                              int32_t additive_range, uint64_t& generator) {
  const std::vector<double> one_period{params.fringe_period};
  const std::vector<double>& periods = set.periods.empty() ? one_period : set.periods;
  std::vector<GreyImageOwner> frames;
  if (set.steps < 1) return frames;
  uint64_t state = generator;
  try {
    const ProjectorColumns columns = projector_columns(params);
    frames.reserve(periods.size() * static_cast<std::size_t>(set.steps));
    SimParams frame = params;
    for (const double period : periods) {
      frame.fringe_period = period;
      const double projector_period = projector_period_of(params, period);
      for (int k = 0; k < set.steps; ++k) {
        frame.phase_shift = phase_step_shift(k, set.steps);
        frames.push_back(ray_fringe_picture(frame, columns, projector_period, max_noise, additive_range, state));
        if (!frames.back()) return {};
      }
    }
  } catch (const std::bad_alloc&) {
    return {};
  }
  generator = state;
  return frames;
}

GreyImageOwner ray_fringe_picture(const SimParams& params, int32_t max_noise, int32_t additive_range,
                                  uint64_t& generator) {
  try {
    return ray_fringe_picture(params, projector_columns(params), params.system.projector.period, max_noise,
                              additive_range, generator);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
