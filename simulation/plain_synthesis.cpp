#include "simulation/plain_synthesis.h"

#include <cstddef>
#include <new>

#include "simulation/error_synthesis.h"
#include "simulation/grey_levels.h"
#include "simulation/pixel_noise.h"
#include "simulation/random_generator.h"
#include "simulation/ray_synthesis.h"
#include "simulation/sphere_rows.h"
#include "simulation/surface_rows.h"

namespace {

// Row 0 first, each left to right: the pixel's exact level, then its draws.
template <typename Rows>
void plain_rows(const Rows& rows, GreyImage* image, const Noise& noise, uint64_t& generator) {
  const RandomJump pixel = random_jump(static_cast<uint64_t>(noise.draws));
  for (int32_t i = 0; i < image->height; ++i) {
    uint8_t* line = img_line(image, i);
    for (std::size_t j = 0; j < static_cast<std::size_t>(image->width); ++j) {
      const double v = rows.exact_level(i, j);
      if (noise.weight == 0.0) {
        // Without noise the shaped value is still drawn.
        if (noise.proportional) generator = jumped_state(generator, kOneDraw);
        line[j] = grey_byte(v);
        continue;
      }
      line[j] = noisy_grey(noise, v, jumped_state(generator, kOneDraw));
      generator = jumped_state(generator, pixel);
    }
  }
}

}  // namespace

GreyImageOwner plain_fringe_picture(const SimParams& params, int32_t max_noise, int32_t additive_range,
                                    uint64_t& generator) {
  // Through lenses the pictures are made pixel by pixel already.
  if (params.system.pinhole()) return ray_fringe_picture(params, max_noise, additive_range, generator, true);
  // A picture with error sources has one definition only, plain already.
  if (!params.errors.none()) return error_fringe_picture(params, max_noise, additive_range, generator);
  const double g = clamp_unit(params.dynamic);
  GreyImageOwner image(img_create_rows_unfilled(1, params.x_pixels, params.y_pixels));
  if (!image) return nullptr;
  try {
    const Noise noise = pixel_noise(clamp_unit(params.noise), max_noise, additive_range);
    if (drawn_as_plain_sphere(params.surface))
      plain_rows(SphereRows(params, g, kDarkFloor), image.get(), noise, generator);
    else
      plain_rows(SurfaceRows(params, g, kDarkFloor), image.get(), noise, generator);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  return image;
}
