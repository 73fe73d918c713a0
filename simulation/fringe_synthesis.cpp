#include "simulation/fringe_synthesis.h"

#include <cstddef>
#include <new>
#include <vector>

#include "scan/grey_image.h"
#include "simulation/error_synthesis.h"
#include "simulation/grey_levels.h"
#include "simulation/pixel_noise.h"
#include "simulation/random_generator.h"
#include "simulation/row_writer.h"
#include "simulation/ray_synthesis.h"
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

// The rows of each shifted picture and the writer of its bytes, each
// writer's draws starting where the picture before it leaves the generator;
// returns where the last one leaves it.
template <typename Rows>
uint64_t shifted_pictures(const SimParams& params, const std::vector<double>& shifts,
                          std::vector<GreyImageOwner>& images, const Noise& noise, double contrast,
                          uint64_t draws_per_row, uint64_t start, std::vector<Rows>& rows,
                          std::vector<RowWriter>& writers) {
  rows.reserve(shifts.size());
  writers.reserve(shifts.size());
  for (std::size_t f = 0; f < shifts.size(); ++f) {
    SimParams shifted = params;
    shifted.phase_shift = shifts[f];
    rows.emplace_back(shifted, contrast, kDarkFloor);
    writers.emplace_back(images[f].get(), noise, contrast, draws_per_row, start);
    start = writers.back().end();
  }
  return start;
}

// Pictures of the sphere that differ in their phase shift only, row by row
// side by side: each row's roots and divisions are worked out once for all
// of them (sphere_phase_row), its levels and bytes per picture, so that
// each picture gets the bytes make_rows gives it. `images` are made, one
// per shift, of the picture's size.
void make_sphere_pictures(const SimParams& params, const std::vector<double>& shifts,
                          std::vector<GreyImageOwner>& images, const Noise& noise, double contrast,
                          uint64_t draws_per_row, uint64_t& generator) {
  std::vector<SphereRows> rows;
  std::vector<RowWriter> writers;
  const uint64_t start = shifted_pictures(params, shifts, images, noise, contrast, draws_per_row, generator, rows, writers);
  const auto width = static_cast<std::size_t>(params.x_pixels);
  std::vector<double> phases(width), partner_phases(width);
  const int32_t height = params.y_pixels;
  for (int32_t i = 0; i < (height + 1) / 2; ++i) {
    const int32_t partner = height - 1 - i;
    const std::size_t done = rows[0].phases(i, phases.data());
    const bool mirrored = partner != i;
    const bool same = mirrored && rows[0].same_levels(i, partner);
    const std::size_t partner_done = mirrored && !same ? rows[0].phases(partner, partner_phases.data()) : 0;
    for (std::size_t f = 0; f < shifts.size(); ++f) {
      const double* levels = rows[f].row_from_phases(i, phases.data(), done);
      writers[f].make_row(rows[f], i, levels);
      if (!mirrored) continue;
      writers[f].make_row(rows[f], partner,
                          same ? levels : rows[f].row_from_phases(partner, partner_phases.data(), partner_done));
    }
  }
  generator = start;
}

// The same for another surface: each row's heights and height phases are
// worked out once for all pictures (SurfaceRows::row_angles), and for a
// mirrored pair of rows once for both when the pixels pair up.
void make_surface_pictures(const SimParams& params, const std::vector<double>& shifts,
                           std::vector<GreyImageOwner>& images, const Noise& noise, double contrast,
                           uint64_t draws_per_row, uint64_t& generator) {
  std::vector<SurfaceRows> rows;
  std::vector<RowWriter> writers;
  const uint64_t start = shifted_pictures(params, shifts, images, noise, contrast, draws_per_row, generator, rows, writers);
  const auto width = static_cast<std::size_t>(params.x_pixels);
  std::vector<double> z(width), cos_a(width), sin_a(width);
  std::vector<double> partner_z(width), partner_cos_a(width), partner_sin_a(width);
  const bool paired = rows[0].paired();
  const int32_t height = params.y_pixels;
  for (int32_t i = 0; i < (height + 1) / 2; ++i) {
    const int32_t partner = height - 1 - i;
    const bool mirrored = partner != i;
    rows[0].row_angles(i, z.data(), cos_a.data(), sin_a.data());
    if (mirrored && !paired) rows[0].row_angles(partner, partner_z.data(), partner_cos_a.data(), partner_sin_a.data());
    for (std::size_t f = 0; f < shifts.size(); ++f) {
      writers[f].make_row(rows[f], i, rows[f].row_from_angles(z.data(), cos_a.data(), sin_a.data(), false));
      if (!mirrored) continue;
      const double* levels =
          paired ? rows[f].row_from_angles(z.data(), cos_a.data(), sin_a.data(), true)
                 : rows[f].row_from_angles(partner_z.data(), partner_cos_a.data(), partner_sin_a.data(), false);
      writers[f].make_row(rows[f], partner, levels);
    }
  }
  generator = start;
}

}  // namespace

GreyImageOwner make_fringe_picture(const SimParams& params, int32_t max_noise, int32_t additive_range,
                                   uint64_t& generator) {
  // A camera and projector with lenses: ray by ray (ray_synthesis.h).
  if (params.system.pinhole()) return ray_fringe_picture(params, max_noise, additive_range, generator);
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
    const uint64_t draws_per_row = row_draws(noise, m, image->width);
    if (drawn_as_plain_sphere(params.surface)) {
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

std::vector<GreyImageOwner> make_shifted_pictures(const SimParams& params, const std::vector<double>& shifts,
                                                  int32_t max_noise, int32_t additive_range, uint64_t& generator) {
  std::vector<GreyImageOwner> images;
  uint64_t state = generator;
  try {
    images.reserve(shifts.size());
    if (params.system.pinhole()) {
      // Through lenses: the columns once, then picture after picture.
      const ProjectorColumns columns = projector_columns(params);
      for (const double shift : shifts) {
        SimParams shifted = params;
        shifted.phase_shift = shift;
        images.push_back(ray_fringe_picture(shifted, columns, params.system.projector.period, max_noise,
                                            additive_range, state));
        if (!images.back()) return {};
      }
    } else if (!params.errors.none()) {
      // Error sources: picture after picture.
      for (const double shift : shifts) {
        SimParams shifted = params;
        shifted.phase_shift = shift;
        images.push_back(make_fringe_picture(shifted, max_noise, additive_range, state));
        if (!images.back()) return {};
      }
    } else {
      for (std::size_t f = 0; f < shifts.size(); ++f) {
        images.emplace_back(img_create_rows_unfilled(1, params.x_pixels, params.y_pixels));
        if (!images.back()) return {};
      }
      const double g = clamp_unit(params.dynamic);
      const double m = clamp_unit(params.noise);
      const Noise noise = pixel_noise(m, max_noise, additive_range);
      const uint64_t draws_per_row = row_draws(noise, m, params.x_pixels);
      if (shifts.empty()) {
        // Nothing to make.
      } else if (drawn_as_plain_sphere(params.surface)) {
        make_sphere_pictures(params, shifts, images, noise, g, draws_per_row, state);
      } else {
        make_surface_pictures(params, shifts, images, noise, g, draws_per_row, state);
      }
    }
  } catch (const std::bad_alloc&) {
    return {};  // no memory for the images or the work rows
  }
  generator = state;
  return images;
}
