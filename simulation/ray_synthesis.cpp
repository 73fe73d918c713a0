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
#include "simulation/pixel_noise.h"
#include "simulation/row_writer.h"
#include "simulation/synthesis_kernels.h"
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

// The noise-free levels of a picture's rows from the projector columns, for
// the row writer: estimated in vectors, the exact level of any pixel plainly.
class RayRows {
 public:
  RayRows(const ProjectorColumns& columns, double per_column, double phase_shift, double contrast)
      : columns_(columns),
        per_column_(per_column),
        phase_shift_(phase_shift),
        contrast_(contrast),
        dark_shift_(dark_level_shift(contrast, kDarkFloor)),
        scratch_(static_cast<std::size_t>(columns.width)),
        listed_(static_cast<std::size_t>(columns.width)) {}

  const double* row(int32_t i) {
    const double* u = line(i);
    const auto width = static_cast<std::size_t>(columns_.width);
    const KernelRow done =
        estimate_ray_row(u, width, per_column_, phase_shift_, contrast_, dark_shift_, scratch_.data(), listed_.data());
    for (std::size_t k = 0; k < done.listed; ++k) scratch_[listed_[k]] = exact_level(i, listed_[k]);
    for (std::size_t j = done.done; j < width; ++j) scratch_[j] = exact_level(i, j);
    return scratch_.data();
  }
  // Rows through lenses are never mirror images of each other.
  bool same_levels(int32_t, int32_t) const { return false; }
  double exact_level(int32_t i, std::size_t j) const {
    const double u = line(i)[j];
    if (std::isnan(u)) return 0.0;
    return (contrast_ * std::cos(per_column_ * u + phase_shift_) + 1.0) * 127.0 - dark_shift_;
  }

 private:
  const double* line(int32_t i) const {
    return columns_.column.data() + static_cast<std::size_t>(i) * static_cast<std::size_t>(columns_.width);
  }
  const ProjectorColumns& columns_;
  double per_column_, phase_shift_, contrast_, dark_shift_;
  std::vector<double> scratch_;
  std::vector<uint32_t> listed_;
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
  const Lens& lens = params.system.camera.lens;
  const double step = 1.0 / lens.scale();
  for (int32_t i = 0; i < columns.height; ++i) {
    // Each pixel's undistortion starts from its left neighbour's, moved on
    // by a pixel: a step or two less than from the distorted point.
    std::optional<Point2> last;
    for (int32_t j = 0; j < columns.width; ++j) {
      const Point2 pixel{static_cast<double>(j), static_cast<double>(i)};
      const std::optional<Point2> n =
          last ? normalised_of(lens, pixel, {last->x + step, last->y}) : normalised_of(lens, pixel);
      last = n;
      if (!n) continue;
      const Ray ray = rig.camera_ray_normalised(*n);
      const std::optional<Vec3> point = hit(ray);
      if (!point) continue;
      const std::optional<Point2> q = rig.projector_pixel(*point);
      if (!q || !rig.lit(*q)) continue;
      columns.column[static_cast<std::size_t>(i) * width + static_cast<std::size_t>(j)] = q->x - centre;
    }
  }
  return columns;
}

double projector_period_of(const SimParams& params, double period) {
  // The channel's own period is the system's, to the bit.
  if (period == params.fringe_period) return params.system.projector.period;
  return params.system.projector.period * period / params.fringe_period;
}

GreyImageOwner plain_ray_picture(const SimParams& params, const ProjectorColumns& columns, double projector_period,
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

GreyImageOwner ray_fringe_picture(const SimParams& params, const ProjectorColumns& columns, double projector_period,
                                  int32_t max_noise, int32_t additive_range, uint64_t& generator) {
  // Error sources blur whole frames and may deepen the samples: plainly.
  if (!params.errors.none())
    return plain_ray_picture(params, columns, projector_period, max_noise, additive_range, generator);
  if (columns.width != params.x_pixels || columns.height != params.y_pixels || columns.width == 0) return nullptr;
  GreyImageOwner image(img_create_rows_unfilled(1, params.x_pixels, params.y_pixels));
  if (!image) return nullptr;
  try {
    const double g = clamp_unit(params.dynamic);
    const double m = clamp_unit(params.noise);
    const Noise noise = pixel_noise(m, max_noise, additive_range);
    RayRows rows(columns, 2.0 * std::numbers::pi / projector_period, params.phase_shift, g);
    make_rows(rows, image.get(), noise, g, row_draws(noise, m, image->width), generator);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  return image;
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
                                  uint64_t& generator, bool plain) {
  try {
    if (plain)
      return plain_ray_picture(params, projector_columns(params), params.system.projector.period, max_noise,
                               additive_range, generator);
    return ray_fringe_picture(params, projector_columns(params), params.system.projector.period, max_noise,
                              additive_range, generator);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
