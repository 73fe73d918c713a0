#include "simulation/fringe_synthesis.h"

#include <cstddef>
#include <new>
#include <vector>

#include "scan/grey_image.h"
#include "simulation/error_synthesis.h"
#include "simulation/grey_levels.h"
#include "simulation/pixel_noise.h"
#include "simulation/random_generator.h"
#include "simulation/sphere_rows.h"
#include "simulation/surface_rows.h"
#include "simulation/synthesis_kernels.h"

// The grey level of a pixel is worked out from its noise-free level with
// the C library's sqrt and cos, then the noise (plain_synthesis.h). Here the
// cosines are estimated and the pixels computed in vectors
// (synthesis_kernels.h); a pixel whose level, noise added, lies so near an
// integer that the estimate could move it across is computed again pixel by
// pixel, so every grey byte is the one the C library's cosine gives. The
// draws of the generator are worked out side by side by jumping it ahead
// (random_jump), and the generator is left where the pixel-by-pixel draws
// would leave it.
namespace {

// Every row of the picture from the noise-free levels of `rows` (the
// sphere's, or another surface's: both give the levels of a row, whether two
// rows have the same levels, and the exact level of any pixel).
template <typename Rows>
void make_rows(Rows& rows, GreyImage* image, const Noise& noise, double contrast, uint64_t draws_per_row,
               uint64_t& generator) {
  const auto width = static_cast<std::size_t>(image->width);
  const RandomJump pixel = random_jump(static_cast<uint64_t>(noise.draws));
  std::vector<uint32_t> listed(width);
  // The draws of any row start where the generator stands after all the rows
  // below it: a jump of that many draws from the first.
  const uint64_t start = generator;
  const auto make_row = [&](int32_t i, const double* levels) {
    uint8_t* line = img_line(image, i);
    if (noise.weight == 0.0) {
      // The term n * m * v / 255 is then a signed zero (v is never
      // infinite) and leaves v as it is.
      const KernelRow done =
          clean_grey_row(levels, width, contrast > 0.0 ? kLevelMargin : 0.0, line, listed.data());
      for (std::size_t k = 0; k < done.listed; ++k) line[listed[k]] = grey_byte(rows.exact_level(i, listed[k]));
      for (std::size_t j = done.done; j < width; ++j) line[j] = grey_byte(rows.exact_level(i, j));
      return;
    }
    const uint64_t row_start = jumped_state(start, random_jump(draws_per_row * static_cast<uint64_t>(i)));
    const uint64_t first = jumped_state(row_start, kOneDraw);  // after pixel 0's first draw
    // The margin for the largest shaped value |n| <= M: a little wider than
    // each pixel's own, which only sends a few more pixels to the exact path.
    const double margin = noise.margin(contrast, noise.proportional ? -noise.low : 0);
    const KernelRow done = noisy_grey_row(noise, margin, levels, width, first, line, listed.data());
    for (std::size_t k = 0; k < done.listed; ++k) {
      const std::size_t j = listed[k];
      const uint64_t state = jumped_state(first, random_jump(static_cast<uint64_t>(noise.draws) * j));
      line[j] = noisy_grey(noise, rows.exact_level(i, j), state);
    }
    uint64_t state = jumped_state(first, random_jump(static_cast<uint64_t>(noise.draws) * done.done));
    for (std::size_t j = done.done; j < width; ++j, state = jumped_state(state, pixel))
      line[j] = noisy_grey(noise, rows.exact_level(i, j), state);
  };
  // Rows i and H-1-i are made one after the other: mirrored about the image
  // centre, they often share their levels.
  const int32_t height = image->height;
  for (int32_t i = 0; i < (height + 1) / 2; ++i) {
    const int32_t partner = height - 1 - i;
    const double* levels = rows.row(i);
    make_row(i, levels);
    if (partner == i) continue;
    make_row(partner, rows.same_levels(i, partner) ? levels : rows.row(partner));
  }
  generator = jumped_state(start, random_jump(draws_per_row * static_cast<uint64_t>(height)));
}

}  // namespace

GreyImageOwner make_fringe_picture(const SimParams& params, int32_t max_noise, int32_t additive_range,
                                   uint64_t& generator) {
  // Error sources blur whole frames and may deepen the samples: plain code,
  // pixel by pixel (error_synthesis.h).
  if (!params.errors.none()) return error_fringe_picture(params, max_noise, additive_range, generator);
  const double g = clamp_unit(params.dynamic);
  const double m = clamp_unit(params.noise);

  // Every pixel of every row is made below.
  GreyImageOwner image(img_create_rows_unfilled(1, params.x_pixels, params.y_pixels));
  if (!image) return nullptr;

  try {
    const Noise noise = pixel_noise(m, max_noise, additive_range);
    // Without noise each pixel still draws its shaped value (the image then
    // does not depend on the seed, yet the generator advances).
    const uint64_t draws_per_row = static_cast<uint64_t>(m == 0.0 ? (noise.proportional ? 1 : 0) : noise.draws) *
                                   static_cast<uint64_t>(image->width);
    if (params.surface.model == SurfaceModel::sphere) {
      SphereRows rows(params, g, kDarkFloor);
      make_rows(rows, image.get(), noise, g, draws_per_row, generator);
    } else {
      SurfaceRows rows(params, g, kDarkFloor);
      make_rows(rows, image.get(), noise, g, draws_per_row, generator);
    }
  } catch (const std::bad_alloc&) {
    return nullptr;  // no memory for the work rows
  }
  return image;
}

int synthesize_fringe_image(const SimParams& params, const char* path, int32_t max_noise,
                            int32_t additive_range) {
  const GreyImageOwner image = make_fringe_picture(params, max_noise, additive_range, random_state);
  if (!image) return kSynthesisNoImage;  // nothing written
  // The fringe image is a working file, made again by every "apply".
  return img_save_bmp(image.get(), path, Durability::atomic_only);
}
